#include "app/port_and_log.hpp"

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "app/line_settings.hpp"
#include "receiver/line_events.hpp"

HANDLE portHandle = INVALID_HANDLE_VALUE;
HANDLE logHandle = INVALID_HANDLE_VALUE;

namespace {

constexpr const char* kPortName = "COM3";
constexpr const char* kLogName = "mavu0.txt";

// The working directory as an absolute path, also when it has been deleted under the program
// (the system then still knows where it was, and says that it is gone).
std::string WorkingDirectoryText() {
    std::error_code error;
    const std::filesystem::path directory = std::filesystem::current_path(error);
    if (!error) {
        return directory.string();
    }
    std::error_code ignored;
    const std::filesystem::path remembered =
        std::filesystem::read_symlink("/proc/self/cwd", ignored);
    if (!ignored && !remembered.empty()) {
        return remembered.string();
    }
    return "the working directory (" + error.message() + ")";
}

// The log is the record of the session: the user must learn at once that none is being kept,
// and why, in the operating system's words.
void ReportLogCreateError(StatusLines& status, const std::string& cause) {
    status.SetStatusLine(StatusLine::Count, "mavu0.txt Create Error");
    std::fprintf(stderr, "satlog: cannot create %s in %s: %s; nothing is logged\n", kLogName,
                 WorkingDirectoryText().c_str(), cause.c_str());
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
    const std::string logError =
        logHandle == INVALID_HANDLE_VALUE ? LastCreateFailureCause() : std::string();

    status.SetStatusLine(StatusLine::Header,
                         portHandle == INVALID_HANDLE_VALUE ? "COM3 Open Error" : "COM3 Open");
    if (logHandle == INVALID_HANDLE_VALUE) {
        ReportLogCreateError(status, logError);
    }

    status.SetStatusLine(StatusLine::Outcome, GetCommState(portHandle, &dcb) != 0
                                                  ? "GetCommState Success"
                                                  : "GetCommState Error");
    ApplyFirstPassSettings(dcb);
    status.SetStatusLine(StatusLine::Outcome, SetCommState(portHandle, &dcb) != 0
                                                  ? "SetCommState Success"
                                                  : "SetCommState Error");

    SetCommMask(portHandle, kLineEvents);

    GetCommState(portHandle, &dcb);
    dcb.BaudRate = kFinalBaudRate;
    SetCommState(portHandle, &dcb);

    PurgeComm(portHandle, PURGE_TXCLEAR | PURGE_RXCLEAR);
}
