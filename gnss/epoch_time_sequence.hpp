// The epoch times of a log judged against their neighbours. The receiver's position records carry
// only the time of week and no checksum, so line noise can change a time and leave the record
// whole: one epoch dated 0, or an hour ahead, must not become the new truth for the epochs after
// it. Each time is placed in the log's weeks (the first epoch's week is week 0) and judged:
//
// - In sequence: later than the last epoch in sequence. A step as long as the last one (within a
//   millisecond) is taken at once; any other step (the first epochs, a gap, a week rollover, a
//   jump) waits for the epochs after it, up to kLookAhead of them, and is taken when they go on
//   from it. It is an outlier when they go on from the last epoch in sequence instead, before
//   it. Without such evidence (the input ends, or the epochs after it say nothing) a step is
//   taken unless it crosses into another week: a week rollover is taken only when the times after
//   it continue it. A time that falls back by more than half a week is such a step into the next
//   week.
// - Out of order: not later than the last epoch in sequence, by less than half a week: a repeated
//   epoch, or the log going back (two recordings one after the other), when the epochs after it go
//   on from it towards the last epoch in sequence. Placed before that epoch; the sequence goes on
//   from that epoch.
// - An outlier: a step back whose following epochs go straight on past the last epoch in
//   sequence, a jump ahead that they do not follow, or a time that is no time of the week at all.
//   It has no place.
//
// Verdicts come out in the order the epochs went in, each as soon as the epochs after it allow;
// Flush says that no more are to be waited for now (the input ended, or its writer went quiet).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "gnss/gps_time.hpp"

class EpochTimeSequence {
  public:
    // The most epochs a verdict waits for after its own.
    static constexpr std::size_t kLookAhead = 3;

    enum class Verdict { InSequence, OutOfOrder, Outlier };
    struct Judged {
        Verdict verdict = Verdict::InSequence;
        GpsTime time;  // in the log's weeks; meaningless for an outlier
    };

    // The next epoch's time of week as its record carries it, in milliseconds (any value). Take
    // every verdict Next gives after each Push: then no more than kLookAhead + 1 are ever pending.
    void Push(std::int32_t msOfWeek);
    // The verdict on the oldest epoch not yet judged, when the epochs after it allow one.
    std::optional<Judged> Next();
    // Every epoch pushed so far is judged with the epochs there are; later ones wait as usual.
    void Flush() { flushable_ = count_; }
    // Epochs pushed and not yet judged.
    std::size_t Pending() const { return count_; }
    // The last epoch in sequence, in the log's weeks.
    std::optional<GpsTime> Last() const { return last_; }
    // A new log: nothing pending, no sequence.
    void Reset() { *this = EpochTimeSequence{}; }

  private:
    std::int32_t At(std::size_t k) const { return pending_[(head_ + k) % pending_.size()]; }
    std::optional<Judged> Judge(bool mustDecide) const;
    void Pop();

    std::array<std::int32_t, kLookAhead + 1> pending_{};
    std::size_t head_ = 0;
    std::size_t count_ = 0;
    std::size_t flushable_ = 0;  // pending epochs to be judged without waiting
    std::optional<GpsTime> last_;
    std::optional<GpsDuration> step_;  // between the last two epochs in sequence
};
