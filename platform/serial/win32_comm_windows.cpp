// What Windows lacks of the serial calls the system uses: a way for the window to wake the
// receive thread from a call blocked on the port at program shutdown. Everything else is the
// real API.
#include <mutex>

#include "platform/serial/port_call_cancel.hpp"
#include "platform/serial/win32_comm.hpp"

namespace {

// How often the port's pending calls are cancelled again once shutdown has begun.
constexpr DWORD kCancelRepeatMs = 100;

// The thread that makes the blocking calls on the port (the process has one port and one
// receive thread): CancelSynchronousIo reaches a call only through its thread.
std::mutex waiterMutex;
HANDLE waiterPort = INVALID_HANDLE_VALUE;  // guarded by waiterMutex
HANDLE waiterThread = nullptr;             // guarded by waiterMutex

class WindowsPortCallCancel final : public PortCallCancel {
  public:
    explicit WindowsPortCallCancel(HANDLE port) : port_(port) {}

    void ClearEventMask() override { SetCommMask(port_, 0); }
    void CancelWaiterCall() override {
        std::lock_guard lock(waiterMutex);
        if (waiterThread != nullptr && waiterPort == port_) {
            CancelSynchronousIo(waiterThread);
        }
    }
    void CancelPortCalls() override { CancelIoEx(port_, nullptr); }

  private:
    HANDLE port_;
};

// Synchronous calls on a port can only be cancelled while they are pending: a call the receive
// thread makes just after one round (between its check of the stop request and the call) would
// block again. So the rounds are repeated until the process ends, a moment later, which costs
// one wake-up every kCancelRepeatMs for that moment.
DWORD WINAPI CancelUntilProcessEnd(LPVOID port) {
    WindowsPortCallCancel calls(static_cast<HANDLE>(port));
    for (;;) {
        CancelBlockedPortCall(calls);
        Sleep(kCancelRepeatMs);
    }
}

}  // namespace

BOOL RegisterPortWaiter(HANDLE port) {
    HANDLE self = nullptr;
    // CancelSynchronousIo needs the right to terminate the thread.
    if (DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &self,
                        THREAD_TERMINATE, FALSE, 0) == 0) {
        return FALSE;
    }
    std::lock_guard lock(waiterMutex);
    if (waiterThread != nullptr) {
        CloseHandle(waiterThread);
    }
    waiterPort = port;
    waiterThread = self;
    return TRUE;
}

BOOL CancelPortWait(HANDLE port) {
    // Calls on an invalid handle fail at once on Windows: nothing can be waiting on it.
    if (port == INVALID_HANDLE_VALUE || port == nullptr) {
        return TRUE;
    }
    WindowsPortCallCancel calls(port);
    CancelBlockedPortCall(calls);
    HANDLE canceller = CreateThread(nullptr, 0, CancelUntilProcessEnd, port, 0, nullptr);
    if (canceller == nullptr) {
        return FALSE;
    }
    CloseHandle(canceller);
    return TRUE;
}
