#include "ops/WorkerPool.h"

#include <algorithm>
#include <chrono>

namespace vst::ops {

WorkerPool::WorkerPool(std::function<void()> threadEnded) : threadEnded_(std::move(threadEnded)) {}

WorkerPool::~WorkerPool()
{
    for (auto& thread : threads_) {
        if (thread.joinable()) thread.join();
    }
}

void WorkerPool::start(std::function<void()> task)
{
    ++running_;
    // The task is moved into the thread, so what it holds is freed when it is done with it.
    threads_.emplace_back([this, task = std::move(task)]() mutable {
        task();
        task = nullptr;
        {
            std::lock_guard<std::mutex> lock(endedMutex_);
            ended_.push_back(std::this_thread::get_id());
        }
        if (threadEnded_) threadEnded_();
    });
}

void WorkerPool::operationEnded()
{
    int now = running_.load();
    while (now > 0 && !running_.compare_exchange_weak(now, now - 1)) {
    }
}

void WorkerPool::reap()
{
    std::vector<std::thread::id> ended;
    {
        std::lock_guard<std::mutex> lock(endedMutex_);
        ended.swap(ended_);
    }
    for (auto it = threads_.begin(); it != threads_.end();) {
        const auto done = std::find(ended.begin(), ended.end(), it->get_id());
        if (done == ended.end()) {
            ++it;
            continue;
        }
        it->join();
        ended.erase(done);
        it = threads_.erase(it);
    }
    // An id whose thread is not (yet) in the list stays for the next look.
    if (!ended.empty()) {
        std::lock_guard<std::mutex> lock(endedMutex_);
        ended_.insert(ended_.end(), ended.begin(), ended.end());
    }
}

void WorkerPool::waitForAll(const std::function<void()>& serve)
{
    if (!serve) {
        for (auto& thread : threads_) {
            if (thread.joinable()) thread.join();
        }
        threads_.clear();
        // Every task has ended with its thread, whether or not its end message was counted.
        running_ = 0;
        std::lock_guard<std::mutex> lock(endedMutex_);
        ended_.clear();
        return;
    }
    // Every thread is joined only after it said that it ends; until then its messages are served.
    while (running_ > 0 || !threads_.empty()) {
        serve();
        reap();
        if (!threads_.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void WorkerPool::cancel()
{
    if (enduranceActive_) enduranceActive_ = false;
    else busy_ = false;
}

}  // namespace vst::ops
