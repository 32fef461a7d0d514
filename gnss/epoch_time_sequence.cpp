#include "gnss/epoch_time_sequence.hpp"

#include <cassert>

namespace {

using std::chrono::milliseconds;

constexpr GpsDuration kStepTolerance = milliseconds(1);
// Votes out of the look-ahead that settle a verdict before all of it has come.
constexpr int kMajority = EpochTimeSequence::kLookAhead / 2 + 1;

bool IsTimeOfWeek(std::int32_t ms) {
    return ms >= 0 && ms < kMillisecondsPerWeek;
}

// The step from `from` to the time of week `ms`: the one within half a week (-half, half].
GpsDuration StepTo(GpsTime from, std::int32_t ms) {
    return NearestWithTimeOfWeek(from, milliseconds(ms)) - from;
}

}  // namespace

void EpochTimeSequence::Push(std::int32_t msOfWeek) {
    // The oldest is judged at the latest when kLookAhead epochs have come after it, so a caller
    // that takes every verdict never fills the ring.
    assert(count_ < pending_.size());
    if (count_ == pending_.size()) {
        return;
    }
    pending_[(head_ + count_) % pending_.size()] = msOfWeek;
    ++count_;
}

void EpochTimeSequence::Pop() {
    head_ = (head_ + 1) % pending_.size();
    --count_;
    if (flushable_ > 0) {
        --flushable_;
    }
}

std::optional<EpochTimeSequence::Judged> EpochTimeSequence::Next() {
    if (count_ == 0) {
        return std::nullopt;
    }
    const std::optional<Judged> judged = Judge(flushable_ > 0 || count_ > kLookAhead);
    if (!judged) {
        return std::nullopt;
    }
    Pop();
    if (judged->verdict == Verdict::InSequence) {
        if (last_) {
            step_ = judged->time - *last_;
        }
        last_ = judged->time;
    }
    return judged;
}

std::optional<EpochTimeSequence::Judged> EpochTimeSequence::Judge(bool mustDecide) const {
    const std::int32_t ms = At(0);
    if (!IsTimeOfWeek(ms)) {
        return Judged{Verdict::Outlier, {}};
    }
    // Where the epoch lies, and how far it steps from the last epoch in sequence.
    const GpsTime time = last_ ? *last_ + StepTo(*last_, ms) : GpsTime::FromWeekMilliseconds(0, ms);
    const GpsDuration step = last_ ? time - *last_ : GpsDuration{};
    if (last_ && step == GpsDuration::zero()) {
        return Judged{Verdict::OutOfOrder, time};  // the same time again
    }
    if (last_ && step > GpsDuration::zero() && step_ && step - *step_ <= kStepTolerance &&
        *step_ - step <= kStepTolerance) {
        return Judged{Verdict::InSequence, time};
    }

    // The epochs after it vote: do they go on from it, or from the sequence it left?
    int goOnFromIt = 0;
    int goOnWithoutIt = 0;
    for (std::size_t k = 1; k < count_; ++k) {
        const std::int32_t next = At(k);
        if (!IsTimeOfWeek(next)) {
            continue;
        }
        const GpsDuration afterIt = StepTo(time, next);
        const GpsDuration afterLast = last_ ? StepTo(*last_, next) : GpsDuration{};
        if (!last_) {
            // The first epoch: those after it should come later, not before it.
            goOnFromIt += afterIt > GpsDuration::zero() ? 1 : 0;
            goOnWithoutIt += afterIt < GpsDuration::zero() ? 1 : 0;
        } else if (step > GpsDuration::zero()) {
            // A step ahead: followed from it, or from the last epoch in sequence short of it.
            goOnFromIt += afterIt > GpsDuration::zero() ? 1 : 0;
            goOnWithoutIt += afterLast > GpsDuration::zero() && afterLast < step ? 1 : 0;
        } else if (afterIt > GpsDuration::zero() && afterLast <= GpsDuration::zero()) {
            // A step back, and the log goes on from it towards the last epoch in sequence: it went
            // back (a second recording after the first). Once it has, epochs past the last one
            // are that recording catching up, not evidence against it.
            ++goOnFromIt;
        } else if (afterLast > GpsDuration::zero() && goOnFromIt == 0) {
            ++goOnWithoutIt;  // the log went on past the last epoch in sequence as before
        }
    }
    if (!mustDecide && goOnFromIt < kMajority && goOnWithoutIt < kMajority) {
        return std::nullopt;
    }
    if (goOnWithoutIt > goOnFromIt) {
        return Judged{Verdict::Outlier, time};
    }
    if (last_ && step < GpsDuration::zero()) {
        return Judged{Verdict::OutOfOrder, time};
    }
    if (goOnFromIt == goOnWithoutIt && last_ && time.Week() != last_->Week()) {
        return Judged{Verdict::Outlier, time};  // a rollover nothing after it confirms
    }
    return Judged{Verdict::InSequence, time};
}
