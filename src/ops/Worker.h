#pragma once
// Starting a worker: the operation runs on its own thread with a parameter block that the
// thread owns; afterwards the window hears that the operation finished, and the block is freed.
#include <memory>
#include <thread>
#include <utility>

#include "ops/WorkerChannel.h"

namespace vst::ops {

template <typename Params>
std::thread startWorker(bool (*operation)(Params&), std::unique_ptr<Params> params)
{
    return std::thread([operation, params = std::move(params)]() mutable {
        WorkerChannel* window = params->window;
        operation(*params);
        window->operationFinished();
        params.reset();
    });
}

}  // namespace vst::ops
