// What a COMMTIMEOUTS record means for one read of `count` bytes, as Win32 defines it. Shared by
// the serial device and the scripted device so that both time their reads alike.
#pragma once

#include <cstdint>

#include "platform/serial/win32_comm.hpp"

namespace serial_detail {

struct ReadTimeouts {
    bool returnAtOnce = false;       // MAXDWORD/0/0: whatever is buffered, possibly nothing
    bool returnOnFirstByte = false;  // MAXDWORD/MAXDWORD/c: at once once anything is there
    std::int64_t totalMs = -1;       // -1: no total time-out
    std::int64_t intervalMs = -1;    // -1: no interval time-out
};

constexpr ReadTimeouts PlanRead(const COMMTIMEOUTS& t, DWORD count) {
    ReadTimeouts plan;
    if (t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0 &&
        t.ReadTotalTimeoutConstant == 0) {
        plan.returnAtOnce = true;
        return plan;
    }
    if (t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == MAXDWORD &&
        t.ReadTotalTimeoutConstant > 0 && t.ReadTotalTimeoutConstant < MAXDWORD) {
        plan.returnOnFirstByte = true;
        plan.totalMs = t.ReadTotalTimeoutConstant;
        return plan;
    }
    if (t.ReadTotalTimeoutMultiplier != 0 || t.ReadTotalTimeoutConstant != 0) {
        plan.totalMs = static_cast<std::int64_t>(t.ReadTotalTimeoutConstant) +
                       static_cast<std::int64_t>(t.ReadTotalTimeoutMultiplier) * count;
    }
    // MAXDWORD outside the two combinations above is simply a very long interval.
    if (t.ReadIntervalTimeout != 0 && t.ReadIntervalTimeout != MAXDWORD) {
        plan.intervalMs = t.ReadIntervalTimeout;
    }
    return plan;
}

// Total write time-out in ms, -1 for none.
constexpr std::int64_t PlanWrite(const COMMTIMEOUTS& t, DWORD count) {
    if (t.WriteTotalTimeoutMultiplier == 0 && t.WriteTotalTimeoutConstant == 0) {
        return -1;
    }
    return static_cast<std::int64_t>(t.WriteTotalTimeoutConstant) +
           static_cast<std::int64_t>(t.WriteTotalTimeoutMultiplier) * count;
}

}  // namespace serial_detail
