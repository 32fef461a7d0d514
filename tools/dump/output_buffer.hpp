// A command's standard output: numbers are formatted straight into a buffer with to_chars (the
// shortest form that reads back as the same double) and go out in large writes. The first failed
// write is remembered with its cause, so that the command can stop early and end under the one
// exit-status rule (FinishOutput).
#pragma once

#include <cerrno>
#include <charconv>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#ifdef __MINGW32__
#define SATLOG_PRINTF_FORMAT(f, a) __attribute__((format(gnu_printf, f, a)))
#else
#define SATLOG_PRINTF_FORMAT(f, a) __attribute__((format(printf, f, a)))
#endif

class OutputBuffer {
  public:
    explicit OutputBuffer(std::FILE* out, std::size_t capacity = 1 << 16)
        : out_(out), buffer_(capacity) {}
    ~OutputBuffer() { Flush(); }
    OutputBuffer(const OutputBuffer&) = delete;
    OutputBuffer& operator=(const OutputBuffer&) = delete;

    void Text(std::string_view text) {
        Reserve(text.size());
        if (text.size() > buffer_.size()) {
            Write(text.data(), text.size());
            return;
        }
        std::copy(text.begin(), text.end(), buffer_.data() + used_);
        used_ += text.size();
    }
    void Char(char c) {
        Reserve(1);
        buffer_[used_++] = c;
    }
    template <typename T>
    void Number(T value) {
        Reserve(kNumberRoom);
        auto result = std::to_chars(buffer_.data() + used_, buffer_.data() + buffer_.size(), value);
        used_ = static_cast<std::size_t>(result.ptr - buffer_.data());
    }
    // printf's formatting, for the commands that print a few lines of prose.
    void Printf(const char* format, ...) SATLOG_PRINTF_FORMAT(2, 3) {
        va_list args;
        va_start(args, format);
        va_list measure;
        va_copy(measure, args);
        const int length = std::vsnprintf(nullptr, 0, format, measure);
        va_end(measure);
        if (length > 0) {
            std::string text(static_cast<std::size_t>(length) + 1, '\0');
            std::vsnprintf(text.data(), text.size(), format, args);
            text.pop_back();
            Text(text);
        }
        va_end(args);
    }
    // False when a write failed (a full disk, a closed pipe), now or before: a failed write is
    // remembered, as the stream may drop what it held and succeed next time.
    bool Flush() {
        if (used_ > 0) {
            Write(buffer_.data(), used_);
            used_ = 0;
        }
        if (std::fflush(out_) != 0) {
            Fail();
        }
        return !failed_;
    }
    // True once a write has failed: whatever the command computes next reaches nobody.
    bool Failed() const { return failed_; }
    // The cause of the first failed write (an errno value).
    int Error() const { return error_; }

  private:
    static constexpr std::size_t kNumberRoom = 32;
    void Reserve(std::size_t n) {
        if (used_ + n > buffer_.size() && used_ > 0) {
            Write(buffer_.data(), used_);
            used_ = 0;
        }
    }
    void Write(const char* data, std::size_t size) {
        if (!failed_ && std::fwrite(data, 1, size, out_) != size) {
            Fail();
        }
    }
    void Fail() {
        if (!failed_) {
            failed_ = true;
            error_ = errno;
        }
    }

    std::FILE* out_;
    std::vector<char> buffer_;
    std::size_t used_ = 0;
    bool failed_ = false;
    int error_ = 0;
};

// Ends a command's output under the one exit-status rule: everything is flushed, and an output
// that could not be written makes the status kExitFailed (2), said on `err`, except when its
// reader has closed the pipe (`| head`), which ends the command without a message. Returns the
// command's status otherwise.
int FinishOutput(OutputBuffer& out, std::FILE* err, int status);
