// A serial device that plays a script, for tests: bytes, line events and quiet gaps on the line,
// delivered deterministically on a virtual clock, with a record of what the system did to it.
//
// The script runs only while the system waits on the device (in WaitCommEvent, or in a ReadFile
// that needs more bytes), one step at a time, as far as the system's wait needs. So bytes of one
// Send step arrive together and are followed by a line event of their own; a Pause longer than
// the interval time-out ends a timed read exactly as a real gap on the line does, but costs no
// real time. When the script has run out, or waits for a write the system has not made, the
// device is silent: the system blocks until more steps are added or CancelPortWait.
//
// Selecting it without touching the system's code: register it under a name and set SATLOG_COM3
// to "scripted:<name>"; CreateFileA("COM3", ...) then opens it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/serial/win32_comm.hpp"

namespace serial_detail {
class DsrReceiveGate;
struct DsrSample;
}  // namespace serial_detail

class ScriptedSerialDevice : public std::enable_shared_from_this<ScriptedSerialDevice> {
  public:
    ScriptedSerialDevice();
    ~ScriptedSerialDevice();

    // What the system did, in order (for tests that check the sequence of calls).
    enum class CallKind : std::uint8_t {
        Read,
        Write,
        Wait,
        Purge,
        SetTimeouts,
        GetState,
        SetState,
        SetMask
    };
    struct Call {
        CallKind kind;
        DWORD value;   // Read: bytes asked; Write: bytes written; Wait: events reported;
                       // Purge: flags; SetTimeouts: ReadIntervalTimeout; SetState: BaudRate;
                       // SetMask: the mask
        DWORD result;  // Read: bytes moved; otherwise 0
    };

    // Script steps, appended at the end. Thread-safe; a waiting system sees new steps at once.
    ScriptedSerialDevice& Send(std::span<const std::uint8_t> bytes);
    ScriptedSerialDevice& Send(std::string_view text);
    ScriptedSerialDevice& Pause(std::chrono::milliseconds quiet);
    ScriptedSerialDevice& Signal(DWORD events);  // line events such as EV_CTS | EV_RING
    // DSR goes on or off, with EV_DSR. From the first such step the device reports its modem
    // lines; before it, it has none, as a pseudo-terminal. With the DSR sensitivity of the line
    // settings, bytes that a Send step delivers while DSR is off are dropped as they arrive.
    ScriptedSerialDevice& Dsr(bool on);
    // Holds the script until the system has made one more WriteFile than the earlier
    // AwaitWrite steps accounted for: a receiver that answers a command.
    ScriptedSerialDevice& AwaitWrite();
    // From now on CancelPortWait ends no call: a driver that ignores every cancellation, so a
    // call blocked on the silent device stays blocked until the process ends.
    ScriptedSerialDevice& IgnoreCancellation();

    // Blocks until the system waits on the device with nothing left that it could deliver
    // (script done or held by AwaitWrite), up to `limit` of real time. True when it got there.
    bool WaitUntilIdle(std::chrono::milliseconds limit = std::chrono::seconds(10));

    // Everything written by the system, and each write on its own.
    std::vector<std::uint8_t> Written() const;
    std::vector<std::vector<std::uint8_t>> Writes() const;
    std::vector<Call> Calls() const;
    std::size_t BytesPurged() const;              // received bytes that a PurgeComm discarded
    std::size_t BytesDroppedWhileDsrOff() const;  // by the DSR sensitivity
    std::size_t BytesUnread() const;
    std::chrono::milliseconds Now() const;  // the virtual clock
    bool IsOpen() const;
    bool DtrRaised() const;
    std::size_t BytesWrittenWhileDsrOff() const;  // what a DSR output handshake should hold

    // A handle on the device, as CreateFileA gives for a registered name. One at a time.
    HANDLE Open();

    // Used by the handle.
    BOOL Read(void* buffer, DWORD count, DWORD& transferred);
    BOOL Write(const void* buffer, DWORD count, DWORD& transferred);
    BOOL GetState(DCB& dcb);
    BOOL SetState(const DCB& dcb);
    BOOL SetMask(DWORD mask);
    BOOL GetMask(DWORD& mask);
    BOOL WaitEvent(DWORD& events);
    BOOL Purge(DWORD flags);
    BOOL GetTimeouts(COMMTIMEOUTS& timeouts);
    BOOL SetTimeouts(const COMMTIMEOUTS& timeouts);
    BOOL Cancel();
    bool ModemLines(DWORD& lines);
    // Runs the script until DSR changes, or `limit` of real time once nothing is left to run.
    // False when cancelled.
    bool WaitForDsrChange(std::chrono::milliseconds limit);
    void SetDtr(bool raised);
    void Closed();
    bool TryOpen();

  private:
    enum class StepKind : std::uint8_t { Send, Pause, Signal, AwaitWrite, Dsr };
    struct Step {
        StepKind kind;
        std::vector<std::uint8_t> bytes;
        std::int64_t ms = 0;
        DWORD events = 0;
        bool on = false;  // Dsr: the new level
    };

    // With mutex_ held.
    bool CanRunStep() const;
    void RunStep();  // the next step, which CanRunStep allowed; a Pause runs whole
    DWORD PendingEvents() const;
    serial_detail::DsrSample DsrNow() const;
    std::size_t TakeReceived(std::uint8_t* out, std::size_t count);
    // With the lock: blocks until the script or the cancel flag changes. False when cancelled.
    bool Block(std::unique_lock<std::mutex>& lock);
    ScriptedSerialDevice& Append(Step step);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Step> script_;
    std::deque<std::uint8_t> received_;
    DWORD signalled_ = 0;
    bool txEmptyPending_ = false;
    DWORD mask_ = 0;
    COMMTIMEOUTS timeouts_{};
    DCB dcb_{};
    std::int64_t nowMs_ = 0;
    std::size_t writeCount_ = 0;
    std::size_t writesAwaited_ = 0;
    std::size_t purged_ = 0;
    std::size_t scriptVersion_ = 0;
    int blockedWaiters_ = 0;
    bool cancelled_ = false;
    bool ignoresCancellation_ = false;
    bool open_ = false;
    bool modemLines_ = false;
    bool dsr_ = false;
    std::uint32_t dsrChanges_ = 0;
    std::unique_ptr<serial_detail::DsrReceiveGate> dsrGate_;  // the serial layer's own
    std::size_t droppedWhileDsrOff_ = 0;
    bool dtr_ = false;
    std::size_t writtenWhileDsrOff_ = 0;
    std::vector<std::uint8_t> written_;
    std::vector<std::vector<std::uint8_t>> writes_;
    std::vector<Call> calls_;
};

// Makes "scripted:<name>" (in SATLOG_COMn) name `device`. Replaces an earlier registration. The
// first registration installs the serial layer's opener of scripted ports.
void RegisterScriptedDevice(const std::string& name, std::shared_ptr<ScriptedSerialDevice> device);
void UnregisterScriptedDevice(const std::string& name);
