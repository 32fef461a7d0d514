#include "app/port_and_log.hpp"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/line_settings.hpp"

HANDLE portHandle = INVALID_HANDLE_VALUE;
HANDLE logHandle = INVALID_HANDLE_VALUE;

namespace {

constexpr const char* kPortName = "COM3";
constexpr const char* kLogName = "mavu0.txt";

const char* DescribeCreateError(DWORD error) {
    switch (error) {
        case ERROR_ACCESS_DENIED:
            return "permission denied, or the name is taken by a directory";
        case ERROR_FILE_NOT_FOUND:
            return "the working directory does not exist";
        case ERROR_SHARING_VIOLATION:
            return "another program is writing it";
        default:
            return "the file system refused it";
    }
}

// The log is the record of the session: the user must learn at once that none is being kept.
void ReportLogCreateError(StatusLines& status, DWORD error) {
    status.SetStatusLine(3, "mavu0.txt Create Error");
    std::error_code ignored;
    std::filesystem::path directory = std::filesystem::current_path(ignored);
    std::fprintf(stderr, "satlog: cannot create %s in %s: %s (error %u); nothing is logged\n",
                 kLogName, directory.string().c_str(), DescribeCreateError(error),
                 static_cast<unsigned>(error));
}

}  // namespace

void OpenPortAndLog(StatusLines& status) {
    // Zeroed so that a failed first read hands the driver defined values, not stack leftovers.
    DCB dcb{};

    // The port's own failure (device missing, busy, no permission) is written to standard
    // error by CreateFileA, naming the device.
    portHandle =
        CreateFileA(kPortName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    logHandle =
        CreateFileA(kLogName, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    const DWORD logError = logHandle == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;

    status.SetStatusLine(1, portHandle == INVALID_HANDLE_VALUE ? "COM3 Open Error" : "COM3 Open");
    if (logHandle == INVALID_HANDLE_VALUE) {
        ReportLogCreateError(status, logError);
    }

    status.SetStatusLine(
        2, GetCommState(portHandle, &dcb) != 0 ? "GetCommState Success" : "GetCommState Error");
    ApplyFirstPassSettings(dcb);
    status.SetStatusLine(
        2, SetCommState(portHandle, &dcb) != 0 ? "SetCommState Success" : "SetCommState Error");

    SetCommMask(portHandle, kLineEvents);

    GetCommState(portHandle, &dcb);
    dcb.BaudRate = kFinalBaudRate;
    SetCommState(portHandle, &dcb);

    PurgeComm(portHandle, PURGE_TXCLEAR | PURGE_RXCLEAR);
}
