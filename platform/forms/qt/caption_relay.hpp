// Carries label captions set on other threads to the window's thread. A writer stores the text
// in the label and queues the label once; a byte on a pipe wakes the window's event loop, which
// shows the latest text of every queued label. No Qt call is made off the window's thread, and
// nothing is allocated per caption.
#pragma once

#include <mutex>
#include <thread>
#include <vector>

class QSocketNotifier;
class TLabel;

class CaptionRelay {
  public:
    static CaptionRelay& Instance();

    // On the window's thread, once the application object exists.
    void AttachToWindowThread();
    // On the window's thread, before the application object goes.
    void DetachFromWindowThread();
    bool OnWindowThread() const;

    void Post(TLabel* label);    // any thread
    void Forget(TLabel* label);  // window's thread, as the label goes away

  private:
    CaptionRelay();
    void Deliver();

    std::mutex mutex_;
    std::vector<TLabel*> pending_;  // guarded by mutex_
    std::vector<TLabel*> delivering_;
    int pipe_[2] = {-1, -1};
    QSocketNotifier* notifier_ = nullptr;
    std::thread::id windowThread_;
};
