#pragma once
// What one poll of a device exchange tells: still under way, ended well, or ended with the
// endpoint's failure code (1, 2, ... as the endpoint defines them).

namespace vst::net {

class PollResult {
public:
    // An exchange still under way.
    constexpr PollResult() = default;
    // An exchange that ended: 0 well, above 0 with that failure code (never below 0).
    static constexpr PollResult ended(int code) { return PollResult(code); }

    constexpr bool pending() const { return code_ < 0; }
    constexpr bool done() const { return code_ == 0; }
    constexpr bool failed() const { return code_ > 0; }
    // The failure code; 0 when done, -1 while pending.
    constexpr int code() const { return code_; }

    friend constexpr bool operator==(PollResult, PollResult) = default;

private:
    explicit constexpr PollResult(int code) : code_(code) {}
    int code_ = -1;
};

}  // namespace vst::net
