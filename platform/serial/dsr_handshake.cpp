#include "platform/serial/dsr_handshake.hpp"

#include <algorithm>

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

BOOL DsrHandshake::Discard(DWORD& transferred) {
    transferred = 0;
    device_->Purge(PURGE_RXCLEAR);
    return 1;
}

BOOL DsrHandshake::Read(void* buffer, DWORD count, DWORD& transferred) {
    if (!discardReceived_.load(std::memory_order_relaxed)) {
        return device_->Read(buffer, count, transferred);
    }
    if (!DsrOn()) {
        return Discard(transferred);
    }
    const BOOL ok = device_->Read(buffer, count, transferred);
    // DSR fell while the read waited: its bytes may have come after the fall.
    if (ok != 0 && transferred > 0 && !DsrOn()) {
        return Discard(transferred);
    }
    return ok;
}

BOOL DsrHandshake::Write(const void* buffer, DWORD count, DWORD& transferred) {
    transferred = 0;
    if (holdWrites_.load(std::memory_order_relaxed) && !DsrOn()) {
        using Clock = std::chrono::steady_clock;
        COMMTIMEOUTS timeouts{};
        device_->GetTimeouts(timeouts);
        const std::int64_t totalMs = PlanWrite(timeouts, count);
        const Clock::time_point deadline = totalMs >= 0
                                               ? Clock::now() + std::chrono::milliseconds(totalMs)
                                               : Clock::time_point::max();
        while (!DsrOn()) {
            const Clock::time_point now = Clock::now();
            if (now >= deadline) {
                return 1;  // a write time-out: success with nothing moved, as on Windows
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
    discardReceived_.store(dcb.fDsrSensitivity != 0, std::memory_order_relaxed);
    device_->SetDtr(dcb.fDtrControl != DTR_CONTROL_DISABLE);
    return 1;
}

}  // namespace serial_detail
