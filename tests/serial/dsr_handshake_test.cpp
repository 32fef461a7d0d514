// The DSR/DTR handshake the line set-up asks for, on a device that reports its modem lines.
#include <stdlib.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/serial/win32_comm.hpp"
#include "tests/support/com3.hpp"
#include "tests/support/scripted_serial_device.hpp"

namespace {

using namespace std::chrono_literals;

// COM3 on a scripted device, with the handshake the window sets up.
class DsrHandshakeTest : public testing::Test {
  protected:
    void SetUp() override {
        RegisterScriptedDevice("dsr", device_);
        port_ = OpenCom3("scripted:dsr");
        ASSERT_NE(port_, INVALID_HANDLE_VALUE);
        DCB dcb{};
        GetCommState(port_, &dcb);
        dcb.fOutxDsrFlow = 1;
        dcb.fDsrSensitivity = 1;
        dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
        ASSERT_TRUE(SetCommState(port_, &dcb));
        ASSERT_TRUE(SetCommMask(port_, EV_RXCHAR | EV_DSR));
        COMMTIMEOUTS immediate{MAXDWORD, 0, 0, 0, 0};
        ASSERT_TRUE(SetCommTimeouts(port_, &immediate));
    }
    void TearDown() override {
        CloseHandle(port_);
        UnregisterScriptedDevice("dsr");
    }

    std::shared_ptr<ScriptedSerialDevice> device_ = std::make_shared<ScriptedSerialDevice>();
    HANDLE port_ = INVALID_HANDLE_VALUE;
};

TEST_F(DsrHandshakeTest, DtrIsRaisedAndWritesWaitForDsr) {
    EXPECT_TRUE(device_->DtrRaised());
    device_->Dsr(false).Pause(200ms).Dsr(true);
    DWORD events = 0;
    ASSERT_TRUE(WaitCommEvent(port_, &events, nullptr));  // DSR has fallen
    EXPECT_EQ(events, static_cast<DWORD>(EV_DSR));
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(port_, "$PASHS,RCI,1\r\n", 14, &written, nullptr));
    EXPECT_EQ(written, 14u);
    EXPECT_EQ(device_->BytesWrittenWhileDsrOff(), 0u);
    EXPECT_GE(device_->Now(), 200ms) << "the command went out while DSR was off";
}

// DSR sensitivity judges each byte by DSR when it arrives, as the driver does, not when it is read.
TEST_F(DsrHandshakeTest, ReceivedBytesAreJudgedByDsrWhenTheyArriveNotWhenTheyAreRead) {
    char buffer[16];
    DWORD read = 0;
    const auto text = [&] { return std::string(buffer, read); };

    // Bytes that came while DSR was on are still there when a read finds it off.
    ASSERT_TRUE(SetCommMask(port_, EV_DSR));
    device_->Dsr(true).Send("kept").Dsr(false);
    DWORD events = 0;
    ASSERT_TRUE(WaitCommEvent(port_, &events, nullptr));  // on
    ASSERT_TRUE(WaitCommEvent(port_, &events, nullptr));  // off, after the bytes
    ASSERT_TRUE(ReadFile(port_, buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ(text(), "kept");

    // DSR falls during a record read: the bytes before the fall are read, those after dropped.
    COMMTIMEOUTS record{50, 0, 0, 0, 0};
    ASSERT_TRUE(SetCommTimeouts(port_, &record));
    device_->Dsr(true).Send("abc").Dsr(false).Send("xyz").Pause(100ms);
    ASSERT_TRUE(ReadFile(port_, buffer, 10, &read, nullptr));
    EXPECT_EQ(text(), "abc");

    // A record read that starts with DSR off waits for bytes that come once it is on.
    device_->Send("noise").Pause(1s).Dsr(true).Send("12345");
    ASSERT_TRUE(ReadFile(port_, buffer, 5, &read, nullptr));
    EXPECT_EQ(text(), "12345");
    EXPECT_EQ(device_->BytesDroppedWhileDsrOff(), 8u);  // "xyz" and "noise"
}

// The settings hold writes while DSR is off, for ever on a cable without DSR: the user hears why.
TEST_F(DsrHandshakeTest, AWriteHeldByDsrSaysOnceWhatThatMeansForTheCable) {
    device_->Dsr(false);
    DWORD events = 0;
    ASSERT_TRUE(WaitCommEvent(port_, &events, nullptr));  // DSR is off, and stays off
    ::testing::internal::CaptureStderr();
    auto write = std::async(std::launch::async, [&] {
        DWORD written = 0;
        return WriteFile(port_, "$PASHS,RCI,1\r\n", 14, &written, nullptr) != 0 || written != 0;
    });
    EXPECT_EQ(write.wait_for(3700ms), std::future_status::timeout) << "held (the notice: at 3 s)";
    CancelPortWait(port_);
    EXPECT_FALSE(write.get()) << "a cancelled write fails, with nothing sent";
    const std::string errors = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(device_->Written().empty());
    const std::string notice = "satlog: COM3 (scripted:dsr): DSR has been off for 3 s";
    EXPECT_EQ(errors.find(notice), 0u) << errors;
    EXPECT_EQ(errors.find(notice, 1), std::string::npos) << "said once: " << errors;
    EXPECT_NE(errors.find("3-wire cable"), std::string::npos) << errors;
}

TEST_F(DsrHandshakeTest, BytesReceivedWhileDsrIsOffAreDiscarded) {
    device_->Dsr(false).Send("lost").Dsr(true).Send("kept");
    std::string received;
    for (int wait = 0; wait < 8 && received.size() < 4; ++wait) {
        DWORD events = 0;
        ASSERT_TRUE(WaitCommEvent(port_, &events, nullptr));
        char buffer[16];
        DWORD read = 0;
        ASSERT_TRUE(ReadFile(port_, buffer, sizeof buffer, &read, nullptr));
        received.append(buffer, read);
    }
    EXPECT_EQ(received, "kept");
}

}  // namespace
