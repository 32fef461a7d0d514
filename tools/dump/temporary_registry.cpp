// The table of temporaries a signal handler removes: fixed storage and lock-free flags, so that
// the handler reads it without allocating or locking.
#include <algorithm>
#include <atomic>

#include "tools/dump/output_file_system.hpp"

namespace {

constexpr int kSlots = 16;
constexpr std::size_t kPathBytes = 4096;

char paths[kSlots][kPathBytes];
std::atomic<bool> used[kSlots];
std::atomic<bool> taken[kSlots];  // claimed by a registration, its path perhaps still being copied

}  // namespace

void TemporaryRegistration::Register(const std::string& path) {
    Release();
    if (path.size() >= kPathBytes) {
        return;
    }
    for (int k = 0; k < kSlots; ++k) {
        bool expected = false;
        if (taken[k].compare_exchange_strong(expected, true)) {
            std::copy(path.begin(), path.end(), paths[k]);
            paths[k][path.size()] = '\0';
            used[k].store(true);
            slot_ = k;
            return;
        }
    }
}

void TemporaryRegistration::Release() {
    if (slot_ >= 0) {
        used[slot_].store(false);
        taken[slot_].store(false);
        slot_ = -1;
    }
}

void ForEachRegisteredTemporary(void (*remove)(const char* path)) {
    for (int k = 0; k < kSlots; ++k) {
        if (used[k].load()) {
            remove(paths[k]);
        }
    }
}
