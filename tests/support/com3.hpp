// Opens "COM3" the way the window does, with `device` behind it: SATLOG_COM3 names the device (a
// pseudo-terminal's path, "scripted:<name>" for a registered scripted device, or any path) for
// this one open only. INVALID_HANDLE_VALUE when the open fails; its cause is on standard error.
#pragma once

#include <stdlib.h>

#include <string>

#include "platform/serial/win32_comm.hpp"

inline HANDLE OpenCom3(const std::string& device) {
    setenv("SATLOG_COM3", device.c_str(), 1);
    const HANDLE port =
        CreateFileA("COM3", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    unsetenv("SATLOG_COM3");
    return port;
}
