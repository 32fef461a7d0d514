#include "tools/sim/sim_outputs.hpp"

#include <cerrno>
#include <charconv>
#include <cstring>

OutputFile::~OutputFile() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

bool OutputFile::Open(const std::string& path, std::string& error) {
    path_ = path;
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr) {
        error = path + ": cannot create: " + std::strerror(errno);
        return false;
    }
    return true;
}

void OutputFile::Write(std::span<const std::uint8_t> bytes) {
    if (file_ != nullptr && !bytes.empty() &&
        std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
        failed_ = true;
    }
}

bool OutputFile::Close(std::string& error) {
    if (file_ == nullptr) {
        return true;
    }
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (failed_ || !closed) {
        error = path_ + ": write failed: " + std::strerror(errno);
        return false;
    }
    return true;
}

void ToolView::Processed(const PlannedRecord& record, const EpochPlan& plan,
                         std::vector<TruthRow>& computed) {
    const auto slot = static_cast<std::size_t>(record.slot);
    switch (record.kind->kind) {
        case RecordKind::Ephemeris:
            if (record.slot >= 0 && record.slot < kSlotCount) {
                ephemeris_[slot] = true;
            }
            break;
        case RecordKind::Measurement:
            if (record.slot >= 0 && record.slot < kSlotCount) {
                measured_[slot] = true;
            }
            break;
        case RecordKind::EpochTime:
            for (const TruthRow& row : plan.truth) {
                const auto s = static_cast<std::size_t>(row.prn);
                if (row.prn < kSlotCount && measured_[s] && ephemeris_[s]) {
                    computed.push_back(row);
                }
            }
            measured_.fill(false);
            break;
    }
}

bool TruthWriter::Open(const std::string& path, std::string& error) {
    if (!file_.Open(path, error)) {
        return false;
    }
    static constexpr std::string_view kHeader = "time_ms,prn,transmit_time,x,y,z\n";
    file_.Write({reinterpret_cast<const std::uint8_t*>(kHeader.data()), kHeader.size()});
    return true;
}

void TruthWriter::Write(const TruthRow& row) {
    // Shortest text that reads back as the same double, as satlog-dump writes its numbers.
    char line[160];
    char* p = line;
    char* end = line + sizeof line;
    auto number = [&](auto value, char after) {
        p = std::to_chars(p, end - 1, value).ptr;  // room kept for `after`
        *p++ = after;
    };
    number(row.timeMs, ',');
    number(row.prn, ',');
    number(row.transmitTime, ',');
    number(row.position.x, ',');
    number(row.position.y, ',');
    number(row.position.z, '\n');
    file_.Write({reinterpret_cast<const std::uint8_t*>(line), static_cast<std::size_t>(p - line)});
}
