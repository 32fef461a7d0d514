#include "tools/sim/raw_log_replay.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>

RawLogReplay::~RawLogReplay() {
    reader_.reset();
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

bool RawLogReplay::Open(const std::string& path, std::string& error) {
    file_ = std::fopen(path.c_str(), "rb");
    if (file_ == nullptr) {
        error = path + ": cannot open the raw log: " + std::strerror(errno);
        return false;
    }
    {
        RawLogReader check(file_);
        RawLogEntry entry{};
        for (;;) {
            const RawLogReader::Status status = check.Next(entry);
            if (status == RawLogReader::Status::Entry) {
                ++entries_;
                continue;
            }
            if (status == RawLogReader::Status::End) {
                break;
            }
            error = path + ": offset " + std::to_string(check.ProblemOffset()) + ": " +
                    check.ProblemText();
            return false;
        }
    }
    if (entries_ == 0) {
        error = path + ": the raw log holds no record";
        return false;
    }
    std::rewind(file_);
    reader_ = std::make_unique<RawLogReader>(file_);
    return true;
}

bool RawLogReplay::NextEpoch(std::vector<PlannedRecord>& records) {
    records.clear();
    RawLogEntry entry{};
    while (reader_->Next(entry) == RawLogReader::Status::Entry) {
        PlannedRecord r;
        r.kind = entry.kind;
        std::copy(entry.body.begin(), entry.body.end(), r.body.begin());
        records.push_back(r);
        if (entry.kind->kind == RecordKind::EpochTime) {
            break;
        }
    }
    return !records.empty();
}
