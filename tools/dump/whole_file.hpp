// An output file that appears whole or not at all: written beside its final name ("NAME.part")
// and renamed into place when every byte is out; removed on failure or when dropped unfinished.
#pragma once

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

// True when both names reach one existing file (an output that would overwrite its own input).
inline bool NamesTheSameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec) && !ec;
}

class WholeFile {
  public:
    explicit WholeFile(std::string path) : path_(std::move(path)), partPath_(path_ + ".part") {}
    ~WholeFile() {
        if (file_ != nullptr) {
            std::fclose(file_);
            std::remove(partPath_.c_str());
        }
    }
    bool Open(std::string& problem) {
        file_ = std::fopen(partPath_.c_str(), "wb");
        if (file_ == nullptr) {
            problem = "cannot create " + partPath_ + ": " + std::strerror(errno);
        }
        return file_ != nullptr;
    }
    // Writes and empties `text`.
    void Write(std::string& text) {
        if (!text.empty() && std::fwrite(text.data(), 1, text.size(), file_) != text.size()) {
            failed_ = true;
            error_ = errno;
        }
        text.clear();
    }
    bool Commit(std::string& problem) {
        const bool flushed = std::fflush(file_) == 0;
        if (!flushed && !failed_) {
            failed_ = true;
            error_ = errno;
        }
        const bool closed = std::fclose(file_) == 0;
        file_ = nullptr;
        if (failed_ || !closed) {
            problem = "cannot write " + partPath_ + ": " + std::strerror(failed_ ? error_ : errno);
            std::remove(partPath_.c_str());
            return false;
        }
        std::error_code ec;
        std::filesystem::rename(partPath_, path_, ec);
        if (ec) {
            problem = "cannot rename " + partPath_ + " to " + path_ + ": " + ec.message();
            std::remove(partPath_.c_str());
            return false;
        }
        return true;
    }

  private:
    std::string path_;
    std::string partPath_;
    std::FILE* file_ = nullptr;
    bool failed_ = false;
    int error_ = 0;
};
