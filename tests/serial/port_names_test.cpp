// Which device "COM3" names, and what a failed open tells the user.
#include <stdlib.h>

#include <gtest/gtest.h>

#include "platform/serial/port_names.hpp"
#include "platform/serial/win32_comm.hpp"
#include "tests/support/com3.hpp"

namespace {

using serial_detail::ComPortNumber;
using serial_detail::ComPortPath;

TEST(PortNames, ComNamesAndOtherNames) {
    EXPECT_EQ(ComPortNumber("COM3"), 3);
    EXPECT_EQ(ComPortNumber("com3"), 3);
    EXPECT_EQ(ComPortNumber("\\\\.\\COM12"), 12);
    EXPECT_FALSE(ComPortNumber("COM0"));
    EXPECT_FALSE(ComPortNumber("COM03"));
    EXPECT_FALSE(ComPortNumber("COM"));
    EXPECT_FALSE(ComPortNumber("COM3.txt"));
    EXPECT_FALSE(ComPortNumber("mavu0.txt"));
}

TEST(PortNames, Com3IsTheThirdSerialPortUnlessTheEnvironmentSaysOtherwise) {
    unsetenv("SATLOG_COM3");
    EXPECT_EQ(ComPortPath(3), "/dev/ttyS2");
    setenv("SATLOG_COM3", "/dev/ttyUSB0", 1);
    EXPECT_EQ(ComPortPath(3), "/dev/ttyUSB0");
    setenv("SATLOG_COM3", "", 1);
    EXPECT_EQ(ComPortPath(3), "/dev/ttyS2");
    unsetenv("SATLOG_COM3");
}

TEST(PortNames, AFailedOpenNamesTheDeviceAndTheCauseOnceOnStandardError) {
    testing::internal::CaptureStderr();
    const HANDLE port = OpenCom3("/nonexistent/ttyXYZ");
    const std::string message = testing::internal::GetCapturedStderr();
    EXPECT_EQ(port, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_NE(message.find("COM3"), std::string::npos) << message;
    EXPECT_NE(message.find("/nonexistent/ttyXYZ"), std::string::npos) << message;
    EXPECT_NE(message.find("missing"), std::string::npos) << message;
    EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;
}

TEST(PortNames, AFileThatIsNotASerialDeviceIsRefused) {
    testing::internal::CaptureStderr();
    const HANDLE port = OpenCom3("/dev/null");
    const std::string message = testing::internal::GetCapturedStderr();
    EXPECT_EQ(port, INVALID_HANDLE_VALUE);
    EXPECT_NE(message.find("not a serial device"), std::string::npos) << message;
}

}  // namespace
