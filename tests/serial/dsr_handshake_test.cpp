// The DSR/DTR handshake the line set-up asks for, on a device that reports its modem lines.
#include <stdlib.h>

#include <chrono>
#include <string>

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
