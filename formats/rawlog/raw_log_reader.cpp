#include "formats/rawlog/raw_log_reader.hpp"

#include <cerrno>
#include <cstring>
#include <string_view>

#include "records/record_decoders.hpp"

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

// Room for the longest entry and the tag after it, which tells a whole entry from a torn one.
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

bool RawLogReader::KnownTagAt(std::size_t at, const RecordKindLayout** kind) const {
    if (end_ - at < framing::kTagLength) {
        return false;
    }
    const RecordKindLayout* found =
        FindRecordKind({reinterpret_cast<const char*>(buffer_.data() + at), framing::kTagLength});
    if (kind != nullptr) {
        *kind = found;
    }
    return found != nullptr;
}

// After a whole entry comes another tag or the end of the log.
bool RawLogReader::EndsEntryAt(std::size_t at) const {
    return (eof_ && at == end_) || KnownTagAt(at);
}

// Where the reader may go on after damage: a known tag, a body that ends in CR LF, and after it
// another tag or the end of the log. Needs the bytes from begin_ filled as far as they go.
bool RawLogReader::ResumesAt(std::size_t at) {
    const RecordKindLayout* kind = nullptr;
    if (!KnownTagAt(at, &kind)) {
        return false;
    }
    const std::size_t length = framing::kTagLength + kind->bodyLength;
    if (end_ - at < length) {
        return false;
    }
    return HasRecordTrailer({buffer_.data() + at + framing::kTagLength, kind->bodyLength}) &&
           EndsEntryAt(at + length);
}

RawLogReader::Status RawLogReader::EndInsideEntry(std::string text) {
    problemOffset_ = offset_;
    problemText_ = std::move(text);
    damage_.truncatedEnd = true;
    offset_ += end_ - begin_;
    begin_ = end_;
    return Status::Truncated;
}

RawLogReader::Status RawLogReader::SkipDamage(std::string text) {
    problemOffset_ = offset_;
    problemText_ = std::move(text);
    constexpr std::size_t kLookahead = framing::kTagLength + kMaxBodyLength + framing::kTagLength;
    do {
        ++begin_;
        ++offset_;
        Fill(kLookahead);
        if (readError_) {
            break;
        }
    } while (begin_ < end_ && !ResumesAt(begin_));
    lastSkipped_ = offset_ - problemOffset_;
    ++damage_.stretches;
    damage_.skippedBytes += lastSkipped_;
    return Status::Damaged;
}

RawLogReader::Status RawLogReader::Next(RawLogEntry& entry) {
    const bool haveTag = Fill(framing::kTagLength);
    if (readError_) {
        return Status::ReadError;
    }
    if (!haveTag) {
        if (end_ == begin_) {
            return Status::End;
        }
        return EndInsideEntry("the log ends inside an entry tag: " +
                              Printable({buffer_.data() + begin_, end_ - begin_}));
    }
    const RecordKindLayout* kind = nullptr;
    if (!KnownTagAt(begin_, &kind)) {
        return SkipDamage("unknown entry tag " +
                          Printable({buffer_.data() + begin_, framing::kTagLength}));
    }
    const std::size_t length = framing::kTagLength + kind->bodyLength;
    Fill(length + framing::kTagLength);
    if (readError_) {
        return Status::ReadError;
    }
    if (end_ - begin_ < length) {
        // Only the end of the log is left; if a whole entry lies in it, this one was torn.
        for (std::size_t at = begin_ + 1; at < end_; ++at) {
            if (ResumesAt(at)) {
                ++damage_.tornEntries;
                return SkipDamage("a torn " + std::string(kind->tag) +
                                  " entry: an entry begins inside its body");
            }
        }
        return EndInsideEntry("the log ends inside a " + std::string(kind->tag) +
                              " entry: " + std::to_string(end_ - begin_ - framing::kTagLength) +
                              " of " + std::to_string(kind->bodyLength) + " body bytes");
    }
    const std::span<const std::uint8_t> body(buffer_.data() + begin_ + framing::kTagLength,
                                             kind->bodyLength);
    // The tool logs a body that failed its trailer test as it came, so a bad trailer alone is
    // no damage; with no tag after it either, the entry was cut short and its bytes run into the
    // next one. A few bytes left at the end are reported as a torn end by the next call.
    const bool tagOrTornEndFollows =
        EndsEntryAt(begin_ + length) || (eof_ && end_ - begin_ - length < framing::kTagLength);
    if (!HasRecordTrailer(body) && !tagOrTornEndFollows) {
        ++damage_.tornEntries;
        return SkipDamage("a torn " + std::string(kind->tag) +
                          " entry: its body does not end in CR LF and no entry follows it");
    }
    entry.offset = offset_;
    entry.kind = kind;
    entry.body = body;
    begin_ += length;
    offset_ += length;
    return Status::Entry;
}
