// The order in which the close path ends a call blocked on a port on Windows: the event mask
// first (it ends the idle line's WaitCommEvent without an error), then the waiting thread's
// call, then anything else pending on the handle.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/serial/port_call_cancel.hpp"

namespace {

class RecordingCancel final : public PortCallCancel {
  public:
    void ClearEventMask() override { calls.emplace_back("SetCommMask(port, 0)"); }
    void CancelWaiterCall() override { calls.emplace_back("CancelSynchronousIo(waiter)"); }
    void CancelPortCalls() override { calls.emplace_back("CancelIoEx(port)"); }
    std::vector<std::string> calls;
};

}  // namespace

TEST(PortCallCancel, EveryRoundClearsTheMaskThenCancelsTheThreadThenThePort) {
    RecordingCancel recording;
    CancelBlockedPortCall(recording);
    CancelBlockedPortCall(recording);  // the repeated rounds after a call made past the first
    const std::vector<std::string> round = {"SetCommMask(port, 0)", "CancelSynchronousIo(waiter)",
                                            "CancelIoEx(port)"};
    std::vector<std::string> twice = round;
    twice.insert(twice.end(), round.begin(), round.end());
    EXPECT_EQ(recording.calls, twice);
}
