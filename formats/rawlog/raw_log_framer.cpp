#include "formats/rawlog/raw_log_framer.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>

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

RawLogFramer::RawLogFramer(std::size_t capacity)
    : capacity_(std::max(capacity, 2 * kLookahead)),
      buffer_(std::make_unique<std::uint8_t[]>(capacity_)) {}

std::span<std::uint8_t> RawLogFramer::FreeSpace() {
    if (finished_) {
        return {};
    }
    // The pending bytes move to the front once the room behind them runs short; they are few
    // (less than the lookahead) whenever the caller drained the framer before feeding.
    if (begin_ > 0 && capacity_ - end_ < capacity_ / 2) {
        std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    return {buffer_.get() + end_, capacity_ - end_};
}

void RawLogFramer::Commit(std::size_t count) {
    end_ += std::min(count, capacity_ - end_);
}

std::size_t RawLogFramer::Feed(std::span<const std::uint8_t> bytes) {
    const std::span<std::uint8_t> space = FreeSpace();
    const std::size_t count = std::min(space.size(), bytes.size());
    std::copy_n(bytes.begin(), count, space.begin());
    Commit(count);
    return count;
}

void RawLogFramer::Finish() {
    finished_ = true;
}

void RawLogFramer::DropPending() {
    end_ = begin_;
}

void RawLogFramer::Reset() {
    begin_ = end_ = 0;
    offset_ = 0;
    finished_ = skipping_ = false;
    problemOffset_ = lastSkipped_ = 0;
    problemText_.clear();
    damage_ = {};
}

const RecordKindLayout* RawLogFramer::KindAt(std::size_t at) const {
    if (!Have(at, framing::kTagLength)) {
        return nullptr;
    }
    return FindRecordKind({reinterpret_cast<const char*>(buffer_.get() + at), framing::kTagLength});
}

// Where reading may go on after damage: a known tag, a body that ends in CR LF, and after it
// another tag or the end of the log. Undecided while the bytes that would tell are still to come.
RawLogFramer::Resume RawLogFramer::ResumesAt(std::size_t at) const {
    const Resume shortOfBytes = finished_ ? Resume::No : Resume::Undecided;
    if (!Have(at, framing::kTagLength)) {
        return shortOfBytes;
    }
    const RecordKindLayout* kind = KindAt(at);
    if (kind == nullptr) {
        return Resume::No;
    }
    const std::size_t length = framing::kTagLength + kind->bodyLength;
    if (!Have(at, length)) {
        return shortOfBytes;
    }
    if (!HasRecordTrailer({buffer_.get() + at + framing::kTagLength, kind->bodyLength})) {
        return Resume::No;
    }
    if (finished_ && end_ - at == length) {
        return Resume::Yes;  // the last entry of the log
    }
    if (!Have(at + length, framing::kTagLength)) {
        return shortOfBytes;
    }
    return KindAt(at + length) != nullptr ? Resume::Yes : Resume::No;
}

RawLogFramer::Status RawLogFramer::EndInsideEntry(std::string text) {
    problemOffset_ = offset_;
    problemText_ = std::move(text);
    damage_.truncatedEnd = true;
    offset_ += end_ - begin_;
    begin_ = end_;
    return Status::Truncated;
}

// The damaged stretch starts here; at least its first byte is skipped.
RawLogFramer::Status RawLogFramer::BeginDamage(std::string text) {
    problemOffset_ = offset_;
    problemText_ = std::move(text);
    skipping_ = true;
    ++begin_;
    ++offset_;
    return SkipDamage();
}

RawLogFramer::Status RawLogFramer::SkipDamage() {
    while (begin_ < end_) {
        const Resume resume = ResumesAt(begin_);
        if (resume == Resume::Undecided) {
            return Status::NeedInput;
        }
        if (resume == Resume::Yes) {
            break;
        }
        ++begin_;
        ++offset_;
    }
    if (begin_ == end_ && !finished_) {
        return Status::NeedInput;
    }
    skipping_ = false;
    lastSkipped_ = offset_ - problemOffset_;
    ++damage_.stretches;
    damage_.skippedBytes += lastSkipped_;
    return Status::Damaged;
}

RawLogFramer::Status RawLogFramer::Next(RawLogEntry& entry) {
    if (skipping_) {
        return SkipDamage();
    }
    if (!Have(begin_, framing::kTagLength)) {
        if (!finished_) {
            return Status::NeedInput;
        }
        if (begin_ == end_) {
            return Status::End;
        }
        return EndInsideEntry("the log ends inside an entry tag: " +
                              Printable({buffer_.get() + begin_, end_ - begin_}));
    }
    const RecordKindLayout* kind = KindAt(begin_);
    if (kind == nullptr) {
        return BeginDamage("unknown entry tag " +
                           Printable({buffer_.get() + begin_, framing::kTagLength}));
    }
    const std::size_t length = framing::kTagLength + kind->bodyLength;
    if (!Have(begin_, length)) {
        if (!finished_) {
            return Status::NeedInput;
        }
        // Only the end of the log is left; if a whole entry lies in it, this one was torn.
        for (std::size_t at = begin_ + 1; at < end_; ++at) {
            if (ResumesAt(at) == Resume::Yes) {
                ++damage_.tornEntries;
                return BeginDamage("a torn " + std::string(kind->tag) +
                                   " entry: an entry begins inside its body");
            }
        }
        return EndInsideEntry("the log ends inside a " + std::string(kind->tag) +
                              " entry: " + std::to_string(end_ - begin_ - framing::kTagLength) +
                              " of " + std::to_string(kind->bodyLength) + " body bytes");
    }
    const std::span<const std::uint8_t> body(buffer_.get() + begin_ + framing::kTagLength,
                                             kind->bodyLength);
    // The window logs a body that failed its trailer test as it came, so a bad trailer alone is
    // no damage; with no tag after it either, the entry was cut short and its bytes run into the
    // next one. A few bytes left at the end are reported as a torn end by the next call. A good
    // trailer needs nothing after it, so a follower hands the entry on as soon as it is whole.
    if (!HasRecordTrailer(body)) {
        const std::size_t after = end_ - begin_ - length;
        if (after < framing::kTagLength && !finished_) {
            return Status::NeedInput;
        }
        const bool tagOrTornEndFollows =
            after < framing::kTagLength || KindAt(begin_ + length) != nullptr;
        if (!tagOrTornEndFollows) {
            ++damage_.tornEntries;
            return BeginDamage("a torn " + std::string(kind->tag) +
                               " entry: its body does not end in CR LF and no entry follows it");
        }
    }
    entry.offset = offset_;
    entry.kind = kind;
    entry.body = body;
    begin_ += length;
    offset_ += length;
    return Status::Entry;
}

bool FeedFromFile(std::FILE* file, RawLogFramer& framer, std::string& error) {
    const std::span<std::uint8_t> space = framer.FreeSpace();
    if (space.empty()) {
        return true;  // the caller has entries to take out first
    }
    const std::size_t got = std::fread(space.data(), 1, space.size(), file);
    framer.Commit(got);
    if (got == 0) {
        if (std::ferror(file)) {
            error = std::strerror(errno);
            return false;
        }
        framer.Finish();
    }
    return true;
}
