// The raw log's writer lock. Whoever writes "mavu0.txt" holds an exclusive advisory lock on it
// for as long as it writes, so that a second writer (a second satlog, the simulator pointed at
// the same file) is refused instead of emptying or interleaving the log being recorded.
#pragma once

namespace serial_detail {

// Takes the writer lock on an open file without waiting. False, with errno set (EWOULDBLOCK when
// another writer holds it), when it cannot be had. Taken before a file is truncated, so that a
// refused writer leaves the other writer's file intact.
bool TakeWriterLock(int fd);

}  // namespace serial_detail
