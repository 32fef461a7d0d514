// The file-system calls behind WholeFile, on the platform's own API (POSIX, or Win32 for the
// Windows build): a file created only when its name is free, written and put on the disk, renamed
// over another name, and temporaries removed when a signal ends the program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#ifndef _WIN32
#include <signal.h>
#endif

class NativeFile {
  public:
    enum class Created { Yes, NameTaken, Failed };

    NativeFile() = default;
    ~NativeFile() { Close(); }
    NativeFile(const NativeFile&) = delete;
    NativeFile& operator=(const NativeFile&) = delete;

    // Creates `path` for writing only when nothing has that name, not even a link (the file
    // that is there is never opened, truncated or followed). Failed: `reason` says why.
    Created CreateNew(const std::string& path, std::string& reason);
    bool Write(const char* data, std::size_t size, std::string& reason);
    // Puts what was written on the disk and closes the file; false with the cause when either
    // fails (a full disk may only show here).
    bool SyncAndClose(std::string& reason);
    bool IsOpen() const { return handle_ != kClosed; }
    void Close();

  private:
    static constexpr std::intptr_t kClosed = -1;
    std::intptr_t handle_ = kClosed;
};

// Renames `from` to `to`, replacing a file at `to` in one step.
bool RenameReplacing(const std::string& from, const std::string& to, std::string& reason);
// Gives the existing file a second name (a hard link); false when the file system cannot.
bool LinkExisting(const std::string& existing, const std::string& newName);
void RemoveName(const std::string& path);

// Holds back SIGINT, SIGTERM and SIGHUP while it lives: they arrive when it goes. (Windows
// delivers Ctrl+C on a thread of its own; nothing is held back there.)
class SignalsHeld {
  public:
    SignalsHeld();
    ~SignalsHeld();
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

  private:
#ifndef _WIN32
    sigset_t saved_;  // the mask before
#endif
};

// Holds an exclusive lock on a folder while it lives, so that two runs that put a set of files
// into it take turns (advisory: only runs that take it wait). Where the system cannot lock a
// folder (Windows; some network file systems) nothing is held.
class FolderLock {
  public:
    explicit FolderLock(const std::string& folder);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

  private:
    std::intptr_t handle_ = -1;
};

// A temporary file that is removed if a signal ends the program while it is registered. The
// table has room for a few paths of up to 4 KiB; a path that finds no room is not covered.
class TemporaryRegistration {
  public:
    TemporaryRegistration() = default;
    ~TemporaryRegistration() { Release(); }
    TemporaryRegistration(const TemporaryRegistration&) = delete;
    TemporaryRegistration& operator=(const TemporaryRegistration&) = delete;

    void Register(const std::string& path);
    void Release();

  private:
    int slot_ = -1;
};

// Calls `remove` with every registered path; safe in a signal handler.
void ForEachRegisteredTemporary(void (*remove)(const char* path));

// Installs what removes the registered temporaries when SIGINT, SIGTERM or SIGHUP (Ctrl+C or a
// closed console on Windows) ends the program, which then ends as that signal would have ended
// it. A signal the program was started to ignore stays ignored. Called once by the program.
void RemoveTemporariesOnSignals();
