// A plain file behind a handle: the raw log.
#pragma once

#include "platform/serial/comm_object.hpp"

namespace serial_detail {

class FileObject final : public CommObject {
  public:
    // CREATE_ALWAYS creates or truncates (mode 0644), OPEN_EXISTING needs the file, and so on as
    // Win32 defines the dispositions. A file opened for writing with any other disposition than
    // OPEN_EXISTING must be a regular file with a single link: a symbolic link is not followed,
    // and a FIFO, a device or a hard-linked file is refused before anything is truncated. The
    // open never blocks. Writes always append at the file's current end. Sharing is honoured as far
    // as POSIX allows: an opener that does not share writing takes an advisory flock (exclusive
    // when it writes, shared when it only reads), so a second CreateFileA writer is refused as on
    // Windows. Programs that do not take the lock (cat, less) can still open the file; readers are
    // what FILE_SHARE_READ allows.
    static CommObject* Open(const char* path, DWORD access, DWORD shareMode, DWORD disposition,
                            OpenFailure& failure);
    ~FileObject() override;

    BOOL Read(void* buffer, DWORD count, DWORD& transferred) override;
    BOOL Write(const void* buffer, DWORD count, DWORD& transferred) override;

  private:
    explicit FileObject(int fd) : fd_(fd) {}
    int fd_;
};

}  // namespace serial_detail
