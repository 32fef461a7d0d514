// CPU time used by one thread of this process, for tests that a waiting thread is idle rather than
// spinning. Milliseconds; -1 when the thread's clock cannot be read.
#pragma once

#include <pthread.h>
#include <time.h>

#include <thread>

inline double CpuMsOf(clockid_t clock) {
    timespec cpu{};
    if (clock_gettime(clock, &cpu) != 0) {
        return -1.0;
    }
    return static_cast<double>(cpu.tv_sec) * 1e3 + static_cast<double>(cpu.tv_nsec) / 1e6;
}

// Another thread of this process.
inline double ThreadCpuMs(std::thread::native_handle_type thread) {
    clockid_t clock{};
    if (pthread_getcpuclockid(thread, &clock) != 0) {
        return -1.0;
    }
    return CpuMsOf(clock);
}

// The calling thread.
inline double ThreadCpuMs() {
    return CpuMsOf(CLOCK_THREAD_CPUTIME_ID);
}
