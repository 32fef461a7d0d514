// Waits, without spinning, until the followed log or the directory that holds its name may have
// changed, a time has passed, or a stop was requested. On Linux an inotify watch on the file (it
// was written or cut back) and on its directory (the name was created, deleted or renamed); on
// Windows a change notification of the directory, which reports a size change only when the
// system gets round to it, so the wait there also ends at least every quarter second.
#pragma once

#include <atomic>
#include <chrono>
#include <string>

class LogChangeWait {
  public:
    enum class Woken { Change, Timeout, Stop };

    LogChangeWait();
    ~LogChangeWait();
    LogChangeWait(const LogChangeWait&) = delete;
    LogChangeWait& operator=(const LogChangeWait&) = delete;

    // Watches `path` (the file it names now, if any) and the directory of the name, in place of
    // what was watched before. Called again whenever the follower opens the log anew.
    void Watch(const std::string& path);
    Woken Wait(std::chrono::milliseconds timeout);

    // Ends the current or next Wait with Stop. Safe to call from a signal handler or another
    // thread.
    void RequestStop();
    bool StopRequested() const { return stop_.load(); }

  private:
    std::atomic<bool> stop_{false};
#ifdef _WIN32
    void* stopEvent_ = nullptr;
    void* change_ = nullptr;
#else
    int inotify_ = -1;
    int fileWatch_ = -1;
    int directoryWatch_ = -1;
    int stopPipe_[2] = {-1, -1};
#endif
};
