// Win32: CREATE_NEW for a name nobody else has (shared for deletion, so that a Ctrl+C can remove
// it while it is open), FlushFileBuffers before the rename, MoveFileEx to replace, and a console
// control handler that removes the temporaries.
#include <windows.h>

#include <string>

#include "tools/dump/output_file_system.hpp"

namespace {

std::string SystemMessage(DWORD error) {
    char text[256] = {};
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, error, 0, text, sizeof text, nullptr);
    std::string message(text, n);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    return message.empty() ? "error " + std::to_string(error) : message;
}

HANDLE AsHandle(std::intptr_t h) {
    return reinterpret_cast<HANDLE>(h);
}

}  // namespace

NativeFile::Created NativeFile::CreateNew(const std::string& path, std::string& reason) {
    Close();
    const HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                 nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) {
            return Created::NameTaken;
        }
        reason = SystemMessage(error);
        return Created::Failed;
    }
    handle_ = reinterpret_cast<std::intptr_t>(h);
    return Created::Yes;
}

bool NativeFile::Write(const char* data, std::size_t size, std::string& reason) {
    while (size > 0) {
        const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(AsHandle(handle_), data, chunk, &written, nullptr) || written == 0) {
            reason = SystemMessage(GetLastError());
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

bool NativeFile::SyncAndClose(std::string& reason) {
    bool ok = FlushFileBuffers(AsHandle(handle_)) != 0;
    if (!ok) {
        reason = SystemMessage(GetLastError());
    }
    if (!CloseHandle(AsHandle(handle_)) && ok) {
        ok = false;
        reason = SystemMessage(GetLastError());
    }
    handle_ = kClosed;
    return ok;
}

void NativeFile::Close() {
    if (handle_ != kClosed) {
        CloseHandle(AsHandle(handle_));
        handle_ = kClosed;
    }
}

bool RenameReplacing(const std::string& from, const std::string& to, std::string& reason) {
    if (!MoveFileExA(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        reason = SystemMessage(GetLastError());
        return false;
    }
    return true;
}

bool LinkExisting(const std::string& existing, const std::string& newName) {
    return CreateHardLinkA(newName.c_str(), existing.c_str(), nullptr) != 0;
}

void RemoveName(const std::string& path) {
    DeleteFileA(path.c_str());
}

FolderLock::FolderLock(const std::string&) {}
FolderLock::~FolderLock() = default;

SignalsHeld::SignalsHeld() = default;
SignalsHeld::~SignalsHeld() = default;

namespace {

void RemoveTemporary(const char* path) {
    DeleteFileA(path);
}

// Runs on a thread of its own; the temporaries were opened shared for deletion, so they go even
// while the main thread writes them. FALSE: the default handler then ends the program.
BOOL WINAPI RemoveTemporariesAndEnd(DWORD) {
    ForEachRegisteredTemporary(RemoveTemporary);
    return FALSE;
}

}  // namespace

void RemoveTemporariesOnSignals() {
    SetConsoleCtrlHandler(RemoveTemporariesAndEnd, TRUE);
}
