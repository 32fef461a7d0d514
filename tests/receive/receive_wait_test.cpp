// The wait for line events never lets a failing port make the receive thread spin.
#include <chrono>
#include <cstdlib>

#include <gtest/gtest.h>

#include "receiver/receive_wait.hpp"
#include "tests/support/com3.hpp"
#include "tests/support/pseudo_terminal.hpp"

namespace {

using namespace std::chrono_literals;

TEST(WaitForLineEvent, AFailingWaitReportsNothingAndPausesUnlessStopping) {
    PseudoTerminal peer;
    HANDLE port = OpenCom3(peer.Path());
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    ASSERT_NE(SetCommMask(port, EV_RXCHAR), 0);
    // A cancelled port fails every wait at once, as a Windows port that went away does.
    ASSERT_NE(CancelPortWait(port), 0);
    DWORD mask = 0;
    ASSERT_EQ(WaitCommEvent(port, &mask, nullptr), 0);

    ReceiveState state;
    std::atomic<bool> stop{false};
    state.stop = &stop;
    state.eventMask = EV_RXCHAR | EV_CTS;  // left over from an earlier wait
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 5; ++i) {
        WaitForLineEvent(port, state);
        EXPECT_EQ(state.eventMask, 0u);
    }
    EXPECT_GE(std::chrono::steady_clock::now() - start, 450ms);  // five pauses, no spinning

    stop = true;
    const auto stopping = std::chrono::steady_clock::now();
    WaitForLineEvent(port, state);
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, 50ms);
    CloseHandle(port);
}

}  // namespace
