#pragma once
// Runs another program as a child process: started from an argument list (no shell), in a given
// working folder, with an empty standard input and its standard output and standard error merged
// into one pipe that the caller reads while polling. Every wait is measured with the station's
// clock, so tests can shorten them; after the time limit the child and everything it started are
// killed.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/NativeHandle.h"

namespace vst::platform {

struct ChildProcessRequest {
    std::vector<std::string> arguments;  // arguments[0] is the program (a path, or a name looked up on PATH)
    std::string workingFolder;           // empty: the station's own
    // Extra environment variables ("NAME=value") for the child, on top of the station's own.
    std::vector<std::string> environment;
    // Environment variables the child must not inherit.
    std::vector<std::string> unsetEnvironment;
    uint32_t timeoutMs = 0;  // 0: no time limit
    // Windows only: the command line exactly as the program is to receive it; empty: made from the
    // arguments with the system's quoting rules. (POSIX passes the arguments themselves.)
    std::string commandLine;
};

struct ChildProcessResult {
    bool started = false;   // false: the program could not be run at all
    bool timedOut = false;  // the time limit passed and the process tree was killed
    int exitCode = -1;      // the exit status; -1 when it ended by a signal, was killed or never ran
    std::string output;     // standard output and standard error as they arrived (possibly capped)
    bool outputCapped = false;
};

class ChildProcess : private HandleOwner {
public:
    ChildProcess() = default;
    ~ChildProcess();

    // Starts the program; false when it could not be started (not found, not executable).
    bool start(const ChildProcessRequest& request);
    // Reads what is waiting in the pipe without blocking; appends it to `out`. Returns false once
    // the process has ended and everything it wrote has been read (a grandchild that keeps the pipe
    // open does not hold the reader once the child itself has ended).
    bool poll(std::string& out);
    // Kills the child and everything it started.
    void kill();
    bool running() const { return started_ && !exited_; }
    bool exited() const { return exited_; }
    int exitCode() const { return exitCode_; }

private:
    void reap(bool block);

    bool started_ = false;
#ifdef _WIN32
    void* process_ = nullptr;  // the child's process handle
    void* job_ = nullptr;      // the job object that holds the child and everything it starts
#else
    int pid_ = -1;
#endif
    NativeFile pipe_ = kNoFile;
    bool exited_ = false;
    bool killed_ = false;
    int exitCode_ = -1;
};

// Runs the program to its end (or its time limit), polling every millisecond. `onOutput`, when
// given, sees every piece of output as it arrives (before any cap). At most `keepBytes` of the
// output are kept in the result.
ChildProcessResult runChildProcess(const ChildProcessRequest& request,
                                   const std::function<void(const std::string&)>& onOutput = {},
                                   size_t keepBytes = 1 << 20);

// The argument list that runs `command` in the system's command shell ("sh -c", "cmd /c").
std::vector<std::string> shellCommand(const std::string& command);
// How that shell is named in help texts: "sh -c" or "cmd /c".
const char* shellCommandName();
// The argument list that empties the system's IPv4 neighbour (ARP) cache, so that a device that
// took over an address is reached under its own MAC.
std::vector<std::string> neighbourCacheFlushCommand();

}  // namespace vst::platform
