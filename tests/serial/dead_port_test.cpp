// A port that hung up, an invalid handle and a silent port: calls block or sleep, never spin.
#include <time.h>

#include <chrono>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "platform/serial/win32_comm.hpp"
#include "receiver/line_events.hpp"
#include "tests/support/com3.hpp"
#include "tests/support/pseudo_terminal.hpp"
#include "tests/support/thread_cpu.hpp"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Calls `call` again and again for `span`, as a receive loop that ignores failures does; returns
// the CPU time it took.
template <typename Call>
double CpuMsOfRetrying(std::chrono::milliseconds span, Call call) {
    const double before = ThreadCpuMs();
    const auto until = Clock::now() + span;
    while (Clock::now() < until) {
        call();
    }
    return ThreadCpuMs() - before;
}

TEST(DeadPort, AHungUpPortFailsAndRetryingItCostsNoCpu) {
    PseudoTerminal peer;
    const HANDLE port = OpenCom3(peer.Path());
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(SetCommMask(port, kLineEvents));
    peer.HangUp();

    DWORD events = 0;
    EXPECT_FALSE(WaitCommEvent(port, &events, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);

    COMMTIMEOUTS immediate{MAXDWORD, 0, 0, 0, 0};
    ASSERT_TRUE(SetCommTimeouts(port, &immediate));
    int calls = 0;
    const double cpu = CpuMsOfRetrying(2500ms, [&] {
        DWORD ev = 0;
        char byte = 0;
        DWORD n = 0;
        ++calls;
        EXPECT_FALSE(WaitCommEvent(port, &ev, nullptr));
        EXPECT_FALSE(ReadFile(port, &byte, 1, &n, nullptr));
    });
    EXPECT_LE(calls, 3) << "each call on the dead port sleeps";
    EXPECT_LT(cpu, 12.5) << "0.5 % of 2.5 s";

    // The window's shutdown still wakes a sleeping call promptly.
    auto wait = std::async(std::launch::async, [&] {
        DWORD ev = 0;
        return WaitCommEvent(port, &ev, nullptr);
    });
    std::this_thread::sleep_for(50ms);
    const auto start = Clock::now();
    CancelPortWait(port);
    EXPECT_FALSE(wait.get());
    EXPECT_LT(Clock::now() - start, 100ms);
    CloseHandle(port);
}

TEST(DeadPort, CallsOnAnInvalidHandleSleepAndCancelPortWaitWakesThem) {
    int calls = 0;
    const double cpu = CpuMsOfRetrying(1000ms, [&] {
        DWORD events = 0;
        char byte = 0;
        DWORD n = 0;
        ++calls;
        EXPECT_FALSE(WaitCommEvent(INVALID_HANDLE_VALUE, &events, nullptr));
        EXPECT_FALSE(ReadFile(INVALID_HANDLE_VALUE, &byte, 1, &n, nullptr));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    });
    EXPECT_LE(calls, 4);
    EXPECT_LT(cpu, 5.0);

    auto wait = std::async(std::launch::async, [] {
        DWORD events = 0;
        return WaitCommEvent(INVALID_HANDLE_VALUE, &events, nullptr);
    });
    std::this_thread::sleep_for(20ms);
    const auto start = Clock::now();
    CancelPortWait(INVALID_HANDLE_VALUE);
    EXPECT_FALSE(wait.get());
    EXPECT_LT(Clock::now() - start, 100ms);
}

TEST(DeadPort, ASilentOpenPortBlocksWithoutCpu) {
    PseudoTerminal peer;
    const HANDLE port = OpenCom3(peer.Path());
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(SetCommMask(port, kLineEvents));
    std::atomic<double> cpu{-1};
    std::thread waiter([&] {
        const double before = ThreadCpuMs();
        DWORD events = 0;
        WaitCommEvent(port, &events, nullptr);
        cpu = ThreadCpuMs() - before;
    });
    std::this_thread::sleep_for(1s);
    CancelPortWait(port);
    waiter.join();
    EXPECT_GE(cpu.load(), 0.0);
    EXPECT_LT(cpu.load(), 5.0);
    CloseHandle(port);
}

}  // namespace
