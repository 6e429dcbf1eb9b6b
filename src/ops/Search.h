#pragma once
// The device search: one worker per card, each walking the three scopes (entered address, own
// subnet, whole network) in lock-step with the other workers of the same search.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "ops/WorkerChannel.h"

namespace vst::app {
struct NetworkCard;
}

namespace vst::ops {

class LogWindow;
class SearchJobList;

enum class SearchState : int32_t {
    Start = 0,
    DirectedSend = 1,
    DirectedAnswers = 2,
    SubnetSend = 3,
    SubnetAnswers = 4,
    NetworkSend = 5,
    NetworkAnswers = 6,
    Finish = 7,
    Stopped = 8,
};

struct SearchJob {
    SearchJobList* list = nullptr;  // the jobs of this search, this one included
    std::atomic<int32_t> state{0};  // written by its own worker only; only ever increases
    WorkerChannel* channel = nullptr;
    const app::NetworkCard* card = nullptr;
    uint32_t target = 0;  // host byte order; 0 = no entered address
    bool directedOnly = false;
    bool kind0Only = false;
    LogWindow* log = nullptr;
    uint16_t devicePort = 293;  // the devices' UDP port
};

// The jobs of one search. Every worker holds a share of the list, so no job is freed while
// another worker may still look at its state.
class SearchJobList {
public:
    SearchJob& add();
    const std::vector<std::unique_ptr<SearchJob>>& jobs() const { return jobs_; }

private:
    std::vector<std::unique_ptr<SearchJob>> jobs_;
};

inline constexpr uint32_t kScopeTimeoutMs = 2000;
inline constexpr int kMaxSearchSendFailures = 3;

// Runs one job to its end (or until the window cancels the search) and sends the search-ended
// message. Returns true.
bool runSearch(SearchJob& job);

// The workflows' own search for the one device at `target`: a directed search for devices of the
// served kind only, on this thread; what it finds is in the channel's list. Returns true.
bool findByDirectedSearch(WorkerChannel& channel, const app::NetworkCard* card, uint32_t target, uint16_t devicePort);

// The task of a search worker: runSearch, then the operation-finished message; it keeps the job
// list alive until it is done.
std::function<void()> searchTask(std::shared_ptr<SearchJobList> list, SearchJob& job);

// The search worker: runSearch, then the operation-finished message. The thread keeps the job
// list alive until it ends.
// `threadEnding`, when given, runs as the thread's last action (see startWorker).
std::thread startSearchWorker(std::shared_ptr<SearchJobList> list, SearchJob& job,
                              std::function<void()> threadEnding = {});

}  // namespace vst::ops
