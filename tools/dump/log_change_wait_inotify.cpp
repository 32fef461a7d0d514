#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <filesystem>

#include "tools/dump/log_change_wait.hpp"

namespace {

// Without inotify (no instance or watch left to the user) the log is looked at this often.
constexpr std::chrono::milliseconds kPollWithoutNotification{200};

}  // namespace

LogChangeWait::LogChangeWait() {
    inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (::pipe2(stopPipe_, O_NONBLOCK | O_CLOEXEC) != 0) {
        stopPipe_[0] = stopPipe_[1] = -1;
    }
}

LogChangeWait::~LogChangeWait() {
    for (const int fd : {inotify_, stopPipe_[0], stopPipe_[1]}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

void LogChangeWait::Watch(const std::string& path) {
    if (inotify_ < 0) {
        return;
    }
    for (int* watch : {&fileWatch_, &directoryWatch_}) {
        if (*watch >= 0) {
            ::inotify_rm_watch(inotify_, *watch);
            *watch = -1;
        }
    }
    // Writes and cuts (ftruncate) of the file itself; its deletion or renaming.
    fileWatch_ = ::inotify_add_watch(inotify_, path.c_str(),
                                     IN_MODIFY | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF);
    // The name coming and going; writes to other files of the directory do not wake the wait.
    std::filesystem::path directory = std::filesystem::path(path).parent_path();
    if (directory.empty()) {
        directory = ".";
    }
    directoryWatch_ = ::inotify_add_watch(inotify_, directory.c_str(),
                                          IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO);
}

LogChangeWait::Woken LogChangeWait::Wait(std::chrono::milliseconds timeout) {
    if (stop_.load()) {
        return Woken::Stop;
    }
    const bool notified = inotify_ >= 0 && directoryWatch_ >= 0;
    if (!notified && timeout > kPollWithoutNotification) {
        timeout = kPollWithoutNotification;
    }
    pollfd fds[2] = {{stopPipe_[0], POLLIN, 0}, {notified ? inotify_ : -1, POLLIN, 0}};
    const int ready = ::poll(fds, 2, static_cast<int>(timeout.count()));
    if (stop_.load()) {
        return Woken::Stop;
    }
    if (ready <= 0) {
        return ready == 0 || !notified ? Woken::Timeout : Woken::Change;
    }
    // Every event means "look again"; which one it was does not matter.
    alignas(inotify_event) char events[4096];
    while (::read(inotify_, events, sizeof events) > 0) {
    }
    return Woken::Change;
}

void LogChangeWait::RequestStop() {
    stop_.store(true);
    if (stopPipe_[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t ignored = ::write(stopPipe_[1], &byte, 1);
    }
}
