// The DSR/DTR handshake of the device-control block, which termios cannot express, emulated
// above any port that reports its modem lines:
//   fOutxDsrFlow     writes are held while DSR is off (up to the write time-out in force);
//   fDtrControl      DTR is raised while the port is open, unless the block disables it.
// (fDsrSensitivity, the dropping of bytes that arrive while DSR is off, belongs to the device,
// which alone sees when bytes arrive: DsrReceiveGate.)
// A device without modem lines (a pseudo-terminal) counts as DSR on, so the handshake never
// holds anything on it.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

#include "platform/serial/comm_object.hpp"

namespace serial_detail {

class DsrHandshake final : public CommObject {
  public:
    // `name` says which port this is in a message ("COM3 (/dev/ttyS2)").
    DsrHandshake(CommObject* device, std::string name) : device_(device), name_(std::move(name)) {}

    BOOL Write(const void* buffer, DWORD count, DWORD& transferred) override;
    BOOL SetState(const DCB& dcb) override;

    BOOL Read(void* buffer, DWORD count, DWORD& transferred) override {
        return device_->Read(buffer, count, transferred);
    }
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

    // How long a write is held before standard error hears once that DSR is off.
    static constexpr std::chrono::seconds kDsrOffNoticeAfter{3};

  private:
    bool DsrOn();
    // Says once, on standard error, that DSR has stayed off and what that means for the cable.
    void NoticeDsrOff();

    std::unique_ptr<CommObject> device_;
    std::string name_;
    std::atomic<bool> holdWrites_{false};
    std::atomic<bool> dsrOffNoticed_{false};
};

}  // namespace serial_detail
