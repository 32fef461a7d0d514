// Epoch times judged against their neighbours: corrupt times left out, rollovers and gaps kept.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "gnss/epoch_time_sequence.hpp"
#include "gnss/gps_time.hpp"

namespace {

using Verdict = EpochTimeSequence::Verdict;

// What the sequence makes of the times (ms of week): per epoch 'S' in sequence, 'O' out of order
// or 'X' outlier, and the times in the log's weeks (ms, the first epoch's week is 0). `flushAfter`
// flushes after that many pushes as well as at the end.
struct Judgement {
    std::string verdicts;
    std::vector<std::int64_t> times;  // of the epochs not left out
    std::size_t mostPending = 0;
};

Judgement JudgeAll(const std::vector<std::int32_t>& ms, std::size_t flushAfter = 0) {
    EpochTimeSequence sequence;
    Judgement j;
    const auto take = [&] {
        while (const auto judged = sequence.Next()) {
            j.verdicts += judged->verdict == Verdict::InSequence   ? 'S'
                          : judged->verdict == Verdict::OutOfOrder ? 'O'
                                                                   : 'X';
            if (judged->verdict != Verdict::Outlier) {
                j.times.push_back(
                    std::chrono::duration_cast<std::chrono::milliseconds>(judged->time.SinceEpoch())
                        .count());
            }
        }
    };
    for (std::size_t k = 0; k < ms.size(); ++k) {
        sequence.Push(ms[k]);
        j.mostPending = std::max(j.mostPending, sequence.Pending());
        take();
        if (k + 1 == flushAfter) {
            sequence.Flush();
            take();
        }
    }
    sequence.Flush();
    take();
    return j;
}

// A second apart from `first`, with `at` replaced by `corrupt`.
std::vector<std::int32_t> Steady(std::int32_t first, int count, int at = -1,
                                 std::int32_t corrupt = 0) {
    std::vector<std::int32_t> ms;
    for (int k = 0; k < count; ++k) {
        ms.push_back(k == at
                         ? corrupt
                         : static_cast<std::int32_t>((first + 1000LL * k) % kMillisecondsPerWeek));
    }
    return ms;
}

constexpr std::int32_t kThursday = 345600000;
constexpr std::int32_t kHour = 3600000;

TEST(EpochTimeSequence, ASteadyLogIsInSequenceAndJudgedAtOnceAfterItsStart) {
    const Judgement j = JudgeAll(Steady(kThursday, 10));
    EXPECT_EQ(j.verdicts, "SSSSSSSSSS");
    EXPECT_EQ(j.times.front(), kThursday);
    EXPECT_EQ(j.times.back(), kThursday + 9000);
    EXPECT_LE(j.mostPending, EpochTimeSequence::kLookAhead + 1);
    // Once the step is known, each epoch goes out as it comes in.
    EpochTimeSequence s;
    for (const std::int32_t ms : Steady(kThursday, 4)) {
        s.Push(ms);
        while (s.Next()) {
        }
    }
    s.Push(kThursday + 4000);
    EXPECT_TRUE(s.Next());
}

// Time 0 and an hour ahead are the end-to-end cases of tests/export/corrupt_epoch_time_test.
TEST(EpochTimeSequence, IsolatedCorruptTimesAreOutliersAndDateNothing) {
    // An hour back, a day back, and no time of the week at all.
    Judgement j;
    for (const std::int32_t corrupt : {kThursday + 4000 - kHour, kThursday - 24 * kHour, -1,
                                       static_cast<std::int32_t>(kMillisecondsPerWeek)}) {
        j = JudgeAll(Steady(kThursday, 8, 4, corrupt));
        EXPECT_EQ(j.verdicts, "SSSSXSSS") << corrupt;
        EXPECT_EQ(j.times.back(), kThursday + 7000) << corrupt;
    }
    // The first epoch corrupt: the log starts with the second.
    j = JudgeAll(Steady(kThursday, 6, 0, 0));
    EXPECT_EQ(j.verdicts, "XSSSSS");
    EXPECT_EQ(j.times.front(), kThursday + 1000);
    // Two corrupt epochs in a row, the second after the first, are still outvoted.
    std::vector<std::int32_t> two = Steady(kThursday, 9);
    two[4] = kThursday + kHour;
    two[5] = kThursday + 2 * kHour;
    EXPECT_EQ(JudgeAll(two).verdicts, "SSSSXXSSS");
}

// A rollover a second at a time is the end-to-end case of tests/export/corrupt_epoch_time_test.
TEST(EpochTimeSequence, RolloversGapsAndRepeatsAreKept) {
    // A gap across the week's end that the epochs after it continue: the next week is week 1.
    const std::int32_t lastHour = kMillisecondsPerWeek - kHour;
    Judgement j = JudgeAll({lastHour, lastHour + 1000, lastHour + 2000, 1000000, 1001000, 1002000});
    EXPECT_EQ(j.verdicts, "SSSSSS");
    EXPECT_EQ(j.times[3], kMillisecondsPerWeek + 1000000);
    // A gap within the week, likewise.
    EXPECT_EQ(JudgeAll({kThursday, kThursday + 1000, kThursday + kHour, kThursday + kHour + 1000,
                        kThursday + kHour + 2000})
                  .verdicts,
              "SSSSS");
    // The same time twice, and a second recording that goes back five seconds: out of order,
    // placed before the epoch in sequence.
    j = JudgeAll({kThursday, kThursday + 1000, kThursday + 1000, kThursday + 2000});
    EXPECT_EQ(j.verdicts, "SSOS");
    std::vector<std::int32_t> overlap = Steady(kThursday, 10);
    const std::vector<std::int32_t> second = Steady(kThursday + 5000, 10);
    overlap.insert(overlap.end(), second.begin(), second.end());
    j = JudgeAll(overlap);
    EXPECT_EQ(j.verdicts, "SSSSSSSSSSOOOOOSSSSS");
    EXPECT_EQ(j.times[10], kThursday + 5000);
    EXPECT_EQ(j.times.back(), kThursday + 14000);
}

TEST(EpochTimeSequence, WithoutEpochsAfterItARolloverIsNotTakenButAStepIs) {
    // The log ends (or its writer goes quiet) right after a jump into the next week: not taken;
    // after an ordinary gap: taken.
    EXPECT_EQ(JudgeAll({kThursday, kThursday + 1000, kThursday + 2000, 0}).verdicts, "SSSX");
    EXPECT_EQ(JudgeAll({kThursday, kThursday + 1000, kThursday + 2000, kThursday + 60000}).verdicts,
              "SSSS");
    // A flush judges what is held with what there is; the epochs after it are judged as usual.
    const Judgement j = JudgeAll({kThursday, kThursday + 1000, kThursday + 2000, 0,
                                  kThursday + 3000, kThursday + 4000, kThursday + 5000},
                                 4);
    EXPECT_EQ(j.verdicts, "SSSXSSS");
}

}  // namespace
