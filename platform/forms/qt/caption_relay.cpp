#include "platform/forms/qt/caption_relay.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/forms/controls.hpp"

namespace {
// More labels than this waiting at once would be a far larger form than any layout holds; past
// it the list merely grows.
constexpr size_t kExpectedLabels = 16;
}  // namespace

CaptionRelay& CaptionRelay::Instance() {
    // Never destroyed: labels may go away during static destruction.
    static auto* relay = new CaptionRelay;
    return *relay;
}

CaptionRelay::CaptionRelay() {
    pending_.reserve(kExpectedLabels);
    delivering_.reserve(kExpectedLabels);
    if (pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::fprintf(stderr, "satlog: cannot create the window's wake-up pipe: %s\n",
                     std::strerror(errno));
        pipe_[0] = pipe_[1] = -1;
    }
}

void CaptionRelay::AttachToWindowThread() {
    if (notifier_ != nullptr) {
        return;
    }
    windowThread_ = std::this_thread::get_id();
    if (pipe_[0] < 0) {
        return;
    }
    notifier_ = new QSocketNotifier(pipe_[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier_, &QSocketNotifier::activated, [this] { Deliver(); });
    Deliver();  // captions posted before the event loop existed
}

void CaptionRelay::DetachFromWindowThread() {
    delete notifier_;
    notifier_ = nullptr;
    windowThread_ = std::thread::id();
}

bool CaptionRelay::OnWindowThread() const {
    return std::this_thread::get_id() == windowThread_;
}

void CaptionRelay::Post(TLabel* label) {
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        if (std::find(pending_.begin(), pending_.end(), label) != pending_.end()) {
            return;  // already queued: the window will show the newest text
        }
        wake = pending_.empty();
        pending_.push_back(label);
    }
    if (wake && pipe_[1] >= 0) {
        char byte = 1;
        // A full pipe already holds a wake-up, so a failed write loses nothing.
        [[maybe_unused]] ssize_t written = write(pipe_[1], &byte, 1);
    }
}

void CaptionRelay::Forget(TLabel* label) {
    std::lock_guard lock(mutex_);
    pending_.erase(std::remove(pending_.begin(), pending_.end(), label), pending_.end());
    delivering_.erase(std::remove(delivering_.begin(), delivering_.end(), label),
                      delivering_.end());
}

void CaptionRelay::Deliver() {
    // Empty the pipe before taking the list, so that a post racing with this call leaves a
    // wake-up behind rather than a label nobody shows.
    char buffer[64];
    while (pipe_[0] >= 0 && read(pipe_[0], buffer, sizeof buffer) > 0) {
    }
    {
        std::lock_guard lock(mutex_);
        delivering_.swap(pending_);
    }
    while (!delivering_.empty()) {
        TLabel* label = delivering_.back();
        delivering_.pop_back();
        label->ShowCaption();
    }
}
