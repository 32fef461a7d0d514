// A read-write stdio stream that a test writes into or reads back from, backed by a file in the
// system's temporary directory and removed with the object. Works on every platform the tests are
// built for (open_memstream and a tmpfile in the drive's root are not available everywhere).
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

class TemporaryStream {
  public:
    TemporaryStream();
    TemporaryStream(const TemporaryStream&) = delete;
    TemporaryStream& operator=(const TemporaryStream&) = delete;
    ~TemporaryStream();

    std::FILE* get() const noexcept { return file_; }
    // Everything written so far; leaves the stream positioned at its start.
    std::string Contents();

  private:
    std::filesystem::path path_;
    std::FILE* file_ = nullptr;
};
