#include "platform/serial/file_object.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace serial_detail {

OpenFailure OpenFailureFromErrno(int error) {
    const std::string text = std::strerror(error);
    switch (error) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return {ERROR_FILE_NOT_FOUND, "missing (" + text + ")"};
        case EACCES:
        case EPERM:
        case EROFS:
            return {ERROR_ACCESS_DENIED, "permission denied (" + text + ")"};
        case EBUSY:
        case EWOULDBLOCK:
            return {ERROR_SHARING_VIOLATION, "busy: in use by another program (" + text + ")"};
        case EEXIST:
            return {ERROR_FILE_EXISTS, "already exists (" + text + ")"};
        default:
            return {ERROR_ACCESS_DENIED, text};
    }
}

CommObject* FileObject::Open(const char* path, DWORD access, DWORD shareMode, DWORD disposition,
                             OpenFailure& failure) {
    const bool reads = (access & GENERIC_READ) != 0;
    const bool writes = (access & GENERIC_WRITE) != 0;
    int flags = O_CLOEXEC | O_NOCTTY;
    flags |= reads && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY;
    bool truncate = false;
    switch (disposition) {
        case CREATE_NEW:
            flags |= O_CREAT | O_EXCL;
            break;
        case CREATE_ALWAYS:
            flags |= O_CREAT;
            truncate = true;
            break;
        case OPEN_EXISTING:
            break;
        case OPEN_ALWAYS:
            flags |= O_CREAT;
            break;
        case TRUNCATE_EXISTING:
            truncate = true;
            break;
        default:
            failure = {ERROR_INVALID_PARAMETER, "unknown creation disposition"};
            return nullptr;
    }
    if (truncate && !writes) {
        failure = {ERROR_INVALID_PARAMETER, "truncating needs write access"};
        return nullptr;
    }
    const int fd = ::open(path, flags, 0644);
    if (fd < 0) {
        failure = OpenFailureFromErrno(errno);
        return nullptr;
    }
    // Lock before truncating, so that a refused open leaves the other writer's file intact.
    if ((shareMode & FILE_SHARE_WRITE) == 0 && (reads || writes)) {
        if (::flock(fd, (writes ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
            failure = OpenFailureFromErrno(errno);
            failure.error = ERROR_SHARING_VIOLATION;
            ::close(fd);
            return nullptr;
        }
    }
    if (truncate && ::ftruncate(fd, 0) != 0) {
        failure = OpenFailureFromErrno(errno);
        ::close(fd);
        return nullptr;
    }
    return new FileObject(fd);
}

FileObject::~FileObject() {
    ::close(fd_);
}

BOOL FileObject::Read(void* buffer, DWORD count, DWORD& transferred) {
    transferred = 0;
    auto* bytes = static_cast<char*>(buffer);
    while (transferred < count) {
        const ssize_t n = ::read(fd_, bytes + transferred, count - transferred);
        if (n > 0) {
            transferred += static_cast<DWORD>(n);
        } else if (n == 0) {
            break;  // end of file: a successful short read, as on Windows
        } else if (errno != EINTR) {
            SetLastErrorCode(ERROR_READ_FAULT);
            return 0;
        }
    }
    return 1;
}

BOOL FileObject::Write(const void* buffer, DWORD count, DWORD& transferred) {
    transferred = 0;
    const auto* bytes = static_cast<const char*>(buffer);
    while (transferred < count) {
        const ssize_t n = ::write(fd_, bytes + transferred, count - transferred);
        if (n > 0) {
            transferred += static_cast<DWORD>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            // Disk full, file too large, I/O error: the write lands whole or not at all. A torn
            // piece of a raw log entry would make every entry written after it (once space is
            // back) unreadable, so the bytes that did fit are taken back off the file's end.
            const int cause = errno;
            if (transferred > 0) {
                const off_t end = ::lseek(fd_, 0, SEEK_CUR);
                if (end >= static_cast<off_t>(transferred) &&
                    ::ftruncate(fd_, end - static_cast<off_t>(transferred)) == 0) {
                    ::lseek(fd_, end - static_cast<off_t>(transferred), SEEK_SET);
                    transferred = 0;
                }
            }
            SetLastErrorCode(cause == EBADF ? ERROR_ACCESS_DENIED : ERROR_WRITE_FAULT);
            return 0;
        }
    }
    return 1;
}

}  // namespace serial_detail
