// A serial device (a UART, a USB adapter, a pseudo-terminal) behind a handle.
#pragma once

#include <linux/serial.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/serial/comm_object.hpp"
#include "platform/serial/dsr_receive_gate.hpp"

namespace serial_detail {

class TtyPort final : public CommObject {
  public:
    // Opens `path` exclusively (TIOCEXCL keeps out later opens by other users, flock keeps out
    // everyone who asks for it, root included; both end with the port) and puts the line into
    // raw mode. The controlling terminal is refused.
    static CommObject* Open(const std::string& path, OpenFailure& failure);
    ~TtyPort() override;

    BOOL Read(void* buffer, DWORD count, DWORD& transferred) override;
    BOOL Write(const void* buffer, DWORD count, DWORD& transferred) override;
    BOOL GetState(DCB& dcb) override;
    BOOL SetState(const DCB& dcb) override;
    BOOL SetMask(DWORD mask) override;
    BOOL GetMask(DWORD& mask) override;
    BOOL WaitEvent(DWORD& events) override;
    BOOL Purge(DWORD flags) override;
    BOOL GetTimeouts(COMMTIMEOUTS& timeouts) override;
    BOOL SetTimeouts(const COMMTIMEOUTS& timeouts) override;
    BOOL Cancel() override;
    bool ModemLines(DWORD& lines) override;
    bool WaitForModemChange(std::chrono::milliseconds limit) override;
    void SetDtr(bool raised) override;

  private:
    using Clock = std::chrono::steady_clock;

    // How long a call on a dead port sleeps before it fails. CancelPortWait cuts the sleep short.
    static constexpr std::chrono::milliseconds kDeadPortSleep{1000};

    TtyPort(int fd, int wakeFd);

    // False (with the error set) when the port was cancelled or is dead; a dead port first
    // sleeps, so that a caller retrying in a loop does not spin.
    bool EnterBlockingCall();
    // Waits for `fd_` to show `events` (none: only the wake-up counts) until `deadline`.
    // Returns the fd's revents, 0 on time-out, -1 when cancelled.
    int WaitFor(short events, const Clock::time_point* deadline);
    void MarkDead();
    DWORD PollCounters(DWORD mask);
    DWORD DrainEstimateMs(int queued) const;

    // The driver's input queue (tty_port_input.cpp): what the line has received is taken into it
    // as soon as a wait or a read notices it, and the DSR gate judges it then, not when the
    // program reads it.
    enum class LineState : std::uint8_t { Open, HungUp };
    // Takes everything the line holds (as much as the queue has room for). HungUp only when
    // nothing came before the hang-up: bytes that did are delivered first.
    LineState TakeFromLine(DsrReceiveGate::Arrival arrival);
    DWORD TakeQueued(std::uint8_t* out, DWORD count);
    std::size_t Queued();
    void DropQueued();
    DsrSample SampleDsr();

    int fd_;
    int wakeFd_;  // eventfd that CancelPortWait signals
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> dead_{false};
    std::atomic<DWORD> mask_{0};
    std::atomic<bool> modemLinesReported_{true};  // until the device says it has none

    std::mutex mutex_;  // guards the fields below
    DCB dcb_;
    COMMTIMEOUTS timeouts_{};
    bool txPending_ = false;  // written bytes not yet reported as drained
    bool countersSupported_ = false;
    serial_icounter_struct counters_{};

    // The size of the input queue Windows gives a serial port.
    static constexpr std::size_t kInputQueueSize = 4096;
    std::mutex inputMutex_;  // guards the fields below
    std::array<std::uint8_t, kInputQueueSize> input_{};
    std::size_t inputStart_ = 0;
    std::size_t inputCount_ = 0;
    DsrReceiveGate dsrGate_;
};

}  // namespace serial_detail
