#include <windows.h>

#include <system_error>

#include "tools/dump/followed_file.hpp"

namespace {

std::string SystemText(DWORD code) {
    return std::system_category().message(static_cast<int>(code));
}

bool DeletePending(HANDLE handle) {
    FILE_STANDARD_INFO info{};
    return GetFileInformationByHandleEx(handle, FileStandardInfo, &info, sizeof info) != 0 &&
           info.DeletePending != 0;
}

}  // namespace

FollowedFile::~FollowedFile() {
    Close();
}

FollowedFile::Opened FollowedFile::Open(const std::string& path, std::string& error) {
    Close();
    // Read, write and delete sharing: the window opens the log for writing with read sharing
    // only, which this handle must allow, and the user may delete or rename it meanwhile.
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
            return Opened::Missing;
        }
        error = SystemText(code);
        return Opened::Failed;
    }
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        error = "it is not a regular file";
        return Opened::Failed;
    }
    handle_ = handle;
    return Opened::Yes;
}

void FollowedFile::Close() {
    if (handle_ != nullptr) {
        CloseHandle(static_cast<HANDLE>(handle_));
        handle_ = nullptr;
    }
}

bool FollowedFile::IsOpen() const {
    return handle_ != nullptr;
}

bool FollowedFile::Size(std::uint64_t& size, std::string& error) const {
    LARGE_INTEGER value{};
    if (GetFileSizeEx(static_cast<HANDLE>(handle_), &value) == 0) {
        error = SystemText(GetLastError());
        return false;
    }
    size = static_cast<std::uint64_t>(value.QuadPart);
    return true;
}

std::int64_t FollowedFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer,
                                  std::string& error) const {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    if (ReadFile(static_cast<HANDLE>(handle_), buffer.data(), static_cast<DWORD>(buffer.size()),
                 &read, &at) == 0) {
        const DWORD code = GetLastError();
        if (code == ERROR_HANDLE_EOF) {
            return 0;
        }
        error = SystemText(code);
        return -1;
    }
    return read;
}

FollowedFile::Name FollowedFile::CheckName(const std::string& path) const {
    // A deleted file whose handles are still open keeps its name until the last one closes; the
    // window could not create the log anew while this handle held it.
    if (DeletePending(static_cast<HANDLE>(handle_))) {
        return Name::Missing;
    }
    HANDLE named = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (named == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? Name::Missing
                                                                            : Name::Same;
    }
    BY_HANDLE_FILE_INFORMATION a{};
    BY_HANDLE_FILE_INFORMATION b{};
    const bool same = GetFileInformationByHandle(named, &a) != 0 &&
                      GetFileInformationByHandle(static_cast<HANDLE>(handle_), &b) != 0 &&
                      a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
                      a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
    CloseHandle(named);
    return same ? Name::Same : Name::Replaced;
}
