#include <windows.h>

#include <filesystem>

#include "tools/dump/log_change_wait.hpp"

namespace {

// NTFS reports a file's growth to a directory notification only when the size reaches the
// directory entry, which may be late: the log is looked at this often in any case.
constexpr std::chrono::milliseconds kLookAtLeastEvery{250};

}  // namespace

LogChangeWait::LogChangeWait() {
    stopEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

LogChangeWait::~LogChangeWait() {
    if (change_ != nullptr) {
        FindCloseChangeNotification(static_cast<HANDLE>(change_));
    }
    if (stopEvent_ != nullptr) {
        CloseHandle(static_cast<HANDLE>(stopEvent_));
    }
}

void LogChangeWait::Watch(const std::string& path) {
    if (change_ != nullptr) {
        FindCloseChangeNotification(static_cast<HANDLE>(change_));
        change_ = nullptr;
    }
    std::filesystem::path directory = std::filesystem::path(path).parent_path();
    if (directory.empty()) {
        directory = ".";
    }
    HANDLE change = FindFirstChangeNotificationA(
        directory.string().c_str(), FALSE,
        FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE);
    change_ = change == INVALID_HANDLE_VALUE ? nullptr : change;
}

LogChangeWait::Woken LogChangeWait::Wait(std::chrono::milliseconds timeout) {
    if (stop_.load()) {
        return Woken::Stop;
    }
    if (timeout > kLookAtLeastEvery) {
        timeout = kLookAtLeastEvery;
    }
    HANDLE handles[2] = {static_cast<HANDLE>(stopEvent_), static_cast<HANDLE>(change_)};
    const DWORD count = change_ != nullptr ? 2 : 1;
    const DWORD result =
        WaitForMultipleObjects(count, handles, FALSE, static_cast<DWORD>(timeout.count()));
    if (stop_.load()) {
        return Woken::Stop;
    }
    if (result == WAIT_OBJECT_0 + 1) {
        FindNextChangeNotification(static_cast<HANDLE>(change_));
        return Woken::Change;
    }
    return Woken::Timeout;
}

void LogChangeWait::RequestStop() {
    stop_.store(true);
    if (stopEvent_ != nullptr) {
        SetEvent(static_cast<HANDLE>(stopEvent_));
    }
}
