#pragma once
// Starting a worker: the operation runs on its own thread with a parameter block that the
// thread owns; afterwards the window hears that the operation finished (WM_USER+2, and for the
// workflows that ran a search WM_USER+17 after it), and the block is freed.
#include <functional>
#include <memory>
#include <thread>
#include <utility>

#include "ops/WorkerChannel.h"

namespace vst::ops {

enum class WorkerEnd {
    Finished,                 // WM_USER+2
    FinishedThenSearchEnded,  // WM_USER+2, then WM_USER+17
};

// `threadEnding`, when given, runs as the thread's very last action, after every message: the
// window uses it to learn when the thread can be joined without waiting for it. It must not
// wait for the window.
template <typename Params>
std::thread startWorker(bool (*operation)(Params&), std::unique_ptr<Params> params,
                        WorkerEnd end = WorkerEnd::Finished, std::function<void()> threadEnding = {})
{
    return std::thread([operation, params = std::move(params), end, threadEnding = std::move(threadEnding)]() mutable {
        WorkerChannel* window = params->window;
        operation(*params);
        window->operationFinished();
        if (end == WorkerEnd::FinishedThenSearchEnded) window->searchEnded();
        params.reset();
        if (threadEnding) threadEnding();
    });
}

// The same for a workflow body that a starter hands over (see Starter.h).
inline std::thread startWorkflowThread(WorkerChannel& window, std::function<void(WorkerChannel&)> body,
                                       WorkerEnd end = WorkerEnd::Finished, std::function<void()> threadEnding = {})
{
    return std::thread([&window, body = std::move(body), end, threadEnding = std::move(threadEnding)] {
        body(window);
        window.operationFinished();
        if (end == WorkerEnd::FinishedThenSearchEnded) window.searchEnded();
        if (threadEnding) threadEnding();
    });
}

}  // namespace vst::ops
