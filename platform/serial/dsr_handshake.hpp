// The DSR/DTR handshake of the device-control block, which termios cannot express, emulated
// above any port that reports its modem lines:
//   fOutxDsrFlow     writes are held while DSR is off (up to the write time-out in force);
//   fDsrSensitivity  bytes received while DSR is off are discarded;
//   fDtrControl      DTR is raised while the port is open, unless the block disables it.
// A device without modem lines (a pseudo-terminal) counts as DSR on, so the handshake never
// holds or discards anything on it.
#pragma once

#include <atomic>
#include <memory>

#include "platform/serial/comm_object.hpp"

namespace serial_detail {

class DsrHandshake final : public CommObject {
  public:
    explicit DsrHandshake(CommObject* device) : device_(device) {}

    BOOL Read(void* buffer, DWORD count, DWORD& transferred) override;
    BOOL Write(const void* buffer, DWORD count, DWORD& transferred) override;
    BOOL SetState(const DCB& dcb) override;

    BOOL GetState(DCB& dcb) override { return device_->GetState(dcb); }
    BOOL SetMask(DWORD mask) override { return device_->SetMask(mask); }
    BOOL GetMask(DWORD& mask) override { return device_->GetMask(mask); }
    BOOL WaitEvent(DWORD& events) override { return device_->WaitEvent(events); }
    BOOL Purge(DWORD flags) override { return device_->Purge(flags); }
    BOOL GetTimeouts(COMMTIMEOUTS& timeouts) override { return device_->GetTimeouts(timeouts); }
    BOOL SetTimeouts(const COMMTIMEOUTS& timeouts) override {
        return device_->SetTimeouts(timeouts);
    }
    BOOL Cancel() override { return device_->Cancel(); }
    bool ModemLines(DWORD& lines) override { return device_->ModemLines(lines); }

  private:
    bool DsrOn();
    // Drops what arrived while DSR was off; the read moved nothing.
    BOOL Discard(DWORD& transferred);

    std::unique_ptr<CommObject> device_;
    std::atomic<bool> holdWrites_{false};
    std::atomic<bool> discardReceived_{false};
};

}  // namespace serial_detail
