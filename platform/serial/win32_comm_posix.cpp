// The Win32 surface over POSIX: every call finds the object behind its handle and forwards to it.
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/serial/comm_object.hpp"
#include "platform/serial/dsr_handshake.hpp"
#include "platform/serial/file_object.hpp"
#include "platform/serial/invalid_handle_wait.hpp"
#include "platform/serial/port_names.hpp"
#include "platform/serial/scripted_port_opener.hpp"
#include "platform/serial/tty_port.hpp"
#include "platform/serial/win32_comm.hpp"

namespace serial_detail {
namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
thread_local std::string lastCreateFailure;
std::atomic<ScriptedPortOpener> scriptedPortOpener{nullptr};
}  // namespace

void InstallScriptedPortOpener(ScriptedPortOpener opener) {
    scriptedPortOpener.store(opener);
}

void SetLastErrorCode(DWORD code) {
    lastError = code;
}

CommObject::~CommObject() {
    magic = 0;
}

BOOL CommObject::GetState(DCB&) {
    return SetLastErrorCode(kErrorInvalidFunction), 0;
}
BOOL CommObject::SetState(const DCB&) {
    return SetLastErrorCode(kErrorInvalidFunction), 0;
}
BOOL CommObject::SetMask(DWORD) {
    return SetLastErrorCode(kErrorInvalidFunction), 0;
}
BOOL CommObject::GetMask(DWORD&) {
    return SetLastErrorCode(kErrorInvalidFunction), 0;
}
// A wait on something that is not a port sleeps before it fails, as on an invalid handle, so
// that a caller that retries cannot spin on it.
BOOL CommObject::WaitEvent(DWORD&) {
    SleepOnInvalidHandle();
    SetLastErrorCode(kErrorInvalidFunction);
    return 0;
}
BOOL CommObject::Purge(DWORD) {
    return SetLastErrorCode(kErrorInvalidFunction), 0;
}
BOOL CommObject::GetTimeouts(COMMTIMEOUTS&) {
    return SetLastErrorCode(kErrorInvalidFunction), 0;
}
BOOL CommObject::SetTimeouts(const COMMTIMEOUTS&) {
    return SetLastErrorCode(kErrorInvalidFunction), 0;
}
BOOL CommObject::Cancel() {
    return SetLastErrorCode(kErrorInvalidFunction), 0;
}
bool CommObject::ModemLines(DWORD&) {
    return false;
}
bool CommObject::WaitForModemChange(std::chrono::milliseconds) {
    return false;
}
void CommObject::SetDtr(bool) {}

CommObject* ObjectOf(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        SetLastErrorCode(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    auto* object = static_cast<CommObject*>(handle);
    if (object->magic != CommObject::kMagic) {
        SetLastErrorCode(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return object;
}

namespace {

HANDLE OpenPort(std::string_view name, int number, DWORD disposition) {
    const std::string path = ComPortPath(number);
    OpenFailure failure;
    CommObject* port = nullptr;
    if (disposition != OPEN_EXISTING) {
        failure = {ERROR_INVALID_PARAMETER, "a serial port can only be opened as existing"};
    } else if (path.starts_with(kScriptedPrefix)) {
        if (const ScriptedPortOpener opener = scriptedPortOpener.load()) {
            port = opener(path.substr(kScriptedPrefix.size()), failure);
        } else {
            failure = {ERROR_FILE_NOT_FOUND,
                       "missing: scripted devices exist only in test programs"};
        }
    } else {
        port = TtyPort::Open(path, failure);
    }
    if (port == nullptr) {
        std::fprintf(stderr, "satlog: cannot open %.*s (%s): %s\n", static_cast<int>(name.size()),
                     name.data(), path.c_str(), failure.cause.c_str());
        SetLastErrorCode(failure.error);
        lastCreateFailure = failure.cause;
        return INVALID_HANDLE_VALUE;
    }
    return HandleOf(new DsrHandshake(port, std::string(name) + " (" + path + ")"));
}

}  // namespace
}  // namespace serial_detail

using namespace serial_detail;

HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition, DWORD, HANDLE) {
    lastCreateFailure.clear();
    if (lpFileName == nullptr || *lpFileName == '\0') {
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        lastCreateFailure = "no file name";
        return INVALID_HANDLE_VALUE;
    }
    if (const auto number = ComPortNumber(lpFileName)) {
        return OpenPort(lpFileName, *number, dwCreationDisposition);
    }
    OpenFailure failure;
    CommObject* file =
        FileObject::Open(lpFileName, dwDesiredAccess, dwShareMode, dwCreationDisposition, failure);
    if (file == nullptr) {
        SetLastErrorCode(failure.error);
        lastCreateFailure = failure.cause;
        return INVALID_HANDLE_VALUE;
    }
    return HandleOf(file);
}

BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
              LPDWORD lpNumberOfBytesRead, LPOVERLAPPED) {
    DWORD transferred = 0;
    BOOL ok = 0;
    if (hFile == INVALID_HANDLE_VALUE) {
        SleepOnInvalidHandle();
        SetLastErrorCode(ERROR_INVALID_HANDLE);
    } else if (CommObject* object = ObjectOf(hFile)) {
        if (lpBuffer == nullptr && nNumberOfBytesToRead > 0) {
            SetLastErrorCode(ERROR_INVALID_PARAMETER);
        } else {
            ok = object->Read(lpBuffer, nNumberOfBytesToRead, transferred);
        }
    }
    if (lpNumberOfBytesRead != nullptr) {
        *lpNumberOfBytesRead = transferred;
    }
    return ok;
}

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED) {
    DWORD transferred = 0;
    BOOL ok = 0;
    if (CommObject* object = ObjectOf(hFile)) {
        if (lpBuffer == nullptr && nNumberOfBytesToWrite > 0) {
            SetLastErrorCode(ERROR_INVALID_PARAMETER);
        } else {
            ok = object->Write(lpBuffer, nNumberOfBytesToWrite, transferred);
        }
    }
    if (lpNumberOfBytesWritten != nullptr) {
        *lpNumberOfBytesWritten = transferred;
    }
    return ok;
}

BOOL GetCommState(HANDLE hFile, LPDCB lpDCB) {
    CommObject* object = ObjectOf(hFile);
    if (object == nullptr || lpDCB == nullptr) {
        return 0;
    }
    return object->GetState(*lpDCB);
}

BOOL SetCommState(HANDLE hFile, LPDCB lpDCB) {
    CommObject* object = ObjectOf(hFile);
    if (object == nullptr || lpDCB == nullptr) {
        return 0;
    }
    return object->SetState(*lpDCB);
}

BOOL SetCommMask(HANDLE hFile, DWORD dwEvtMask) {
    CommObject* object = ObjectOf(hFile);
    return object != nullptr ? object->SetMask(dwEvtMask) : 0;
}

BOOL GetCommMask(HANDLE hFile, LPDWORD lpEvtMask) {
    CommObject* object = ObjectOf(hFile);
    if (object == nullptr || lpEvtMask == nullptr) {
        return 0;
    }
    return object->GetMask(*lpEvtMask);
}

BOOL WaitCommEvent(HANDLE hFile, LPDWORD lpEvtMask, LPOVERLAPPED) {
    DWORD events = 0;
    BOOL ok = 0;
    if (hFile == INVALID_HANDLE_VALUE) {
        SleepOnInvalidHandle();
        SetLastErrorCode(ERROR_INVALID_HANDLE);
    } else if (CommObject* object = ObjectOf(hFile)) {
        ok = object->WaitEvent(events);
    }
    if (lpEvtMask != nullptr) {
        *lpEvtMask = events;
    }
    return ok;
}

BOOL PurgeComm(HANDLE hFile, DWORD dwFlags) {
    CommObject* object = ObjectOf(hFile);
    return object != nullptr ? object->Purge(dwFlags) : 0;
}

BOOL GetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts) {
    CommObject* object = ObjectOf(hFile);
    if (object == nullptr || lpCommTimeouts == nullptr) {
        return 0;
    }
    return object->GetTimeouts(*lpCommTimeouts);
}

BOOL SetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts) {
    CommObject* object = ObjectOf(hFile);
    if (object == nullptr || lpCommTimeouts == nullptr) {
        return 0;
    }
    return object->SetTimeouts(*lpCommTimeouts);
}

BOOL CloseHandle(HANDLE hObject) {
    CommObject* object = ObjectOf(hObject);
    if (object == nullptr) {
        return 0;
    }
    delete object;
    return 1;
}

DWORD GetLastError() {
    return lastError;
}

BOOL CancelPortWait(HANDLE port) {
    if (port == INVALID_HANDLE_VALUE) {
        WakeInvalidHandleSleepers();
        return 1;
    }
    CommObject* object = ObjectOf(port);
    return object != nullptr ? object->Cancel() : 0;
}

std::string LastCreateFailureCause() {
    return lastCreateFailure;
}

BOOL RegisterPortWaiter(HANDLE /*port*/) {
    return 1;  // CancelPortWait reaches every thread's call on a port here
}
