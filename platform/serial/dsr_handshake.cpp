#include "platform/serial/dsr_handshake.hpp"

#include <algorithm>
#include <cstdio>

#include "platform/serial/read_timeouts.hpp"

namespace serial_detail {
namespace {

// How often a held write looks at DSR again when the device cannot say when it changes.
constexpr std::chrono::milliseconds kDsrInterval{50};

}  // namespace

bool DsrHandshake::DsrOn() {
    DWORD lines = 0;
    return !device_->ModemLines(lines) || (lines & kModemDsrOn) != 0;
}

void DsrHandshake::NoticeDsrOff() {
    if (dsrOffNoticed_.exchange(true)) {
        return;
    }
    std::fprintf(stderr,
                 "satlog: %s: DSR has been off for %lld s, and nothing is sent to the receiver "
                 "until it comes on. A 3-wire cable (data and ground only), or an adapter that "
                 "does not report DSR, keeps it off for ever: use a cable that carries DSR and "
                 "CTS (DB-9 pins 6 and 8), or join DTR to DSR (pins 4 and 6) and RTS to CTS "
                 "(pins 7 and 8) at the computer's end.\n",
                 name_.c_str(), static_cast<long long>(kDsrOffNoticeAfter.count()));
}

BOOL DsrHandshake::Write(const void* buffer, DWORD count, DWORD& transferred) {
    transferred = 0;
    if (holdWrites_.load(std::memory_order_relaxed) && !DsrOn()) {
        using Clock = std::chrono::steady_clock;
        COMMTIMEOUTS timeouts{};
        device_->GetTimeouts(timeouts);
        const std::int64_t totalMs = PlanWrite(timeouts, count);
        const Clock::time_point start = Clock::now();
        const Clock::time_point deadline =
            totalMs >= 0 ? start + std::chrono::milliseconds(totalMs) : Clock::time_point::max();
        while (!DsrOn()) {
            const Clock::time_point now = Clock::now();
            if (now >= deadline) {
                return 1;  // a write time-out: success with nothing moved, as on Windows
            }
            // The settings hold the write for as long as DSR stays off, which on a cable without
            // DSR is for ever: the user must learn why nothing happens.
            if (now - start >= kDsrOffNoticeAfter) {
                NoticeDsrOff();
            }
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
            if (!device_->WaitForModemChange(std::min(left, kDsrInterval))) {
                SetLastErrorCode(ERROR_OPERATION_ABORTED);
                return 0;
            }
        }
    }
    return device_->Write(buffer, count, transferred);
}

BOOL DsrHandshake::SetState(const DCB& dcb) {
    if (device_->SetState(dcb) == 0) {
        return 0;
    }
    holdWrites_.store(dcb.fOutxDsrFlow != 0, std::memory_order_relaxed);
    device_->SetDtr(dcb.fDtrControl != DTR_CONTROL_DISABLE);
    return 1;
}

}  // namespace serial_detail
