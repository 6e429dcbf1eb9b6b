#pragma once
// The worker threads of one front end (the window or the console): starting them, counting the
// operations that have not reported their end, joining the threads that have ended, the busy flag
// that a search and the workflows look at, the endurance run's flag, and cancelling.
//
// An operation counts as running from start() until its end message reaches the front end, which
// then calls operationEnded(); its thread is joined only after it has said that it ends (its very
// last action), so the owner never blocks on a thread that still waits for the owner.
// start(), reap() and waitForAll() are for the owner's thread; the flags may be read and written
// from any thread.
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace vst::ops {

class WorkerPool {
public:
    // `threadEnded` runs on a worker thread as its last action, after its task; the window posts a
    // reap() to its own thread there. It must not wait for the owner.
    explicit WorkerPool(std::function<void()> threadEnded = {});
    // Joins every thread; the caller has let them end (waitForAll) or they end by themselves.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Runs `task` on a thread of its own; the operation counts as running until operationEnded().
    void start(std::function<void()> task);
    // The end message of one operation has reached the front end.
    void operationEnded();
    // Operations started whose end message has not been seen.
    int running() const { return running_; }
    bool idle() const { return running_ == 0; }
    // Threads not yet joined.
    size_t threads() const { return threads_.size(); }

    // Joins the threads that have said that they end; never waits for one that has not.
    void reap();
    // Until no operation runs and every thread is joined: `serve` runs between looks (the window
    // serves its workers' messages there). Without `serve` the threads are simply joined.
    void waitForAll(const std::function<void()>& serve = {});

    // The busy flag: a search and the workflows' own searches go on while it is set.
    bool busy() const { return busy_; }
    void setBusy(bool busy) { busy_ = busy; }
    // The endurance run goes on while this is set; clearing it is the stop button.
    bool enduranceActive() const { return enduranceActive_; }
    void setEnduranceActive(bool active) { enduranceActive_ = active; }
    // The operator's cancel: a running endurance run is asked to stop (it finishes its step and
    // writes its records); otherwise the running search or workflow search is cancelled.
    void cancel();

private:
    std::function<void()> threadEnded_;
    std::vector<std::thread> threads_;
    mutable std::mutex endedMutex_;
    std::vector<std::thread::id> ended_;
    std::atomic<int> running_{0};
    std::atomic<bool> busy_{false};
    std::atomic<bool> enduranceActive_{false};
};

}  // namespace vst::ops
