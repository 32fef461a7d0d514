#include "platform/forms/thread.hpp"

#include <algorithm>
#include <vector>

#include "platform/forms/exception.hpp"

namespace {

// Every thread object alive, so that the application can stop them all at the end.
struct ThreadRegistry {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<TThread*> threads;
};

// Never destroyed: the application object stops the threads during static destruction.
ThreadRegistry& Registry() {
    static auto* registry = new ThreadRegistry;
    return *registry;
}

}  // namespace

TThread::TThread(bool CreateSuspended) {
    if (!CreateSuspended) {
        throw Exception("Threads must be created suspended and started with Resume");
    }
    {
        ThreadRegistry& registry = Registry();
        std::lock_guard lock(registry.mutex);
        registry.threads.push_back(this);
    }
    thread_ = std::thread([this] { Run(); });
}

TThread::~TThread() {
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id()) {
            thread_.detach();  // FreeOnTerminate: the thread is deleting its own object
        } else {
            Terminate();
            WaitFor();
        }
    }
    ThreadRegistry& registry = Registry();
    std::lock_guard lock(registry.mutex);
    auto& threads = registry.threads;
    threads.erase(std::remove(threads.begin(), threads.end(), this), threads.end());
    registry.changed.notify_all();
}

void TThread::Run() {
    bool run = false;
    {
        std::unique_lock lock(mutex_);
        resumed_.wait(lock, [this] { return started_ || terminated_.load(); });
        run = started_;
    }
    if (run) {
        Execute();
        DoTerminate();
    }
    ThreadRegistry& registry = Registry();
    bool freeSelf = false;
    {
        std::lock_guard lock(registry.mutex);
        finished_ = true;
        freeSelf = freeOnTerminate_ && run;
        if (freeSelf) {
            // Out of the registry before the object goes, so nobody waits on it.
            auto& threads = registry.threads;
            threads.erase(std::remove(threads.begin(), threads.end(), this), threads.end());
        }
        registry.changed.notify_all();
    }
    if (freeSelf) {
        delete this;
    }
}

void TThread::Resume() {
    std::lock_guard lock(mutex_);
    started_ = true;
    resumed_.notify_all();
}

void TThread::Terminate() {
    {
        std::lock_guard lock(mutex_);
        terminated_.store(true);
        resumed_.notify_all();  // a thread never resumed ends without running Execute
    }
    TerminatedSet();
}

void TThread::WaitFor() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) {
        thread_.join();
    }
}

void TThread::TerminateAndWaitAll() {
    StopAll(nullptr);
}

bool TThread::TerminateAndWaitAll(std::chrono::milliseconds limit) {
    return StopAll(&limit);
}

bool TThread::StopAll(const std::chrono::milliseconds* limit) {
    ThreadRegistry& registry = Registry();
    std::unique_lock lock(registry.mutex);
    for (TThread* thread : registry.threads) {
        if (!thread->finished_) {
            thread->Terminate();
        }
    }
    auto allFinished = [&registry] {
        return std::all_of(registry.threads.begin(), registry.threads.end(),
                           [](TThread* thread) { return thread->finished_; });
    };
    if (limit == nullptr) {
        registry.changed.wait(lock, allFinished);
    } else if (!registry.changed.wait_for(lock, *limit, allFinished)) {
        return false;
    }
    // Every remaining thread has finished and stays registered until its object is destroyed;
    // joining it now returns at once.
    std::vector<TThread*> finished = registry.threads;
    lock.unlock();
    for (TThread* thread : finished) {
        thread->WaitFor();
    }
    return true;
}

int TThread::RunningCount() {
    ThreadRegistry& registry = Registry();
    std::lock_guard lock(registry.mutex);
    return static_cast<int>(std::count_if(registry.threads.begin(), registry.threads.end(),
                                          [](TThread* thread) { return !thread->finished_; }));
}
