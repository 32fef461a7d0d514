// The start-up of the line, call by call, with the status texts in between, and the handshake
// the line is left with after both passes.
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/port_and_log.hpp"
#include "tests/support/scripted_serial_device.hpp"

namespace {

namespace fs = std::filesystem;
using CallKind = ScriptedSerialDevice::CallKind;

// Status texts, each placed after the device calls made before it.
class TranscriptStatusLines : public StatusLines {
  public:
    explicit TranscriptStatusLines(const ScriptedSerialDevice& device) : device_(device) {}
    void SetStatusLine(StatusLine line, std::string_view text) override {
        texts.push_back({device_.Calls().size(),
                         "Label" + std::to_string(NumberOf(line)) + ": " + std::string(text)});
    }
    struct Text {
        std::size_t afterCalls;
        std::string text;
    };
    std::vector<Text> texts;

  private:
    const ScriptedSerialDevice& device_;
};

std::string Describe(const ScriptedSerialDevice::Call& call) {
    switch (call.kind) {
        case CallKind::GetState:
            return "GetCommState";
        case CallKind::SetState:
            return "SetCommState " + std::to_string(call.value);
        case CallKind::SetMask:
            return "SetCommMask " + std::to_string(call.value);
        case CallKind::Purge:
            return "PurgeComm " + std::to_string(call.value);
        default:
            return "other call";
    }
}

TEST(OpenPortAndLog, CallsInOrderWithTheirTextsAndTheDsrHandshakeAfterBothPasses) {
    const fs::path previous = fs::current_path();
    const fs::path directory =
        fs::temp_directory_path() / ("satlog-start-up-" + std::to_string(getpid()));
    fs::create_directories(directory);
    fs::current_path(directory);
    auto device = std::make_shared<ScriptedSerialDevice>();
    RegisterScriptedDevice("start-up", device);
    setenv("SATLOG_COM3", "scripted:start-up", 1);
    TranscriptStatusLines status(*device);
    OpenPortAndLog(status);
    unsetenv("SATLOG_COM3");

    std::vector<std::string> transcript;
    const auto calls = device->Calls();
    auto text = status.texts.begin();
    for (std::size_t i = 0; i <= calls.size(); ++i) {
        for (; text != status.texts.end() && text->afterCalls == i; ++text) {
            transcript.push_back(text->text);
        }
        if (i < calls.size()) {
            transcript.push_back(Describe(calls[i]));
        }
    }
    const std::vector<std::string> expected = {"Label1: COM3 Open",
                                               "GetCommState",
                                               "Label2: GetCommState Success",
                                               "SetCommState 9600",
                                               "Label2: SetCommState Success",
                                               "SetCommMask 509",  // 0x1FD
                                               "GetCommState",
                                               "SetCommState 19200",
                                               "PurgeComm 12"};  // both queues
    EXPECT_EQ(transcript, expected);

    DCB dcb{};
    ASSERT_TRUE(GetCommState(portHandle, &dcb));
    EXPECT_EQ(dcb.fOutxDsrFlow, 1u);
    EXPECT_EQ(dcb.fDsrSensitivity, 1u);
    EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_HANDSHAKE));
    EXPECT_TRUE(device->DtrRaised());

    CloseHandle(portHandle);
    CloseHandle(logHandle);
    portHandle = logHandle = INVALID_HANDLE_VALUE;
    UnregisterScriptedDevice("start-up");
    fs::current_path(previous);
    fs::remove_all(directory);
}

}  // namespace
