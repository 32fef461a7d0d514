#include "receiver/receive_thread.hpp"

#include <memory>

void RunReceiveThread(HANDLE port, HANDLE log, StatusLines& status, const std::atomic<bool>& stop) {
    // Empty tables and framing buffers, for the life of the thread (too large for a small stack).
    const auto state = std::make_unique<ReceiveState>();
    state->stop = &stop;
    RegisterPortWaiter(port);  // lets CancelPortWait reach this thread's calls on Windows
    ConfigureReceiver(port, *state);
    ReceiveRecords(port, log, status, *state);
}
