#include "tools/sim/raw_log_replay.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "tools/sim/sim_line.hpp"

RawLogReplay::~RawLogReplay() {
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
    framer_ = std::make_unique<RawLogFramer>();
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
    std::string readError;
    for (;;) {
        switch (framer_->Next(entry)) {
            case RawLogFramer::Status::NeedInput:
                if (!FeedFromFile(file_, *framer_, readError)) {
                    if (Interrupted()) {
                        return false;  // a signal cut the read short: the run reports it
                    }
                    std::fprintf(err_, "satlog-sim: cannot read %s: %s\n", path_.c_str(),
                                 readError.c_str());
                    return false;
                }
                continue;
            case RawLogFramer::Status::Entry:
                record = PlannedRecord{};
                record.kind = entry.kind;
                std::copy(entry.body.begin(), entry.body.end(), record.body.begin());
                return true;
            case RawLogFramer::Status::End:
                return false;
            case RawLogFramer::Status::Truncated:
                std::fprintf(err_, "satlog-sim: %s: byte offset %llu: %s; not replayed\n",
                             path_.c_str(),
                             static_cast<unsigned long long>(framer_->ProblemOffset()),
                             framer_->ProblemText().c_str());
                continue;
            case RawLogFramer::Status::Damaged:
                std::fprintf(err_,
                             "satlog-sim: %s: byte offset %llu: %s; skipped %llu bytes, "
                             "replaying on from byte offset %llu\n",
                             path_.c_str(),
                             static_cast<unsigned long long>(framer_->ProblemOffset()),
                             framer_->ProblemText().c_str(),
                             static_cast<unsigned long long>(framer_->LastSkippedBytes()),
                             static_cast<unsigned long long>(framer_->Offset()));
                continue;
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
