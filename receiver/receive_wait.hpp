// The receive thread's wait for line events.
#pragma once

#include "platform/serial/win32_comm.hpp"
#include "receiver/receive_state.hpp"

// Waits for the next line event and stores the reported set in the state's event mask. A wait
// that fails (a port that never opened, or one that went away) reports no event and returns
// only after a pause: on Windows such a call fails at once, and neither the configuration waits
// nor the listen loop may spin on it.
void WaitForLineEvent(HANDLE portHandle, ReceiveState& state);
