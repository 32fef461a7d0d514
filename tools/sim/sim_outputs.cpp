#include "tools/sim/sim_outputs.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <string>

#include "platform/posix/writer_lock.hpp"

OutputFile::~OutputFile() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

// The one place where the simulator opens a file for writing.
bool OutputFile::Open(const std::string& path, std::string& error) {
    path_ = path;
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = path + ": cannot create: " + std::strerror(errno);
        return false;
    }
    // A file that satlog is recording into holds its writer lock: it is refused, not emptied.
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && !serial_detail::TakeWriterLock(fd)) {
        const int cause = errno;
        close(fd);
        error = path + ": cannot write: " +
                (cause == EWOULDBLOCK ? std::string("another program is writing it")
                                      : std::strerror(cause));
        return false;
    }
    file_ = fdopen(fd, "wb");
    if (file_ == nullptr) {
        error = path + ": cannot create: " + std::strerror(errno);
        close(fd);
        return false;
    }
    return true;
}

bool OutputFile::Begin(std::string& error) {
    struct stat st {};
    const int fd = fileno(file_);
    // Only a regular file holds old contents; a device or a pipe takes the bytes as they come.
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ftruncate(fd, 0) != 0) {
        error = path_ + ": cannot empty: " + std::strerror(errno);
        return false;
    }
    return true;
}

void OutputFile::Fail(const char* what) {
    if (error_.empty()) {
        error_ = path_ + ": " + what + ": " + std::strerror(errno);
    }
}

void OutputFile::Write(std::span<const std::uint8_t> bytes) {
    if (file_ != nullptr && !bytes.empty() && error_.empty() &&
        std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
        Fail("write failed");
    }
}

bool OutputFile::Close(std::string& error) {
    if (file_ != nullptr) {
        if (std::fclose(file_) != 0) {
            Fail("write failed");
        }
        file_ = nullptr;
    }
    if (!error_.empty()) {
        error = error_;
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

bool TruthWriter::Begin(std::string& error) {
    if (!file_.Begin(error)) {
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
