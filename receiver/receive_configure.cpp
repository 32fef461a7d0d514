// The configuration sequence: immediate reads, then the receiver's four commands.
#include <string_view>

#include "receiver/receive_read_settings.hpp"
#include "receiver/receive_thread.hpp"
#include "receiver/receive_wait.hpp"

namespace {

// Recording interval 1 s, elevation mask 15 degrees, clear port A's outputs, then ephemerides,
// positions and measurements in binary form on port A.
constexpr std::string_view kCommands[] = {
    "$PASHS,RCI,1\r\n",
    "$PASHS,ELM,15\r\n",
    "$PASHS,OUT,A\r\n",
    "$PASHS,OUT,A,SNV,PBN,MBN,BIN\r\n",
};

void SendCommand(HANDLE portHandle, std::string_view command, ReceiveState& state) {
    WriteFile(portHandle, command.data(), static_cast<DWORD>(command.size()), &state.transferCount,
              nullptr);
}

// Until the receiver has sent something back. A report without received characters (the
// transmitter running empty after the command, a modem line) only leads to the next wait. On a
// port that failed or hung up the platform's wait sleeps before it fails, so this never spins.
// False when the thread is asked to stop.
bool WaitForAnswer(HANDLE portHandle, ReceiveState& state) {
    state.eventMask = 0;
    while ((state.eventMask & EV_RXCHAR) == 0) {
        if (state.StopRequested()) {
            return false;
        }
        WaitForLineEvent(portHandle, state);
    }
    return true;
}

}  // namespace

void ConfigureReceiver(HANDLE portHandle, ReceiveState& state) {
    UseImmediateReads(portHandle, state);
    for (int i = 0; i < 3; ++i) {
        // What the receiver said to the previous command is of no interest.
        PurgeComm(portHandle, PURGE_TXCLEAR | PURGE_RXCLEAR);
        SendCommand(portHandle, kCommands[i], state);
        if (!WaitForAnswer(portHandle, state)) {
            return;
        }
    }
    // No purge and no wait: the answer to this one is the records themselves.
    SendCommand(portHandle, kCommands[3], state);
}
