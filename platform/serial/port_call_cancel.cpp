#include "platform/serial/port_call_cancel.hpp"

void CancelBlockedPortCall(PortCallCancel& calls) {
    calls.ClearEventMask();
    calls.CancelWaiterCall();
    calls.CancelPortCalls();
}
