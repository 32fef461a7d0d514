// What Windows lacks of the serial calls the system uses: a way for the window to wake the
// receive thread from a wait on the port at program shutdown. Everything else is the real API.
#include "platform/serial/win32_comm.hpp"

namespace {

// How often the port's pending calls are cancelled again once shutdown has begun.
constexpr DWORD kCancelRepeatMs = 100;

// Synchronous calls on a port can only be cancelled while they are pending: a call the receive
// thread makes just after a single cancellation (between its check of the stop request and the
// call) would block again. So the cancellation is repeated until the process ends, a moment
// later, which costs one wake-up every kCancelRepeatMs for that moment.
DWORD WINAPI CancelUntilProcessEnd(LPVOID port) {
    for (;;) {
        CancelIoEx(static_cast<HANDLE>(port), nullptr);
        Sleep(kCancelRepeatMs);
    }
}

}  // namespace

BOOL CancelPortWait(HANDLE port) {
    // Calls on an invalid handle fail at once on Windows: nothing can be waiting on it.
    if (port == INVALID_HANDLE_VALUE || port == nullptr) {
        return TRUE;
    }
    // Wakes a WaitCommEvent or ReadFile pending on the port in any thread of the process.
    CancelIoEx(port, nullptr);
    HANDLE canceller = CreateThread(nullptr, 0, CancelUntilProcessEnd, port, 0, nullptr);
    if (canceller == nullptr) {
        return FALSE;
    }
    CloseHandle(canceller);
    return TRUE;
}
