#include "platform/serial/invalid_handle_wait.hpp"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace serial_detail {
namespace {
std::mutex sleepMutex;
std::condition_variable sleepWake;
std::uint64_t wakeGeneration = 0;
}  // namespace

void SleepOnInvalidHandle() {
    std::unique_lock lock(sleepMutex);
    const std::uint64_t generation = wakeGeneration;
    sleepWake.wait_for(lock, std::chrono::milliseconds(kInvalidHandleSleepMs),
                       [&] { return wakeGeneration != generation; });
}

void WakeInvalidHandleSleepers() {
    {
        std::lock_guard lock(sleepMutex);
        ++wakeGeneration;
    }
    sleepWake.notify_all();
}

}  // namespace serial_detail
