#include "tools/rawlog/raw_log_reader.hpp"

#include <cerrno>
#include <cstring>
#include <string_view>

RawLogReader::RawLogReader(std::FILE* file, std::size_t blockSize)
    : file_(file), buffer_(blockSize < 2 * kMaxBodyLength ? 2 * kMaxBodyLength : blockSize) {}

bool RawLogReader::Fill(std::size_t need) {
    while (end_ - begin_ < need && !eof_) {
        if (begin_ > 0) {
            std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
            end_ -= begin_;
            begin_ = 0;
        }
        const std::size_t got = std::fread(buffer_.data() + end_, 1, buffer_.size() - end_, file_);
        end_ += got;
        if (got == 0) {
            if (std::ferror(file_)) {
                readError_ = true;
                problemText_ = std::strerror(errno);
            }
            eof_ = true;
        }
    }
    return end_ - begin_ >= need;
}

namespace {

std::string Printable(std::span<const std::uint8_t> bytes) {
    std::string text = "\"";
    for (std::uint8_t b : bytes) {
        if (b >= 0x20 && b < 0x7F && b != '"' && b != '\\') {
            text += static_cast<char>(b);
        } else {
            static constexpr char kHex[] = "0123456789abcdef";
            text += "\\x";
            text += kHex[b >> 4];
            text += kHex[b & 0x0F];
        }
    }
    return text + "\"";
}

}  // namespace

RawLogReader::Status RawLogReader::Next(RawLogEntry& entry) {
    const bool haveTag = Fill(framing::kTagLength);
    if (readError_) {
        return Status::ReadError;
    }
    if (!haveTag) {
        if (end_ == begin_) {
            return Status::End;
        }
        problemOffset_ = offset_;
        problemText_ = "the log ends inside an entry tag: " +
                       Printable({buffer_.data() + begin_, end_ - begin_});
        return Status::Truncated;
    }
    const std::span<const std::uint8_t> tag(buffer_.data() + begin_, framing::kTagLength);
    const RecordKindLayout* kind =
        FindRecordKind({reinterpret_cast<const char*>(tag.data()), tag.size()});
    if (kind == nullptr) {
        problemOffset_ = offset_;
        problemText_ = "unknown entry tag " + Printable(tag);
        return Status::UnknownTag;
    }
    const std::size_t length = framing::kTagLength + kind->bodyLength;
    const bool haveBody = Fill(length);
    if (readError_) {
        return Status::ReadError;
    }
    if (!haveBody) {
        problemOffset_ = offset_;
        problemText_ = "the log ends inside a " + std::string(kind->tag) +
                       " entry: " + std::to_string(end_ - begin_ - framing::kTagLength) + " of " +
                       std::to_string(kind->bodyLength) + " body bytes";
        return Status::Truncated;
    }
    entry.offset = offset_;
    entry.kind = kind;
    entry.body = {buffer_.data() + begin_ + framing::kTagLength, kind->bodyLength};
    begin_ += length;
    offset_ += length;
    return Status::Entry;
}
