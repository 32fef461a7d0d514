// Line noise: one byte in 1 % of the records changed at random on its way, the rest arriving
// intact, through the receive thread's listen loop on the scripted serial device (its virtual
// clock makes the run exact and repeatable). The raw log, the status lines and the satellite
// tables must be exactly what the bytes as received call for:
//  - a record with a changed prefix or kind tag is not framed, and is not logged;
//  - a changed separator is not examined: the record is handled as sent;
//  - a changed body or trailer byte: the record is logged as received; with a bad trailer it is
//    reported ("error") and kept out of the tables;
//  - every record that arrived intact is logged, processed and counted: noise never costs a
//    neighbour (a single byte cannot change a record's length);
//  - the tables and the counts shown are those of replaying the log's entries with a good trailer.
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "receiver/line_events.hpp"
#include "receiver/receive_read_settings.hpp"
#include "receiver/receive_thread.hpp"
#include "records/record_decoders.hpp"
#include "records/record_dispatch.hpp"
#include "tests/reliability/drill_program.hpp"
#include "tests/reliability/drill_receiver.hpp"
#include "tests/support/scripted_serial_device.hpp"
#include "tests/support/synchronized_status_lines.hpp"
#include "tests/support/thread_cpu.hpp"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

struct Corruption {
    std::size_t position;  // in the framed record
    std::uint8_t value;
};

TEST(LineNoise, OnePercentOfRecordsWithOneChangedByte) {
    const DrillSession session(8, 250);
    std::mt19937 random(1234567);
    std::map<std::size_t, Corruption> corrupted;
    const std::size_t wanted = session.records.size() / 100;
    while (corrupted.size() < wanted) {
        const std::size_t index = random() % session.records.size();
        // Round the parts of a record in turn, so that every kind of damage occurs: prefix,
        // separator, kind tag, body, trailer.
        const std::size_t size = session.records[index].framed.size();
        const std::size_t part = corrupted.size() % 5;
        const std::size_t position = part == 0   ? random() % 6
                                     : part == 1 ? 6
                                     : part == 2 ? 7 + random() % 4
                                     : part == 3 ? 11 + random() % (size - 13)
                                                 : size - 2 + random() % 2;
        const std::uint8_t old = session.records[index].framed[position];
        const auto value = static_cast<std::uint8_t>(old ^ (1u + random() % 255u));
        corrupted.emplace(index, Corruption{position, value});
    }

    // The line as it arrives, and the log that the bytes as received call for.
    auto device = std::make_shared<ScriptedSerialDevice>();
    Bytes expectedLog;
    std::size_t badTrailers = 0;
    std::set<std::size_t> byRegion[4];  // prefix, separator, tag, body
    for (std::size_t k = 0; k < session.records.size(); ++k) {
        const DrillSession::Record& record = session.records[k];
        Bytes framed = record.framed;
        std::size_t region = 3;
        if (const auto c = corrupted.find(k); c != corrupted.end()) {
            framed[c->second.position] = c->second.value;
            const std::size_t p = c->second.position;
            region = p < 6 ? 0 : p == 6 ? 1 : p < 11 ? 2 : 3;
            byRegion[region].insert(k);
            if (p >= framed.size() - 2) {
                ++badTrailers;
            }
        }
        device->Send(framed);
        if (region == 1 || region == 3) {
            expectedLog.insert(expectedLog.end(), record.kind->tag.begin(), record.kind->tag.end());
            expectedLog.insert(expectedLog.end(), framed.begin() + 11, framed.end());
        }
    }
    std::printf(
        "[ drill ] %zu records, %zu changed: %zu in the prefix, %zu in the separator, "
        "%zu in the kind tag, %zu in the body (%zu of them in the trailer)\n",
        session.records.size(), corrupted.size(), byRegion[0].size(), byRegion[1].size(),
        byRegion[2].size(), byRegion[3].size(), badTrailers);

    const fs::path directory =
        fs::temp_directory_path() / ("satlog-noise-" + std::to_string(getpid()));
    fs::create_directories(directory);
    const std::string logPath = (directory / "mavu0.txt").string();
    const HANDLE port = device->Open();
    const HANDLE log = CreateFileA(logPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(log, INVALID_HANDLE_VALUE);
    SetCommMask(port, kLineEvents);

    auto state = std::make_unique<ReceiveState>();
    std::atomic<bool> stop{false};
    state->stop = &stop;
    SynchronizedStatusLines status;
    std::thread receiver([&] {
        UseImmediateReads(port, *state);
        ReceiveRecords(port, log, status, *state);
    });
    const bool idle = device->WaitUntilIdle(60s);
    // Waiting on a line with nothing more to come costs no CPU.
    const double before = ThreadCpuMs(receiver.native_handle());
    std::this_thread::sleep_for(1s);
    const double idleCpuMs = ThreadCpuMs(receiver.native_handle()) - before;
    stop = true;
    CancelPortWait(port);
    receiver.join();
    CloseHandle(port);
    CloseHandle(log);
    ASSERT_TRUE(idle) << "the listen loop never went back to waiting";
    std::printf("[ drill ] receive thread CPU while waiting after the noise: %.1f ms in 1 s\n",
                idleCpuMs);
    EXPECT_LT(idleCpuMs, 10.0);

    const Bytes logged = ReadFileBytes(logPath);
    fs::remove_all(directory);
    EXPECT_EQ(logged.size(), expectedLog.size());
    EXPECT_TRUE(logged == expectedLog) << "the raw log is not the records as received";

    // Every changed trailer, and nothing else, is reported.
    const std::vector<std::string> changes = status.Changes();
    EXPECT_EQ(static_cast<std::size_t>(std::count(changes.begin(), changes.end(), "Label2: error")),
              badTrailers);

    // The tables and the counts shown are those of the log's entries with a good trailer.
    auto replay = std::make_unique<SatelliteTables>();
    std::vector<std::string> replayCounts;
    for (std::size_t at = 0; at < expectedLog.size();) {
        const RecordKindLayout* kind =
            FindRecordKind({reinterpret_cast<const char*>(expectedLog.data() + at), 4});
        ASSERT_NE(kind, nullptr);
        const std::span<const std::uint8_t> body(expectedLog.data() + at + 4, kind->bodyLength);
        if (const auto count = DispatchRecord(*kind, body, *replay)) {
            replayCounts.push_back(std::to_string(*count));
        }
        at += 4 + kind->bodyLength;
    }
    std::vector<std::string> shownCounts;
    for (const std::string& change : changes) {
        if (change.rfind("Label3: ", 0) == 0) {
            shownCounts.push_back(change.substr(8));
        }
    }
    EXPECT_EQ(shownCounts, replayCounts);
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const auto s = static_cast<std::size_t>(slot);
        EXPECT_EQ(state->tables.ephemerisValid[s], replay->ephemerisValid[s]) << "slot " << slot;
        EXPECT_EQ(std::memcmp(&state->tables.ephemerisTable[s], &replay->ephemerisTable[s],
                              kSnvLayout.decodedSpan),
                  0)
            << "slot " << slot;
        EXPECT_EQ(state->tables.stateTable[s].rawRange, replay->stateTable[s].rawRange);
        EXPECT_EQ(state->tables.stateTable[s].fullPhase, replay->stateTable[s].fullPhase);
    }
    // Noise costs only the records it hit: while every ephemeris got through, each epoch whose
    // records all arrived intact counts all 8 satellites.
    std::set<std::size_t> hitEpochs;
    bool ephemerisLost = false;
    for (const auto& [index, c] : corrupted) {
        if (index >= 8) {
            hitEpochs.insert((index - 8) / 9);
        } else if (!byRegion[1].contains(index) && !byRegion[3].contains(index)) {
            ephemerisLost = true;
        } else if (c.position >= session.records[index].framed.size() - 2) {
            ephemerisLost = true;
        }
    }
    if (!ephemerisLost) {
        const auto full = std::count(shownCounts.begin(), shownCounts.end(), "8");
        EXPECT_GE(static_cast<std::size_t>(full), 250 - hitEpochs.size());
    }
}

}  // namespace
