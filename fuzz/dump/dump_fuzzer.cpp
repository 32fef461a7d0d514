// satlog-dump on arbitrary files: records, positions and fix run over the same bytes (fix through
// the epoch walk and the least-squares fix), and the raw-log framer is checked against the bytes
// it was given.
//
// Beyond "no crash, no out-of-bounds access", each input must satisfy:
//  - `records`, `positions` and `fix` agree on the exit status (all read the log the same way);
//  - `fix` writes one row per epoch, never more than the log has position entries;
//  - `records` prints exactly one line per entry the framer yields;
//  - every entry is the tag of a known kind at its offset, followed by that kind's body length of
//    the very bytes of the file; entries and reported damaged stretches follow each other without
//    gaps from offset 0 to the end, and reading goes on after damage only at a whole entry;
//  - the bytes fed one at a time through the smallest buffer, or in pieces of another size, give
//    the same entries and damage as the whole file (nothing lost or repeated at piece or buffer
//    boundaries);
//  - before the end of the input is said, a partial entry at the end is pending, never damage.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "formats/rawlog/raw_log_framer.hpp"
#include "records/record_decoders.hpp"
#include "tools/dump/dump_fix.hpp"
#include "tools/dump/dump_records.hpp"

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_dump: property violated: %s\n", what);
    std::abort();
}

// A read-only stream over the input (fmemopen wants a non-empty, writable-typed buffer).
class InputStream {
  public:
    InputStream(const std::uint8_t* data, std::size_t size) : copy_(data, data + size) {
        copy_.push_back(0);  // never read: the stream size excludes it
        file_ = fmemopen(copy_.data(), size, "rb");
        if (file_ == nullptr) {
            Fail("fmemopen");
        }
    }
    ~InputStream() { std::fclose(file_); }
    InputStream(const InputStream&) = delete;
    InputStream& operator=(const InputStream&) = delete;
    std::FILE* get() const { return file_; }

  private:
    std::vector<std::uint8_t> copy_;
    std::FILE* file_;
};

struct Entries {
    std::vector<std::uint64_t> offsets;
    std::vector<std::uint64_t> damage;  // offset and length of every skipped stretch
    bool damaged = false;               // a stretch was skipped or the log ends inside an entry
};

bool KnownTag(const std::uint8_t* data, std::size_t size, std::uint64_t at) {
    return at + 4 <= size &&
           FindRecordKind({reinterpret_cast<const char*>(data + at), 4}) != nullptr;
}

Entries ReadAll(const std::uint8_t* data, std::size_t size, std::size_t piece,
                std::size_t capacity) {
    RawLogFramer framer(capacity);
    Entries result{};
    std::uint64_t expected = 0;
    bool afterDamage = false;
    std::size_t fed = 0;
    RawLogEntry entry{};
    for (;;) {
        const RawLogFramer::Status status = framer.Next(entry);
        if (status == RawLogFramer::Status::End) {
            break;
        }
        if (status == RawLogFramer::Status::NeedInput) {
            if (fed == size) {
                if (framer.Finished()) {
                    Fail("asks for input after the end was said");
                }
                framer.Finish();
            } else {
                fed += framer.Feed({data + fed, std::min(piece, size - fed)});
            }
            continue;
        }
        if (status != RawLogFramer::Status::Entry) {
            if (framer.ProblemOffset() != expected) {
                Fail("problem reported at the wrong offset");
            }
            if (status == RawLogFramer::Status::Truncated && !framer.Finished()) {
                Fail("a partial entry called damage before the end of the input");
            }
            result.damaged = true;
            const std::uint64_t skipped = status == RawLogFramer::Status::Damaged
                                              ? framer.LastSkippedBytes()
                                              : size - expected;
            if (skipped == 0 || expected + skipped > size ||
                framer.Offset() != expected + skipped) {
                Fail("skipped stretch out of place");
            }
            result.damage.push_back(expected);
            result.damage.push_back(skipped);
            expected += skipped;
            afterDamage = status == RawLogFramer::Status::Damaged;
            continue;
        }
        if (entry.offset != expected) {
            Fail("entries do not follow each other");
        }
        const std::size_t length = entry.kind->tag.size() + entry.kind->bodyLength;
        if (entry.offset + length > size || entry.body.size() != entry.kind->bodyLength) {
            Fail("entry beyond the end of the file or of the wrong length");
        }
        if (std::memcmp(data + entry.offset, entry.kind->tag.data(), entry.kind->tag.size()) != 0 ||
            std::memcmp(data + entry.offset + entry.kind->tag.size(), entry.body.data(),
                        entry.body.size()) != 0) {
            Fail("entry bytes differ from the file");
        }
        // Reading goes on after damage only at a whole entry: CR LF, then a tag or the end.
        if (afterDamage &&
            (!HasRecordTrailer(entry.body) ||
             !(entry.offset + length == size || KnownTag(data, size, entry.offset + length)))) {
            Fail("reading went on after damage at no whole entry");
        }
        afterDamage = false;
        result.offsets.push_back(entry.offset);
        expected += length;
    }
    if (expected != size) {
        Fail("framer reports the end before the end of the file");
    }
    if (framer.Damage().stretches * 2 + (framer.Damage().truncatedEnd ? 2 : 0) !=
        result.damage.size()) {
        Fail("damage totals differ from the stretches reported");
    }
    return result;
}

std::FILE* NullOutput() {
    static std::FILE* null = std::fopen("/dev/null", "wb");
    return null;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Entries byBlock = ReadAll(data, size, 1 << 16, 4096);
    const Entries byByte = ReadAll(data, size, 1, 0);  // one byte at a time, smallest buffer
    const Entries byPiece = ReadAll(data, size, 1 + size % 199, 1000);
    if (byBlock.offsets != byByte.offsets || byBlock.damage != byByte.damage ||
        byBlock.offsets != byPiece.offsets || byBlock.damage != byPiece.damage) {
        Fail("the pieces the bytes arrive in change what the framer yields");
    }

    char* text = nullptr;
    std::size_t textSize = 0;
    int recordsStatus = 0;
    {
        InputStream in(data, size);
        std::FILE* out = open_memstream(&text, &textSize);
        recordsStatus = DumpRecords(in.get(), "fuzz input", out, NullOutput());
        std::fclose(out);
    }
    std::size_t lines = 0;
    for (std::size_t k = 0; k < textSize; ++k) {
        lines += text[k] == '\n' ? 1 : 0;
    }
    std::free(text);
    if (lines != byBlock.offsets.size()) {
        Fail("records prints a line count other than the entry count");
    }

    InputStream in(data, size);
    const int positionsStatus = DumpPositions(in.get(), "fuzz input", NullOutput(), NullOutput());
    if (recordsStatus != positionsStatus) {
        Fail("records and positions disagree on the exit status");
    }
    char* fixText = nullptr;
    std::size_t fixSize = 0;
    char* fixErr = nullptr;
    std::size_t fixErrSize = 0;
    int fixStatus = 0;
    {
        InputStream fixIn(data, size);
        std::FILE* out = open_memstream(&fixText, &fixSize);
        std::FILE* err = open_memstream(&fixErr, &fixErrSize);
        fixStatus = DumpFix(fixIn.get(), "fuzz input", out, err);
        std::fclose(out);
        std::fclose(err);
    }
    std::size_t fixRows = 0;
    for (std::size_t k = 0; k < fixSize; ++k) {
        fixRows += fixText[k] == '\n' ? 1 : 0;
    }
    std::free(fixText);
    // fix also judges the epochs' times (records shows entries one by one and does not): an epoch
    // left out for a time out of sequence makes a log that records finds whole partial for fix.
    const bool timeLeftOut =
        std::string_view(fixErr, fixErrSize).find("out of sequence") != std::string_view::npos;
    std::free(fixErr);
    if (fixStatus != recordsStatus && !(recordsStatus == 0 && fixStatus == 1 && timeLeftOut)) {
        Fail("records and fix disagree on the exit status");
    }
    std::size_t positionEntries = 0;
    for (std::uint64_t offset : byBlock.offsets) {
        positionEntries += std::memcmp(data + offset, "PBN,", 4) == 0 ? 1 : 0;
    }
    if (fixRows == 0 || fixRows - 1 > positionEntries) {
        Fail("fix writes more rows than the log has position entries");
    }
    if ((recordsStatus == 0) == byBlock.damaged) {
        Fail("exit status does not match whether the log is damaged");
    }
    return 0;
}
