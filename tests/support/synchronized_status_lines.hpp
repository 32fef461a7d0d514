// Status lines for tests whose receive thread runs on its own thread: every change is kept in
// order under a lock, and a test can wait until a line shows a text.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "receiver/status_lines.hpp"

class SynchronizedStatusLines : public StatusLines {
  public:
    void SetStatusLine(StatusLine line, std::string_view text) override {
        {
            std::lock_guard lock(mutex_);
            current_[Index(line)] = std::string(text);
            changes_.push_back("Label" + std::to_string(NumberOf(line)) + ": " + std::string(text));
        }
        changed_.notify_all();
    }

    std::string Line(StatusLine line) const {
        std::lock_guard lock(mutex_);
        return current_[Index(line)];
    }
    std::vector<std::string> Changes() const {
        std::lock_guard lock(mutex_);
        return changes_;
    }
    // True when `line` showed `text` (now or after a change) within `limit`.
    bool WaitFor(StatusLine line, std::string_view text, std::chrono::milliseconds limit) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [&] { return current_[Index(line)] == text; });
    }

  private:
    static std::size_t Index(StatusLine line) {
        return static_cast<std::size_t>(NumberOf(line) - 1);
    }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::array<std::string, 3> current_{"Label1", "Label2", "Label3"};
    std::vector<std::string> changes_;
};
