// The cause of a failed CreateFileA in the system's own words, for the messages that name it.
#include "platform/serial/win32_comm.hpp"

std::string LastCreateFailureCause() {
    const DWORD error = GetLastError();
    if (error == ERROR_SUCCESS) {
        return {};
    }
    char text[512] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, text, sizeof text, nullptr);
    std::string cause(text, length);
    while (!cause.empty() &&
           (cause.back() == '\n' || cause.back() == '\r' || cause.back() == '.')) {
        cause.pop_back();  // the system's text ends in a full stop and a line break
    }
    return cause.empty() ? "error " + std::to_string(error) : cause;
}
