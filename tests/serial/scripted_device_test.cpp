// The scripted device: selected through SATLOG_COM3, timed on its virtual clock.
#include <stdlib.h>

#include <chrono>

#include <gtest/gtest.h>

#include "platform/serial/win32_comm.hpp"
#include "tests/support/com3.hpp"
#include "tests/support/scripted_serial_device.hpp"

namespace {

using namespace std::chrono_literals;

TEST(ScriptedDevice, IsSelectedByNameAndOpenedOnceAtATime) {
    auto device = std::make_shared<ScriptedSerialDevice>();
    RegisterScriptedDevice("receiver", device);
    const HANDLE port = OpenCom3("scripted:receiver");
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(device->IsOpen());

    testing::internal::CaptureStderr();
    EXPECT_EQ(OpenCom3("scripted:receiver"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(OpenCom3("scripted:nobody"), INVALID_HANDLE_VALUE);
    const std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_NE(messages.find("busy"), std::string::npos) << messages;
    EXPECT_NE(messages.find("scripted:nobody"), std::string::npos) << messages;

    CloseHandle(port);
    EXPECT_FALSE(device->IsOpen());
    UnregisterScriptedDevice("receiver");
}

TEST(ScriptedDevice, GapsEndTimedReadsOnTheVirtualClockWithoutRealWaiting) {
    ScriptedSerialDevice device;
    const HANDLE port = device.Open();
    COMMTIMEOUTS record{50, 0, 0, 0, 0};
    ASSERT_TRUE(SetCommTimeouts(port, &record));
    // Two quiet stretches of 30 ms add up to a gap of 60 ms.
    device.Send("abc").Pause(30ms).Send("d").Pause(30ms).Pause(30ms).Send("efg");
    char buffer[16];
    DWORD n = 0;
    const auto realStart = std::chrono::steady_clock::now();
    ASSERT_TRUE(ReadFile(port, buffer, sizeof buffer, &n, nullptr));
    EXPECT_EQ(std::string(buffer, n), "abcd");
    EXPECT_EQ(device.Now(), 80ms) << "the read ended 50 ms after the last byte";
    ASSERT_TRUE(ReadFile(port, buffer, 3, &n, nullptr));
    EXPECT_EQ(std::string(buffer, n), "efg");
    EXPECT_EQ(device.Now(), 90ms) << "the rest of the gap came before the next bytes";
    EXPECT_LT(std::chrono::steady_clock::now() - realStart, 50ms);

    // A total time-out with nothing to come.
    COMMTIMEOUTS total{0, 0, 200, 0, 0};
    ASSERT_TRUE(SetCommTimeouts(port, &total));
    ASSERT_TRUE(ReadFile(port, buffer, 1, &n, nullptr));
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(device.Now(), 290ms);
    CloseHandle(port);
}

TEST(ScriptedDevice, LineEventsFollowTheScriptAndTheWrites) {
    ScriptedSerialDevice device;
    const HANDLE port = device.Open();
    ASSERT_TRUE(SetCommMask(port, EV_RXCHAR | EV_TXEMPTY | EV_RING));
    device.Signal(EV_RING | EV_DSR).AwaitWrite().Send("ok");
    DWORD events = 0;
    ASSERT_TRUE(WaitCommEvent(port, &events, nullptr));
    EXPECT_EQ(events, EV_RING) << "EV_DSR is not enabled";
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(port, "cmd", 3, &written, nullptr));
    ASSERT_TRUE(WaitCommEvent(port, &events, nullptr));
    EXPECT_EQ(events, EV_TXEMPTY);
    ASSERT_TRUE(WaitCommEvent(port, &events, nullptr));
    EXPECT_EQ(events, EV_RXCHAR);
    ASSERT_TRUE(PurgeComm(port, PURGE_RXCLEAR));
    EXPECT_EQ(device.BytesPurged(), 2u);
    EXPECT_TRUE(device.WaitUntilIdle(0ms) == false) << "nobody waits yet";
    CloseHandle(port);
}

}  // namespace
