#include "platform/serial/file_object.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

#include "platform/posix/writer_lock.hpp"

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

namespace {

// What a name stands for when it is not a plain file, for the user who put it there.
std::string KindOfNonRegular(mode_t mode) {
    if (S_ISDIR(mode)) {
        return "a directory";
    }
    if (S_ISFIFO(mode)) {
        return "a FIFO";
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return "a device";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    if (S_ISLNK(mode)) {
        return "a symbolic link";
    }
    return "not a plain file";
}

OpenFailure Refused(DWORD error, std::string cause) {
    return {error, std::move(cause)};
}

// The failure of open() itself, in the system's own words; a name that is a FIFO without a
// reader or a link that is not followed is said for what it is.
OpenFailure OpenCallFailure(const char* path, int error) {
    struct stat info {};
    if ((error == ELOOP || error == ENXIO) && ::lstat(path, &info) == 0 && !S_ISREG(info.st_mode)) {
        return Refused(ERROR_ACCESS_DENIED,
                       "it is " + KindOfNonRegular(info.st_mode) + ", not a regular file");
    }
    OpenFailure failure = OpenFailureFromErrno(error);
    failure.cause = std::strerror(error);
    return failure;
}

// A file that will be emptied or written must be the user's one plain file: not a link into
// someone else's file, not a FIFO or a device that would block or swallow the log.
bool IsPlainSingleFile(int fd, OpenFailure& failure) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        failure = Refused(ERROR_ACCESS_DENIED, std::strerror(errno));
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        failure = Refused(ERROR_ACCESS_DENIED,
                          "it is " + KindOfNonRegular(info.st_mode) + ", not a regular file");
        return false;
    }
    if (info.st_nlink > 1) {
        failure =
            Refused(ERROR_ACCESS_DENIED, "it has " + std::to_string(info.st_nlink) +
                                             " hard links, and emptying it would empty the others");
        return false;
    }
    return true;
}

}  // namespace

CommObject* FileObject::Open(const char* path, DWORD access, DWORD shareMode, DWORD disposition,
                             OpenFailure& failure) {
    const bool reads = (access & GENERIC_READ) != 0;
    const bool writes = (access & GENERIC_WRITE) != 0;
    // Never blocks at open (a FIFO without a reader would hang the window's construction).
    int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
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
    // A file that is created or emptied is the caller's own plain file: a symbolic link (even a
    // dangling one) is not followed, a hard-linked file is refused.
    const bool ownFileOnly = writes && disposition != OPEN_EXISTING;
    if (ownFileOnly) {
        flags |= O_NOFOLLOW;
    }
    // Every write lands at the file's end, wherever another program has cut the file back to:
    // an outside truncation leaves no hole of zero bytes before the next entry.
    if (writes) {
        flags |= O_APPEND;
    }
    const int fd = ::open(path, flags, 0644);
    if (fd < 0) {
        failure = OpenCallFailure(path, errno);
        return nullptr;
    }
    const auto fail = [&](OpenFailure why) -> CommObject* {
        failure = std::move(why);
        ::close(fd);
        return nullptr;
    };
    if (ownFileOnly && !IsPlainSingleFile(fd, failure)) {
        return fail(failure);
    }
    // Reads and writes block as on Windows; only the open itself had to be non-blocking.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    // Lock before truncating, so that a refused open leaves the other writer's file intact.
    if ((shareMode & FILE_SHARE_WRITE) == 0 && (reads || writes)) {
        const bool locked = writes ? TakeWriterLock(fd) : ::flock(fd, LOCK_SH | LOCK_NB) == 0;
        if (!locked) {
            return fail(Refused(ERROR_SHARING_VIOLATION, errno == EWOULDBLOCK
                                                             ? "another program is writing it"
                                                             : std::strerror(errno)));
        }
    }
    if (truncate && ::ftruncate(fd, 0) != 0) {
        return fail(Refused(ERROR_ACCESS_DENIED, std::strerror(errno)));
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
            struct stat info {};
            if (transferred > 0 && ::fstat(fd_, &info) == 0 &&
                info.st_size >= static_cast<off_t>(transferred) &&
                ::ftruncate(fd_, info.st_size - static_cast<off_t>(transferred)) == 0) {
                transferred = 0;  // writes append, so the next one starts where this one began
            }
            SetLastErrorCode(cause == EBADF ? ERROR_ACCESS_DENIED : ERROR_WRITE_FAULT);
            return 0;
        }
    }
    return 1;
}

}  // namespace serial_detail
