#include "tools/sim/raw_log_replay.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "tools/sim/sim_line.hpp"

RawLogReplay::~RawLogReplay() {
    reader_.reset();
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

bool RawLogReplay::Open(const std::string& path, std::FILE* err, std::string& error) {
    path_ = path;
    err_ = err;
    file_ = std::fopen(path.c_str(), "rb");
    if (file_ == nullptr) {
        error = path + ": cannot open the raw log: " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (fstat(fileno(file_), &st) == 0 && S_ISDIR(st.st_mode)) {
        error = path + ": is a directory, not a raw log";
        return false;
    }
    reader_ = std::make_unique<RawLogReader>(file_);
    haveFirst_ = ReadEntry(first_);
    if (!haveFirst_) {
        error = path + ": the raw log holds no whole entry";
        return false;
    }
    return true;
}

// The next whole entry; damage on the way is reported and skipped. False at the end of the log.
bool RawLogReplay::ReadEntry(PlannedRecord& record) {
    RawLogEntry entry{};
    for (;;) {
        switch (reader_->Next(entry)) {
            case RawLogReader::Status::Entry:
                record = PlannedRecord{};
                record.kind = entry.kind;
                std::copy(entry.body.begin(), entry.body.end(), record.body.begin());
                return true;
            case RawLogReader::Status::End:
                return false;
            case RawLogReader::Status::Truncated:
                std::fprintf(err_, "satlog-sim: %s: byte offset %llu: %s; not replayed\n",
                             path_.c_str(),
                             static_cast<unsigned long long>(reader_->ProblemOffset()),
                             reader_->ProblemText().c_str());
                continue;
            case RawLogReader::Status::Damaged:
                std::fprintf(err_,
                             "satlog-sim: %s: byte offset %llu: %s; skipped %llu bytes, "
                             "replaying on from byte offset %llu\n",
                             path_.c_str(),
                             static_cast<unsigned long long>(reader_->ProblemOffset()),
                             reader_->ProblemText().c_str(),
                             static_cast<unsigned long long>(reader_->LastSkippedBytes()),
                             static_cast<unsigned long long>(reader_->Offset()));
                continue;
            case RawLogReader::Status::ReadError:
                if (Interrupted()) {
                    return false;  // a signal cut the read short: the run reports it
                }
                std::fprintf(err_, "satlog-sim: cannot read %s: %s\n", path_.c_str(),
                             reader_->ProblemText().c_str());
                return false;
        }
    }
}

bool RawLogReplay::NextEpoch(std::vector<PlannedRecord>& records) {
    records.clear();
    PlannedRecord record;
    while (records.size() < kMaxEpochRecords) {
        if (haveFirst_) {
            record = first_;
            haveFirst_ = false;
        } else if (!ReadEntry(record)) {
            break;
        }
        records.push_back(record);
        if (record.kind->kind == RecordKind::EpochTime) {
            break;
        }
    }
    return !records.empty();
}
