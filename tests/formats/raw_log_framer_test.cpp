// The raw-log framer: what damage costs, and that neither the pieces the bytes arrive in nor a
// log that is still being written changes what it hands out.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "records/record_encoder.hpp"
#include "tests/support/framed_log.hpp"

namespace {

constexpr std::uint64_t kPbnEntry = 4 + 58;

// Every kind of damage the framer knows, between whole entries.
std::vector<std::uint8_t> LogWithEveryDamage() {
    std::vector<std::uint8_t> log;
    AppendLogEntry(log, kPbnLayout, EncodeEpochTimeBody(1000));
    log.insert(log.end(), 10, 0);  // zeros of an outside truncation: an unknown tag
    AppendLogEntry(log, kPbnLayout, EncodeEpochTimeBody(2000));
    log.insert(log.end(), {'M', 'P', 'C', ',', 1, 2, 3});  // torn, runs into the next entry
    AppendLogEntry(log, kPbnLayout, EncodeEpochTimeBody(3000));
    PbnBody badTrailer = EncodeEpochTimeBody(4000);
    badTrailer[57] = 'X';
    badTrailer[56] = 'X';
    AppendLogEntry(log, kPbnLayout, badTrailer);  // a tag follows: a whole entry
    AppendLogEntry(log, kPbnLayout, EncodeEpochTimeBody(5000));
    AppendLogEntry(log, kPbnLayout, badTrailer);  // no tag follows: torn
    log.insert(log.end(), {'S', 'N', 'V', '?'});
    AppendLogEntry(log, kPbnLayout, EncodeEpochTimeBody(6000));
    log.insert(log.end(), {'M', 'P', 'C', ',', 9});  // torn, a whole entry in what is left
    AppendLogEntry(log, kPbnLayout, EncodeEpochTimeBody(7000));
    log.insert(log.end(), {'P', 'B', 'N', ',', 9});  // torn at the end
    return log;
}

TEST(RawLogFramer, CountsWhatDamageCost) {
    const FramedLog log = FrameLog(LogWithEveryDamage());
    EXPECT_EQ(log.Entries().size(), 7u);
    EXPECT_EQ(log.damage.stretches, 4u);
    EXPECT_EQ(log.damage.skippedBytes, 10u + 7u + (kPbnEntry + 4u) + 5u);
    EXPECT_EQ(log.damage.tornEntries, 3u);
    EXPECT_TRUE(log.damage.truncatedEnd);
    ASSERT_EQ(log.events.size(), 12u);
    EXPECT_EQ(log.events[1].text, "unknown entry tag \"\\x00\\x00\\x00\\x00\"");
    EXPECT_EQ(log.events[1].offset, kPbnEntry);
    EXPECT_EQ(log.events[3].text,
              "a torn MPC, entry: its body does not end in CR LF and no entry follows it");
    EXPECT_EQ(log.events[5].status, RawLogFramer::Status::Entry);  // the bad trailer, whole
    EXPECT_EQ(log.events[7].skipped, kPbnEntry + 4u);
    EXPECT_EQ(log.events[9].text, "a torn MPC, entry: an entry begins inside its body");
    EXPECT_EQ(log.events[11].status, RawLogFramer::Status::Truncated);
    EXPECT_EQ(log.events[11].text, "the log ends inside a PBN, entry: 1 of 58 body bytes");
}

// The property a follower of a growing log rests on: one byte at a time, or pieces of any size,
// through a buffer of any size, give the same entries, damage reports and offsets as the whole.
TEST(RawLogFramer, ThePiecesTheBytesArriveInChangeNothing) {
    const std::vector<std::uint8_t> bytes = LogWithEveryDamage();
    const FramedLog whole = FrameLog(bytes);
    EXPECT_EQ(FrameLog(bytes, 1).events, whole.events);
    EXPECT_EQ(FrameLog(bytes, 1, false, 0).events, whole.events);  // the smallest buffer
    std::mt19937 random(7);
    for (int run = 0; run < 20; ++run) {
        const std::size_t piece = 1 + random() % 300;
        const FramedLog pieces = FrameLog(bytes, piece, false, 1 + random() % 1000);
        EXPECT_EQ(pieces.events, whole.events) << "pieces of " << piece;
        EXPECT_EQ(pieces.damage.skippedBytes, whole.damage.skippedBytes);
    }
}

// Until the writer is known to be done, a partial entry at the end is pending, not damage; an
// entry with a good trailer is handed out without waiting for the tag after it.
TEST(RawLogFramer, APartialEntryIsPendingUntilTheLogEnds) {
    std::vector<std::uint8_t> bytes;
    AppendLogEntry(bytes, kPbnLayout, EncodeEpochTimeBody(1000));
    AppendLogEntry(bytes, kPbnLayout, EncodeEpochTimeBody(2000));
    bytes.resize(bytes.size() - 20);
    const FramedLog growing = FrameLog(bytes, 1, true);
    ASSERT_EQ(growing.events.size(), 1u);
    EXPECT_FALSE(growing.Damaged());
    const FramedLog ended = FrameLog(bytes, 1, false);
    ASSERT_EQ(ended.events.size(), 2u);
    EXPECT_EQ(ended.events[1].status, RawLogFramer::Status::Truncated);
    EXPECT_EQ(ended.events[1].offset, kPbnEntry);

    // The writer takes the partial entry back and writes it whole: fed again from Offset().
    RawLogFramer framer;
    RawLogEntry entry{};
    framer.Feed(bytes);
    EXPECT_EQ(framer.Next(entry), RawLogFramer::Status::Entry);
    EXPECT_EQ(framer.Next(entry), RawLogFramer::Status::NeedInput);
    EXPECT_EQ(framer.Fed(), bytes.size());
    framer.DropPending();
    std::vector<std::uint8_t> rewritten;
    AppendLogEntry(rewritten, kPbnLayout, EncodeEpochTimeBody(3000));
    ASSERT_EQ(framer.Offset(), kPbnEntry);
    framer.Feed(rewritten);
    ASSERT_EQ(framer.Next(entry), RawLogFramer::Status::Entry);
    EXPECT_EQ(entry.offset, kPbnEntry);
    EXPECT_EQ(entry.body[0] + 0, rewritten[4] + 0);
    EXPECT_EQ(framer.Next(entry), RawLogFramer::Status::NeedInput);
}

}  // namespace
