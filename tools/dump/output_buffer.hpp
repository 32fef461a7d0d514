// A write buffer for large text outputs: numbers are formatted straight into it with to_chars
// (shortest form that reads back as the same double), and it goes out in large writes.
#pragma once

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

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
            std::fwrite(text.data(), 1, text.size(), out_);
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
    // False when an earlier write failed (a full disk, a closed pipe).
    bool Flush() {
        if (used_ > 0) {
            if (std::fwrite(buffer_.data(), 1, used_, out_) != used_) {
                failed_ = true;
            }
            used_ = 0;
        }
        // A failed flush is remembered: the stream may drop what it held and succeed next time.
        if (std::fflush(out_) != 0) {
            failed_ = true;
        }
        return !failed_;
    }

  private:
    static constexpr std::size_t kNumberRoom = 32;
    void Reserve(std::size_t n) {
        if (used_ + n > buffer_.size() && used_ > 0) {
            if (std::fwrite(buffer_.data(), 1, used_, out_) != used_) {
                failed_ = true;
            }
            used_ = 0;
        }
    }

    std::FILE* out_;
    std::vector<char> buffer_;
    std::size_t used_ = 0;
    bool failed_ = false;
};
