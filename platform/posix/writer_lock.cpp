#include "platform/posix/writer_lock.hpp"

#include <sys/file.h>

#include <cerrno>

namespace serial_detail {

bool TakeWriterLock(int fd) {
    int result = 0;
    do {
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

}  // namespace serial_detail
