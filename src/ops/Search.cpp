#include "ops/Search.h"

#include "ops/Worker.h"

#include <memory>

#include "app/NetworkCards.h"
#include "app/Texts.h"
#include "net/Limits.h"
#include "net/UdpEndpoint.h"
#include "ops/Reporting.h"
#include "platform/Clock.h"

namespace vst::ops {
namespace {

// A pass takes at most net::kMaxSearchAnswersPerPass answers, so that a cancel is still seen
// during a flood.

int32_t stateOf(const SearchJob& job) { return job.state.load(std::memory_order_acquire); }

void setState(SearchJob& job, SearchState s) { job.state.store(static_cast<int32_t>(s), std::memory_order_release); }

// Waits until no job of the search is behind this one.
void waitForOtherJobs(const SearchJob& job)
{
    if (!job.list) return;
    const int32_t own = stateOf(job);
    for (;;) {
        bool behind = false;
        for (const auto& other : job.list->jobs()) {
            if (stateOf(*other) < own) behind = true;
        }
        if (!behind) return;
        platform::clock().sleep(1);
    }
}

class SearchRun {
public:
    explicit SearchRun(SearchJob& job) : job_(job), report_(*job.channel, job.log) {}

    void run()
    {
        endpoint_.close();
        endpoint_.setDevicePort(job_.devicePort);
        report_.logStep(app::loadText(35100), 10);
        while (job_.channel->mayContinue() && stateOf(job_) < static_cast<int32_t>(SearchState::Stopped)) {
            waitForOtherJobs(job_);
            step();
            platform::clock().sleep(1);
        }
        // A job that leaves its loop no longer holds the others back.
        setState(job_, SearchState::Stopped);
        report_.clearStep();
        endpoint_.close();
        job_.channel->searchEnded();
    }

private:
    SearchState state() const { return static_cast<SearchState>(stateOf(job_)); }

    void enterSubnetScope()
    {
        failures_ = 0;
        report_.logStep(app::loadText(35102), 40);
        setState(job_, SearchState::SubnetSend);
    }

    void enterNetworkScope()
    {
        failures_ = 0;
        report_.logStep(app::loadText(35103), 70);
        setState(job_, SearchState::NetworkSend);
    }

    bool send(uint32_t target)
    {
        endpoint_.close();
        if (!endpoint_.open(true, job_.card, target)) return false;
        endpoint_.setDevicePort(job_.devicePort);
        if (!endpoint_.sendSearch(nullptr)) return false;
        sentAt_ = platform::clock().tickCount();
        return true;
    }

    // Hands every waiting answer to the window; true when the scope's time is up.
    bool collect()
    {
        for (int i = 0; i < net::kMaxSearchAnswersPerPass; ++i) {
            std::unique_ptr<net::DeviceRecord> record;
            const auto result = endpoint_.readSearchAnswer(job_.kind0Only, &record);
            if (result == net::SearchAnswerResult::NothingWaiting) break;
            if (result == net::SearchAnswerResult::RecordBuilt && record) job_.channel->addDevice(std::move(record));
        }
        if (platform::clock().tickCount() - sentAt_ <= kScopeTimeoutMs) return false;
        platform::notePrescribedWait(kScopeTimeoutMs);
        return true;
    }

    void step()
    {
        switch (state()) {
        case SearchState::Start:
            if (job_.target != 0) {
                report_.logStep(app::loadText(35101), 20);
                setState(job_, SearchState::DirectedSend);
            } else if (job_.directedOnly) {
                setState(job_, SearchState::Finish);
            } else {
                enterSubnetScope();
            }
            break;
        case SearchState::DirectedSend:
            if (send(job_.target)) {
                report_.setPosition(job_.directedOnly ? 60 : 30);
                setState(job_, SearchState::DirectedAnswers);
            } else if (++failures_ >= kMaxSearchSendFailures) {
                if (job_.directedOnly) setState(job_, SearchState::Finish); else enterSubnetScope();
            }
            break;
        case SearchState::DirectedAnswers:
            if (collect()) {
                if (job_.directedOnly) setState(job_, SearchState::Finish); else enterSubnetScope();
            }
            break;
        case SearchState::SubnetSend: {
            const bool haveAddress = job_.card && !job_.card->addresses.empty();
            const auto first = haveAddress ? job_.card->addresses.front() : app::CardAddress{};
            if (haveAddress && send(first.address | ~first.mask)) {
                report_.setPosition(55);
                setState(job_, SearchState::SubnetAnswers);
            } else if (++failures_ >= kMaxSearchSendFailures) {
                enterNetworkScope();
            }
            break;
        }
        case SearchState::SubnetAnswers:
            if (collect()) enterNetworkScope();
            break;
        case SearchState::NetworkSend:
            if (send(0xFFFFFFFFu)) {
                report_.setPosition(85);
                setState(job_, SearchState::NetworkAnswers);
            } else if (++failures_ >= kMaxSearchSendFailures) {
                setState(job_, SearchState::Finish);
            }
            break;
        case SearchState::NetworkAnswers:
            if (collect()) setState(job_, SearchState::Finish);
            break;
        case SearchState::Finish:
            report_.logStep(app::loadText(35104), 100);
            endpoint_.close();
            setState(job_, SearchState::Stopped);
            break;
        case SearchState::Stopped:
            break;
        }
    }

    SearchJob& job_;
    Reporter report_;
    net::UdpEndpoint endpoint_;
    int failures_ = 0;
    uint32_t sentAt_ = 0;
};

}  // namespace

SearchJob& SearchJobList::add()
{
    jobs_.push_back(std::make_unique<SearchJob>());
    jobs_.back()->list = this;
    return *jobs_.back();
}

bool runSearch(SearchJob& job)
{
    if (!job.channel) return false;
    SearchRun(job).run();
    return true;
}

bool findByDirectedSearch(WorkerChannel& channel, const app::NetworkCard* card, uint32_t target, uint16_t devicePort)
{
    auto list = std::make_shared<SearchJobList>();
    SearchJob& job = list->add();
    job.channel = &channel;
    job.card = card;
    job.target = target;
    job.directedOnly = true;
    job.kind0Only = true;
    job.devicePort = devicePort;
    return runSearch(job);
}

std::function<void()> searchTask(std::shared_ptr<SearchJobList> list, SearchJob& job)
{
    return [list = std::move(list), &job]() mutable {
        runSearch(job);
        job.channel->operationFinished();
        list.reset();
    };
}

std::thread startSearchWorker(std::shared_ptr<SearchJobList> list, SearchJob& job, std::function<void()> threadEnding)
{
    return startTaskThread(searchTask(std::move(list), job), std::move(threadEnding));
}

}  // namespace vst::ops
