#include "tests/support/scripted_serial_device.hpp"

#include <algorithm>
#include <limits>
#include <map>

#include "platform/serial/comm_object.hpp"
#include "platform/serial/dcb_termios.hpp"
#include "platform/serial/dsr_receive_gate.hpp"
#include "platform/serial/read_timeouts.hpp"
#include "platform/serial/scripted_port_opener.hpp"

using serial_detail::SetLastErrorCode;

namespace {

// The handle's object: forwards to the device, which may outlive it.
class ScriptedPort final : public serial_detail::CommObject {
  public:
    explicit ScriptedPort(std::shared_ptr<ScriptedSerialDevice> device)
        : device_(std::move(device)) {}
    ~ScriptedPort() override { device_->Closed(); }

    BOOL Read(void* b, DWORD n, DWORD& t) override { return device_->Read(b, n, t); }
    BOOL Write(const void* b, DWORD n, DWORD& t) override { return device_->Write(b, n, t); }
    BOOL GetState(DCB& d) override { return device_->GetState(d); }
    BOOL SetState(const DCB& d) override { return device_->SetState(d); }
    BOOL SetMask(DWORD m) override { return device_->SetMask(m); }
    BOOL GetMask(DWORD& m) override { return device_->GetMask(m); }
    BOOL WaitEvent(DWORD& e) override { return device_->WaitEvent(e); }
    BOOL Purge(DWORD f) override { return device_->Purge(f); }
    BOOL GetTimeouts(COMMTIMEOUTS& t) override { return device_->GetTimeouts(t); }
    BOOL SetTimeouts(const COMMTIMEOUTS& t) override { return device_->SetTimeouts(t); }
    BOOL Cancel() override { return device_->Cancel(); }
    bool ModemLines(DWORD& l) override { return device_->ModemLines(l); }
    bool WaitForModemChange(std::chrono::milliseconds limit) override {
        return device_->WaitForDsrChange(limit);
    }
    void SetDtr(bool raised) override { device_->SetDtr(raised); }

  private:
    std::shared_ptr<ScriptedSerialDevice> device_;
};

std::mutex registryMutex;
std::map<std::string, std::shared_ptr<ScriptedSerialDevice>>& Registry() {
    static std::map<std::string, std::shared_ptr<ScriptedSerialDevice>> registry;
    return registry;
}

constexpr std::int64_t kNoLimit = std::numeric_limits<std::int64_t>::max();

}  // namespace

ScriptedSerialDevice::ScriptedSerialDevice()
    : dcb_(serial_detail::DefaultDcb()),
      dsrGate_(std::make_unique<serial_detail::DsrReceiveGate>()) {}

ScriptedSerialDevice::~ScriptedSerialDevice() = default;

ScriptedSerialDevice& ScriptedSerialDevice::Append(Step step) {
    {
        std::lock_guard lock(mutex_);
        script_.push_back(std::move(step));
        ++scriptVersion_;
    }
    changed_.notify_all();
    return *this;
}

ScriptedSerialDevice& ScriptedSerialDevice::Send(std::span<const std::uint8_t> bytes) {
    return Append(Step{StepKind::Send, {bytes.begin(), bytes.end()}});
}

ScriptedSerialDevice& ScriptedSerialDevice::Send(std::string_view text) {
    const auto* begin = reinterpret_cast<const std::uint8_t*>(text.data());
    return Send(std::span<const std::uint8_t>(begin, text.size()));
}

ScriptedSerialDevice& ScriptedSerialDevice::Pause(std::chrono::milliseconds quiet) {
    return Append(Step{StepKind::Pause, {}, std::max<std::int64_t>(quiet.count(), 0)});
}

ScriptedSerialDevice& ScriptedSerialDevice::Signal(DWORD events) {
    return Append(Step{StepKind::Signal, {}, 0, events});
}

ScriptedSerialDevice& ScriptedSerialDevice::Dsr(bool on) {
    Step step{StepKind::Dsr, {}};
    step.on = on;
    return Append(std::move(step));
}

ScriptedSerialDevice& ScriptedSerialDevice::AwaitWrite() {
    return Append(Step{StepKind::AwaitWrite, {}});
}

ScriptedSerialDevice& ScriptedSerialDevice::IgnoreCancellation() {
    std::lock_guard lock(mutex_);
    ignoresCancellation_ = true;
    return *this;
}

bool ScriptedSerialDevice::CanRunStep() const {
    if (script_.empty()) {
        return false;
    }
    return script_.front().kind != StepKind::AwaitWrite || writeCount_ > writesAwaited_;
}

void ScriptedSerialDevice::RunStep() {
    Step& step = script_.front();
    switch (step.kind) {
        case StepKind::Send:
            // The bytes arrive now, under DSR as it is now.
            if (dsrGate_->Keep(DsrNow(), serial_detail::DsrReceiveGate::Arrival::JustNow)) {
                received_.insert(received_.end(), step.bytes.begin(), step.bytes.end());
            } else {
                droppedWhileDsrOff_ += step.bytes.size();
            }
            break;
        case StepKind::Pause:
            nowMs_ += step.ms;
            break;
        case StepKind::Signal:
            signalled_ |= step.events & mask_;  // events not enabled are not recorded
            break;
        case StepKind::AwaitWrite:
            ++writesAwaited_;
            break;
        case StepKind::Dsr:
            modemLines_ = true;
            dsrChanges_ += dsr_ != step.on ? 1 : 0;
            dsr_ = step.on;
            signalled_ |= EV_DSR & mask_;
            break;
    }
    script_.pop_front();
}

serial_detail::DsrSample ScriptedSerialDevice::DsrNow() const {
    return {!modemLines_ || dsr_, dsrChanges_};
}

DWORD ScriptedSerialDevice::PendingEvents() const {
    DWORD events = signalled_ & mask_;
    if ((mask_ & EV_RXCHAR) != 0 && !received_.empty()) {
        events |= EV_RXCHAR;
    }
    if ((mask_ & EV_TXEMPTY) != 0 && txEmptyPending_) {
        events |= EV_TXEMPTY;
    }
    return events;
}

std::size_t ScriptedSerialDevice::TakeReceived(std::uint8_t* out, std::size_t count) {
    const std::size_t n = std::min(count, received_.size());
    std::copy_n(received_.begin(), n, out);
    received_.erase(received_.begin(), received_.begin() + static_cast<std::ptrdiff_t>(n));
    return n;
}

bool ScriptedSerialDevice::Block(std::unique_lock<std::mutex>& lock) {
    const std::size_t version = scriptVersion_;
    ++blockedWaiters_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return cancelled_ || scriptVersion_ != version; });
    --blockedWaiters_;
    return !cancelled_;
}

BOOL ScriptedSerialDevice::Read(void* buffer, DWORD count, DWORD& transferred) {
    std::unique_lock lock(mutex_);
    transferred = 0;
    if (cancelled_) {
        SetLastErrorCode(ERROR_OPERATION_ABORTED);
        return 0;
    }
    const serial_detail::ReadTimeouts plan = serial_detail::PlanRead(timeouts_, count);
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::int64_t elapsed = 0;  // virtual ms since the read began
    std::int64_t silence = 0;  // virtual ms since the last byte
    transferred += static_cast<DWORD>(TakeReceived(out, count));

    while (transferred < count) {
        if (plan.returnAtOnce || (plan.returnOnFirstByte && transferred > 0)) {
            break;
        }
        // Virtual ms until a time-out ends the read; it ends when a quiet gap exceeds this.
        std::int64_t limit = kNoLimit;
        if (plan.totalMs >= 0) {
            limit = std::max<std::int64_t>(plan.totalMs - elapsed, 0);
        }
        if (plan.intervalMs >= 0 && transferred > 0) {
            limit = std::min(limit, std::max<std::int64_t>(plan.intervalMs - silence, 0));
        }
        if (!CanRunStep()) {
            if (limit != kNoLimit) {
                nowMs_ += limit;  // the line stays quiet until the time-out
                break;
            }
            if (!Block(lock)) {
                calls_.push_back({CallKind::Read, count, transferred});
                SetLastErrorCode(ERROR_OPERATION_ABORTED);
                return 0;
            }
            continue;
        }
        Step& step = script_.front();
        if (step.kind == StepKind::Pause && limit != kNoLimit && step.ms > limit) {
            step.ms -= limit;  // the rest of the gap follows the read
            nowMs_ += limit;
            break;
        }
        if (step.kind == StepKind::Pause) {
            elapsed += step.ms;
            silence += step.ms;
        }
        RunStep();
        const std::size_t taken = TakeReceived(out + transferred, count - transferred);
        if (taken > 0) {
            transferred += static_cast<DWORD>(taken);
            silence = 0;
        }
    }
    calls_.push_back({CallKind::Read, count, transferred});
    return 1;
}

BOOL ScriptedSerialDevice::Write(const void* buffer, DWORD count, DWORD& transferred) {
    {
        std::lock_guard lock(mutex_);
        transferred = 0;
        if (cancelled_) {
            SetLastErrorCode(ERROR_OPERATION_ABORTED);
            return 0;
        }
        if (modemLines_ && !dsr_) {
            writtenWhileDsrOff_ += count;
        }
        const auto* bytes = static_cast<const std::uint8_t*>(buffer);
        written_.insert(written_.end(), bytes, bytes + count);
        writes_.emplace_back(bytes, bytes + count);
        calls_.push_back({CallKind::Write, count, count});
        ++writeCount_;
        ++scriptVersion_;  // may release an AwaitWrite step
        txEmptyPending_ = (mask_ & EV_TXEMPTY) != 0;
        transferred = count;
    }
    changed_.notify_all();
    return 1;
}

bool ScriptedSerialDevice::ModemLines(DWORD& lines) {
    std::lock_guard lock(mutex_);
    lines = dsr_ ? serial_detail::kModemDsrOn : 0;
    return modemLines_;
}

bool ScriptedSerialDevice::WaitForDsrChange(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    const bool before = dsr_;
    while (dsr_ == before && !cancelled_) {
        if (CanRunStep()) {
            RunStep();
            continue;
        }
        // Nothing left that could change it: new steps, or the caller's interval of real time.
        const std::size_t version = scriptVersion_;
        ++blockedWaiters_;
        changed_.notify_all();
        const bool moved =
            changed_.wait_for(lock, limit, [&] { return cancelled_ || scriptVersion_ != version; });
        --blockedWaiters_;
        if (!moved) {
            break;
        }
    }
    return !cancelled_;
}

void ScriptedSerialDevice::SetDtr(bool raised) {
    std::lock_guard lock(mutex_);
    dtr_ = raised;
}

bool ScriptedSerialDevice::DtrRaised() const {
    std::lock_guard lock(mutex_);
    return dtr_;
}

std::size_t ScriptedSerialDevice::BytesWrittenWhileDsrOff() const {
    std::lock_guard lock(mutex_);
    return writtenWhileDsrOff_;
}

BOOL ScriptedSerialDevice::WaitEvent(DWORD& events) {
    std::unique_lock lock(mutex_);
    events = 0;
    for (;;) {
        if (cancelled_) {
            SetLastErrorCode(ERROR_OPERATION_ABORTED);
            return 0;
        }
        if (const DWORD pending = PendingEvents(); pending != 0) {
            signalled_ &= ~pending;
            if ((pending & EV_TXEMPTY) != 0) {
                txEmptyPending_ = false;
            }
            events = pending;
            calls_.push_back({CallKind::Wait, pending, 0});
            return 1;
        }
        if (CanRunStep()) {
            RunStep();
        } else if (!Block(lock)) {
            SetLastErrorCode(ERROR_OPERATION_ABORTED);
            return 0;
        }
    }
}

BOOL ScriptedSerialDevice::Purge(DWORD flags) {
    std::lock_guard lock(mutex_);
    if ((flags & PURGE_RXCLEAR) != 0) {
        purged_ += received_.size();
        received_.clear();
    }
    calls_.push_back({CallKind::Purge, flags, 0});
    return 1;
}

BOOL ScriptedSerialDevice::GetState(DCB& dcb) {
    std::lock_guard lock(mutex_);
    dcb = dcb_;
    calls_.push_back({CallKind::GetState, 0, 0});
    return 1;
}

BOOL ScriptedSerialDevice::SetState(const DCB& dcb) {
    std::lock_guard lock(mutex_);
    calls_.push_back({CallKind::SetState, dcb.BaudRate, 0});
    if (!serial_detail::SpeedOfBaudRate(dcb.BaudRate) || dcb.ByteSize < 5 || dcb.ByteSize > 8 ||
        dcb.Parity > SPACEPARITY || dcb.StopBits > TWOSTOPBITS) {
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return 0;
    }
    dcb_ = dcb;
    dcb_.DCBlength = sizeof(DCB);
    dsrGate_->SetSensitive(dcb.fDsrSensitivity != 0, DsrNow());
    return 1;
}

BOOL ScriptedSerialDevice::SetMask(DWORD mask) {
    std::lock_guard lock(mutex_);
    mask_ = mask;
    calls_.push_back({CallKind::SetMask, mask, 0});
    return 1;
}

BOOL ScriptedSerialDevice::GetMask(DWORD& mask) {
    std::lock_guard lock(mutex_);
    mask = mask_;
    return 1;
}

BOOL ScriptedSerialDevice::GetTimeouts(COMMTIMEOUTS& timeouts) {
    std::lock_guard lock(mutex_);
    timeouts = timeouts_;
    return 1;
}

BOOL ScriptedSerialDevice::SetTimeouts(const COMMTIMEOUTS& timeouts) {
    std::lock_guard lock(mutex_);
    timeouts_ = timeouts;
    calls_.push_back({CallKind::SetTimeouts, timeouts.ReadIntervalTimeout, 0});
    return 1;
}

BOOL ScriptedSerialDevice::Cancel() {
    {
        std::lock_guard lock(mutex_);
        cancelled_ = cancelled_ || !ignoresCancellation_;
    }
    changed_.notify_all();
    return 1;
}

bool ScriptedSerialDevice::WaitUntilIdle(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return blockedWaiters_ > 0 && !CanRunStep(); });
}

std::vector<std::uint8_t> ScriptedSerialDevice::Written() const {
    std::lock_guard lock(mutex_);
    return written_;
}

std::vector<std::vector<std::uint8_t>> ScriptedSerialDevice::Writes() const {
    std::lock_guard lock(mutex_);
    return writes_;
}

std::vector<ScriptedSerialDevice::Call> ScriptedSerialDevice::Calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

std::size_t ScriptedSerialDevice::BytesPurged() const {
    std::lock_guard lock(mutex_);
    return purged_;
}

std::size_t ScriptedSerialDevice::BytesDroppedWhileDsrOff() const {
    std::lock_guard lock(mutex_);
    return droppedWhileDsrOff_;
}

std::size_t ScriptedSerialDevice::BytesUnread() const {
    std::lock_guard lock(mutex_);
    return received_.size();
}

std::chrono::milliseconds ScriptedSerialDevice::Now() const {
    std::lock_guard lock(mutex_);
    return std::chrono::milliseconds(nowMs_);
}

bool ScriptedSerialDevice::IsOpen() const {
    std::lock_guard lock(mutex_);
    return open_;
}

bool ScriptedSerialDevice::TryOpen() {
    std::lock_guard lock(mutex_);
    if (open_) {
        return false;
    }
    open_ = true;
    cancelled_ = false;
    return true;
}

void ScriptedSerialDevice::Closed() {
    std::lock_guard lock(mutex_);
    open_ = false;
}

HANDLE ScriptedSerialDevice::Open() {
    if (!TryOpen()) {
        SetLastErrorCode(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    std::shared_ptr<ScriptedSerialDevice> self = weak_from_this().lock();
    if (!self) {
        // Not owned by a shared_ptr: the caller keeps the device alive while the handle lives.
        self = std::shared_ptr<ScriptedSerialDevice>(std::shared_ptr<void>(), this);
    }
    return serial_detail::HandleOf(new ScriptedPort(std::move(self)));
}

namespace {

serial_detail::CommObject* OpenScriptedDevice(const std::string& name,
                                              serial_detail::OpenFailure& failure) {
    std::shared_ptr<ScriptedSerialDevice> device;
    {
        std::lock_guard lock(registryMutex);
        const auto found = Registry().find(name);
        if (found != Registry().end()) {
            device = found->second;
        }
    }
    if (!device) {
        failure = {ERROR_FILE_NOT_FOUND,
                   "missing: no scripted device registered as \"" + name + "\""};
        return nullptr;
    }
    if (!device->TryOpen()) {
        failure = {ERROR_ACCESS_DENIED, "busy: the scripted device is already open"};
        return nullptr;
    }
    return new ScriptedPort(std::move(device));
}

}  // namespace

void RegisterScriptedDevice(const std::string& name, std::shared_ptr<ScriptedSerialDevice> device) {
    {
        std::lock_guard lock(registryMutex);
        Registry()[name] = std::move(device);
    }
    serial_detail::InstallScriptedPortOpener(&OpenScriptedDevice);
}

void UnregisterScriptedDevice(const std::string& name) {
    std::lock_guard lock(registryMutex);
    Registry().erase(name);
}
