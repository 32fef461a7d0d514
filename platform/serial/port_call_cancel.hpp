// Ending a call blocked on a serial port opened for synchronous I/O, as the close path does on
// Windows. No single call is enough everywhere (Wine, for one, ignores CancelIoEx on such a
// port), so every documented way is used, each covering what the one before may miss:
//   SetCommMask(port, 0)   a pending WaitCommEvent returns at once: the idle line's wait, the
//                          usual place of the receive thread at close;
//   CancelSynchronousIo    cancels the blocking call of the thread that waits on the port: a
//                          ReadFile inside a record, or a wait the driver did not end;
//   CancelIoEx(port)       cancels whatever else is pending on the port's handle.
// The order is kept apart from the Windows calls so that it holds on every platform's build.
#pragma once

class PortCallCancel {
  public:
    virtual ~PortCallCancel() = default;
    virtual void ClearEventMask() = 0;    // SetCommMask(port, 0)
    virtual void CancelWaiterCall() = 0;  // CancelSynchronousIo(the waiting thread)
    virtual void CancelPortCalls() = 0;   // CancelIoEx(port, nullptr)
};

// One round of all three, in the order above.
void CancelBlockedPortCall(PortCallCancel& calls);
