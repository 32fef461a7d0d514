// The receive thread's listen loop fed arbitrary line traffic (bytes, gaps and line events)
// through the scripted serial device, with the raw log in memory.
//
// Beyond "no crash, no out-of-bounds access, no hang", each input must satisfy:
//  - the raw log is a sequence of whole entries: a known kind tag and that kind's body length;
//  - every entry is a record that crossed the line: its tag and body appear in the received bytes
//    right after "$PASHR" and a separator byte, in the order of the log;
//  - the satellite tables hold only what whole records with a CR LF trailer carried: each stored
//    ephemeris and range is that of the last such record of its slot;
//  - the status lines show only the texts the listen loop knows.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "fuzz/support/line_script.hpp"
#include "receiver/line_events.hpp"
#include "receiver/receive_read_settings.hpp"
#include "receiver/receive_thread.hpp"
#include "records/record_decoders.hpp"
#include "tests/support/scripted_serial_device.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_receive: property violated: %s\n", what);
    std::abort();
}

// Status lines as plain strings: only the receive thread writes them, and they are read after it
// has been joined.
class RecordedStatusLines : public StatusLines {
  public:
    void SetStatusLine(StatusLine line, std::string_view text) override {
        if (NumberOf(line) < 1 || NumberOf(line) > 3) {
            Fail("a status line other than the header, outcome and count lines");
        }
        texts.emplace_back(line, std::string(text));
    }
    std::vector<std::pair<StatusLine, std::string>> texts;
};

void CheckStatusText(StatusLine line, const std::string& text) {
    switch (line) {
        case StatusLine::Header:
            if (text.size() > framing::kHeaderLength) {
                Fail("the header line shows more than a header");
            }
            return;
        case StatusLine::Outcome:
            if (text != "error") {
                Fail("the outcome line shows an unexpected text");
            }
            return;
        case StatusLine::Count:
            if (text == "EV_BREAK" || text == "EV_CTS" || text == "EV_DSR" || text == "EV_RING") {
                return;
            }
            if (text.empty() || text.size() > 2 ||
                !std::all_of(text.begin(), text.end(),
                             [](char c) { return c >= '0' && c <= '9'; }) ||
                std::stoi(text) > kSlotCount) {
                Fail("the count line shows neither a line event nor a satellite count");
            }
    }
}

// The raw log: one scratch file, created anew by each run as the window creates it (a regular
// file, since the log refuses links such as /proc/self/fd paths), and read back by its own handle.
class ScratchLogFile {
  public:
    ScratchLogFile() {
        std::string pattern = "/tmp/satlog-fuzz-XXXXXX";
        fd_ = mkstemp(pattern.data());
        if (fd_ < 0) {
            Fail("creating the scratch raw log");
        }
        path_ = pattern;
    }
    ~ScratchLogFile() {
        close(fd_);
        unlink(path_.c_str());
    }
    ScratchLogFile(const ScratchLogFile&) = delete;
    ScratchLogFile& operator=(const ScratchLogFile&) = delete;

    HANDLE Create() const {
        return CreateFileA(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    Bytes Contents() const {
        const off_t size = lseek(fd_, 0, SEEK_END);
        Bytes out(static_cast<std::size_t>(std::max<off_t>(size, 0)));
        if (!out.empty() && pread(fd_, out.data(), out.size(), 0) != size) {
            Fail("reading the raw log back");
        }
        return out;
    }

  private:
    int fd_ = -1;
    std::string path_;
};

struct LoggedRecord {
    const RecordKindLayout* kind;
    std::span<const std::uint8_t> body;
};

// Splits the log into entries; every byte must belong to a whole entry of a known kind.
std::vector<LoggedRecord> SplitLog(const Bytes& log) {
    std::vector<LoggedRecord> entries;
    std::size_t at = 0;
    while (at < log.size()) {
        if (log.size() - at < framing::kTagLength) {
            Fail("the raw log ends inside an entry tag");
        }
        const RecordKindLayout* kind =
            FindRecordKind({reinterpret_cast<const char*>(log.data() + at), framing::kTagLength});
        if (kind == nullptr) {
            Fail("the raw log holds an unknown tag");
        }
        if (log.size() - at - framing::kTagLength < kind->bodyLength) {
            Fail("the raw log ends inside an entry body");
        }
        entries.push_back({kind, {log.data() + at + framing::kTagLength, kind->bodyLength}});
        at += framing::kTagLength + kind->bodyLength;
    }
    return entries;
}

// Each entry must stand in the received bytes as "$PASHR", one header byte, tag and body, each
// after the previous one.
void CheckEntriesCameFromTheLine(const std::vector<LoggedRecord>& entries, const Bytes& line) {
    std::size_t from = 0;
    for (const LoggedRecord& entry : entries) {
        Bytes pattern(framing::kPrefix.begin(), framing::kPrefix.end());
        const std::size_t headerByte = pattern.size();
        pattern.push_back(0);
        pattern.insert(pattern.end(), entry.kind->tag.begin(), entry.kind->tag.end());
        pattern.insert(pattern.end(), entry.body.begin(), entry.body.end());
        bool found = false;
        for (std::size_t at = from; at + pattern.size() <= line.size(); ++at) {
            pattern[headerByte] = line[at + headerByte];
            if (std::equal(pattern.begin(), pattern.end(), line.begin() + static_cast<long>(at))) {
                from = at + pattern.size();
                found = true;
                break;
            }
        }
        if (!found) {
            Fail("a raw log entry that is no record received on the line");
        }
    }
}

void CheckTables(const std::vector<LoggedRecord>& entries, const SatelliteTables& tables) {
    std::vector<const LoggedRecord*> lastSnv(kSlotCount, nullptr);
    std::vector<const LoggedRecord*> lastMpc(kSlotCount, nullptr);
    for (const LoggedRecord& entry : entries) {
        if (!HasRecordTrailer(entry.body)) {
            continue;
        }
        if (entry.kind->kind == RecordKind::Ephemeris) {
            const int slot = DecodeEphemeris(entry.body.first<134>()).slot;
            if (NamesSlot(slot)) {
                lastSnv[static_cast<std::size_t>(slot)] = &entry;
            }
        } else if (entry.kind->kind == RecordKind::Measurement) {
            const int slot = DecodeMeasurement(entry.body.first<97>()).prn;
            if (NamesSlot(slot)) {
                lastMpc[static_cast<std::size_t>(slot)] = &entry;
            }
        }
    }
    for (std::size_t slot = 0; slot < kSlotCount; ++slot) {
        if (tables.ephemerisValid[slot] != 0) {
            if (lastSnv[slot] == nullptr) {
                Fail("an ephemeris in the tables that no whole record carried");
            }
            const DecodedEphemeris expected = DecodeEphemeris(lastSnv[slot]->body.first<134>());
            if (std::memcmp(&tables.ephemerisTable[slot], &expected.record,
                            kSnvLayout.decodedSpan) != 0) {
                Fail("the stored ephemeris differs from the last whole record of its slot");
            }
        } else if (lastSnv[slot] != nullptr) {
            Fail("a whole ephemeris record did not reach the tables");
        }
        const double range = tables.stateTable[slot].rawRange;
        const double expected = lastMpc[slot] != nullptr
                                    ? DecodeMeasurement(lastMpc[slot]->body.first<97>()).rawRange
                                    : 0.0;
        if (std::memcmp(&range, &expected, sizeof range) != 0) {
            Fail("the stored range differs from the last whole measurement of its slot");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const ScratchLogFile scratchLog;
    const std::vector<LineStep> steps = DecodeLineScript(data, size);

    const auto device = std::make_shared<ScriptedSerialDevice>();
    const HANDLE port = device->Open();
    const HANDLE log = scratchLog.Create();
    if (port == INVALID_HANDLE_VALUE || log == INVALID_HANDLE_VALUE) {
        Fail("opening the scripted port or the raw log");
    }
    SetCommMask(port, kLineEvents);

    Bytes line;
    for (const LineStep& step : steps) {
        switch (step.kind) {
            case LineStep::Kind::Send:
                device->Send(step.bytes);
                line.insert(line.end(), step.bytes.begin(), step.bytes.end());
                break;
            case LineStep::Kind::Pause:
                device->Pause(std::chrono::milliseconds(step.value));
                break;
            case LineStep::Kind::Signal:
                device->Signal(step.value);
                break;
        }
    }

    const auto state = std::make_unique<ReceiveState>();
    std::atomic<bool> stop{false};
    state->stop = &stop;
    RecordedStatusLines status;
    std::thread receiver([&] {
        UseImmediateReads(port, *state);
        ReceiveRecords(port, log, status, *state);
    });
    const bool idle = device->WaitUntilIdle(std::chrono::seconds(20));
    stop.store(true, std::memory_order_release);
    CancelPortWait(port);
    receiver.join();
    CloseHandle(port);
    CloseHandle(log);
    if (!idle) {
        Fail("the listen loop never went back to waiting for the line");
    }

    for (const auto& [number, text] : status.texts) {
        CheckStatusText(number, text);
    }
    const Bytes logged = scratchLog.Contents();
    const std::vector<LoggedRecord> entries = SplitLog(logged);
    CheckEntriesCameFromTheLine(entries, line);
    CheckTables(entries, state->tables);
    return 0;
}
