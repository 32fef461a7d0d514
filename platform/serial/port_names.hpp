// Which device a Win32 port name stands for. "COM3" is the third serial port, /dev/ttyS2, unless
// the environment variable SATLOG_COM3 names another device (a USB adapter such as /dev/ttyUSB0,
// a pseudo-terminal, or "scripted:<name>" for a scripted device registered by a test).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace serial_detail {

inline constexpr std::string_view kScriptedPrefix = "scripted:";

// n for "COMn" or "\\.\COMn" (any letter case, n from 1 to 256); nothing for any other name.
std::optional<int> ComPortNumber(std::string_view name);

// The device path of port n: $SATLOG_COMn when set and not empty, else /dev/ttyS<n-1>.
std::string ComPortPath(int number);

}  // namespace serial_detail
