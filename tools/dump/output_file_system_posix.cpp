// POSIX: O_CREAT|O_EXCL|O_NOFOLLOW for a name nobody else has, fsync before the rename, the
// signal mask held over the renames, and a handler that removes the temporaries.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/dump/output_file_system.hpp"

NativeFile::Created NativeFile::CreateNew(const std::string& path, std::string& reason) {
    Close();
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) {
        if (errno == EEXIST) {
            return Created::NameTaken;
        }
        reason = std::strerror(errno);
        return Created::Failed;
    }
    handle_ = fd;
    return Created::Yes;
}

bool NativeFile::Write(const char* data, std::size_t size, std::string& reason) {
    while (size > 0) {
        const ssize_t n = ::write(static_cast<int>(handle_), data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            reason = std::strerror(n < 0 ? errno : EIO);
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool NativeFile::SyncAndClose(std::string& reason) {
    bool ok = ::fsync(static_cast<int>(handle_)) == 0;
    if (!ok) {
        reason = std::strerror(errno);
    }
    if (::close(static_cast<int>(handle_)) != 0 && ok) {
        ok = false;
        reason = std::strerror(errno);
    }
    handle_ = kClosed;
    return ok;
}

void NativeFile::Close() {
    if (handle_ != kClosed) {
        ::close(static_cast<int>(handle_));
        handle_ = kClosed;
    }
}

bool RenameReplacing(const std::string& from, const std::string& to, std::string& reason) {
    if (std::rename(from.c_str(), to.c_str()) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    return true;
}

bool LinkExisting(const std::string& existing, const std::string& newName) {
    return ::link(existing.c_str(), newName.c_str()) == 0;
}

void RemoveName(const std::string& path) {
    ::unlink(path.c_str());
}

FolderLock::FolderLock(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            ::close(fd);
            return;
        }
    }
    handle_ = fd;
}

FolderLock::~FolderLock() {
    if (handle_ >= 0) {
        ::close(static_cast<int>(handle_));  // releases the lock
    }
}

namespace {

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

sigset_t EndingSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (const int s : kEndingSignals) {
        sigaddset(&set, s);
    }
    return set;
}

void RemoveTemporary(const char* path) {
    ::unlink(path);
}

// Runs with the default action already back in place (SA_RESETHAND): the signal raised again
// is delivered when the handler returns, and ends the program as it would have.
void RemoveTemporariesAndEnd(int signal) {
    const int saved = errno;
    ForEachRegisteredTemporary(RemoveTemporary);
    ::raise(signal);
    errno = saved;
}

}  // namespace

SignalsHeld::SignalsHeld() {
    const sigset_t hold = EndingSignals();
    pthread_sigmask(SIG_BLOCK, &hold, &saved_);
}

SignalsHeld::~SignalsHeld() {
    pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
}

void RemoveTemporariesOnSignals() {
    for (const int s : kEndingSignals) {
        struct sigaction current {};
        if (sigaction(s, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) {
            continue;
        }
        struct sigaction action {};
        action.sa_handler = RemoveTemporariesAndEnd;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        sigaction(s, &action, nullptr);
    }
}
