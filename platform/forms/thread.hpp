// A worker thread. The operating-system thread is created with the object but runs Execute only
// once Resume is called. Terminate asks it to stop: it sets Terminated and calls TerminatedSet,
// where a derived class wakes whatever its Execute is blocked on. When the application's message
// loop ends, the library terminates every thread still running and waits for it, before any
// window is destroyed (for a bounded time when the application sets one).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/forms/component.hpp"

class TThread : public TObject {
  public:
    // Threads are always created suspended: a base class cannot run the derived Execute before
    // the derived constructor has finished, so CreateSuspended false raises Exception.
    explicit TThread(bool CreateSuspended);
    // Terminates and waits for a thread still running. A derived class whose Execute uses its
    // own members must stop the thread in its own destructor.
    ~TThread() override;

    void Resume();
    void Terminate();
    // Waits until Execute has returned (at once if it never started).
    void WaitFor();
    bool Terminated() const noexcept { return terminated_.load(); }

    // With FreeOnTerminate the thread destroys its object itself once Execute has returned;
    // nobody may use the object after Resume then.
    bool FreeOnTerminate() const noexcept { return freeOnTerminate_; }
    void SetFreeOnTerminate(bool value) noexcept { freeOnTerminate_ = value; }

    // Terminates every thread not yet finished and waits for all of them.
    static void TerminateAndWaitAll();
    // The same, waiting at most `limit`. False when a thread is still running then (blocked in
    // a call that nothing woke); it is left as it is and nothing is joined.
    static bool TerminateAndWaitAll(std::chrono::milliseconds limit);
    // Threads whose Execute has not returned yet.
    static int RunningCount();

  protected:
    virtual void Execute() = 0;
    // Runs on the thread after Execute has returned.
    virtual void DoTerminate() {}
    // Called by Terminate on the calling thread, after Terminated has become true.
    virtual void TerminatedSet() {}
    const std::atomic<bool>& TerminatedFlag() const noexcept { return terminated_; }

  private:
    void Run();
    // Both TerminateAndWaitAll: `limit` null waits for ever.
    static bool StopAll(const std::chrono::milliseconds* limit);

    std::mutex mutex_;
    std::condition_variable resumed_;
    bool started_ = false;   // guarded by mutex_
    bool finished_ = false;  // guarded by the registry's mutex
    std::atomic<bool> terminated_{false};
    bool freeOnTerminate_ = false;
    std::thread thread_;
};
