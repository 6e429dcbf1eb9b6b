#pragma once
// A background thread that its owner can ask to stop: the work polls stopping() and returns once
// it is set; stop() sets it and waits until the work has returned.
#include <atomic>
#include <thread>
#include <utility>

namespace vst::platform {

class StoppableThread {
public:
    StoppableThread() = default;
    ~StoppableThread() { stop(); }
    StoppableThread(const StoppableThread&) = delete;
    StoppableThread& operator=(const StoppableThread&) = delete;

    // Stops the work running now, if any, and starts `work` on a new thread.
    template <typename Work>
    void start(Work&& work)
    {
        stop();
        stopping_ = false;
        thread_ = std::thread(std::forward<Work>(work));
    }
    // Asks the work to return and waits for it; nothing when no work runs.
    void stop()
    {
        stopping_ = true;
        if (thread_.joinable()) thread_.join();
    }
    bool stopping() const { return stopping_; }

private:
    std::thread thread_;
    std::atomic<bool> stopping_{true};
};

}  // namespace vst::platform
