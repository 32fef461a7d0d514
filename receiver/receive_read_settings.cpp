#include "receiver/receive_read_settings.hpp"

namespace {

void SetReadFields(HANDLE portHandle, ReceiveState& state, DWORD interval) {
    GetCommTimeouts(portHandle, &state.timeouts);
    state.timeouts.ReadIntervalTimeout = interval;
    state.timeouts.ReadTotalTimeoutMultiplier = 0;
    state.timeouts.ReadTotalTimeoutConstant = 0;
    SetCommTimeouts(portHandle, &state.timeouts);
}

}  // namespace

void UseImmediateReads(HANDLE portHandle, ReceiveState& state) {
    SetReadFields(portHandle, state, MAXDWORD);
}

void UseRecordReads(HANDLE portHandle, ReceiveState& state) {
    SetReadFields(portHandle, state, kRecordByteGapMs);
}
