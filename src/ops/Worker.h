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

// The task of a worker: the operation on its parameter block, the end messages, then the block is
// freed. The block is shared only so that the task can be copied into a std::function; nothing
// else holds it.
template <typename Params>
std::function<void()> workerTask(bool (*operation)(Params&), std::unique_ptr<Params> params,
                                 WorkerEnd end = WorkerEnd::Finished)
{
    std::shared_ptr<Params> block(std::move(params));
    return [operation, block, end]() mutable {
        WorkerChannel* channel = block->channel;
        operation(*block);
        channel->operationFinished();
        if (end == WorkerEnd::FinishedThenSearchEnded) channel->searchEnded();
        block.reset();
    };
}

// The same for a workflow body that a starter hands over (see Starter.h).
inline std::function<void()> workflowTask(WorkerChannel& channel, std::function<void(WorkerChannel&)> body,
                                          WorkerEnd end = WorkerEnd::Finished)
{
    return [&channel, body = std::move(body), end] {
        body(channel);
        channel.operationFinished();
        if (end == WorkerEnd::FinishedThenSearchEnded) channel.searchEnded();
    };
}

// A worker thread of its own for a task. `threadEnding`, when given, runs as the thread's very
// last action, after every message: the window uses it to learn when the thread can be joined
// without waiting for it. It must not wait for the window.
inline std::thread startTaskThread(std::function<void()> task, std::function<void()> threadEnding = {})
{
    return std::thread([task = std::move(task), threadEnding = std::move(threadEnding)]() mutable {
        task();
        task = nullptr;
        if (threadEnding) threadEnding();
    });
}

template <typename Params>
std::thread startWorker(bool (*operation)(Params&), std::unique_ptr<Params> params,
                        WorkerEnd end = WorkerEnd::Finished, std::function<void()> threadEnding = {})
{
    return startTaskThread(workerTask(operation, std::move(params), end), std::move(threadEnding));
}

}  // namespace vst::ops
