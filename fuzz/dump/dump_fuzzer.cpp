// satlog-dump on arbitrary files: both commands run over the same bytes, and the raw-log reader
// is checked against the bytes it was given.
//
// Beyond "no crash, no out-of-bounds access", each input must satisfy:
//  - `records` and `positions` agree on the exit status (both read the log the same way);
//  - `records` prints exactly one line per entry the reader yields;
//  - every entry is the tag of a known kind at its offset, followed by that kind's body length of
//    the very bytes of the file, entries follow each other without gaps from offset 0;
//  - a reader with the smallest block size yields the same entries as one with a larger block
//    (the block refill must not lose or repeat bytes at block boundaries).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tools/dump/dump_commands.hpp"
#include "tools/rawlog/raw_log_reader.hpp"

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
    RawLogReader::Status end;
    std::uint64_t problemOffset;
};

Entries ReadAll(const std::uint8_t* data, std::size_t size, std::size_t blockSize) {
    InputStream in(data, size);
    RawLogReader reader(in.get(), blockSize);
    Entries result{};
    std::uint64_t expected = 0;
    RawLogEntry entry{};
    RawLogReader::Status status;
    while ((status = reader.Next(entry)) == RawLogReader::Status::Entry) {
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
        result.offsets.push_back(entry.offset);
        expected += length;
    }
    result.end = status;
    result.problemOffset = reader.ProblemOffset();
    if (status == RawLogReader::Status::End && expected != size) {
        Fail("reader reports the end before the end of the file");
    }
    if ((status == RawLogReader::Status::Truncated || status == RawLogReader::Status::UnknownTag) &&
        result.problemOffset != expected) {
        Fail("problem reported at the wrong offset");
    }
    return result;
}

std::FILE* NullOutput() {
    static std::FILE* null = std::fopen("/dev/null", "wb");
    return null;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Entries byBlock = ReadAll(data, size, 4096);
    const Entries bySmallBlock = ReadAll(data, size, 0);  // the reader's minimum block
    if (byBlock.offsets != bySmallBlock.offsets || byBlock.end != bySmallBlock.end ||
        byBlock.problemOffset != bySmallBlock.problemOffset) {
        Fail("block size changes what the reader yields");
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
    if ((recordsStatus == 0) != (byBlock.end == RawLogReader::Status::End)) {
        Fail("exit status does not match how the log ended");
    }
    return 0;
}
