#include "receiver/receive_wait.hpp"

#include <chrono>
#include <thread>

namespace {
constexpr std::chrono::milliseconds kPauseAfterFailedWait{100};
}

void WaitForLineEvent(HANDLE portHandle, ReceiveState& state) {
    if (WaitCommEvent(portHandle, &state.eventMask, nullptr) == 0) {
        state.eventMask = 0;
        if (!state.StopRequested()) {
            std::this_thread::sleep_for(kPauseAfterFailedWait);
        }
    }
}
