#include "platform/ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include "platform/Clock.h"

extern char** environ;

namespace vst::platform {
namespace {

void closeQuietly(int& fd)
{
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// The child's environment: the station's own, without the unset names, with the extra entries.
std::vector<std::string> childEnvironment(const ChildProcessRequest& request)
{
    std::set<std::string> replaced(request.unsetEnvironment.begin(), request.unsetEnvironment.end());
    for (const auto& entry : request.environment) replaced.insert(entry.substr(0, entry.find('=')));
    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e) {
        const std::string entry = *e;
        if (!replaced.count(entry.substr(0, entry.find('=')))) env.push_back(entry);
    }
    env.insert(env.end(), request.environment.begin(), request.environment.end());
    return env;
}

}  // namespace

ChildProcess::~ChildProcess()
{
    if (running()) kill();
    closeQuietly(pipe_);
}

bool ChildProcess::start(const ChildProcessRequest& request)
{
    if (request.arguments.empty() || pid_ > 0) return false;
    int out[2];
    int status[2];  // reports a failed exec back to the parent
    if (::pipe2(out, O_CLOEXEC) != 0) return false;
    if (::pipe2(status, O_CLOEXEC) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        return false;
    }
    // Everything the child needs is prepared before the fork: after it only async-signal-safe calls.
    std::vector<char*> argv;
    for (const auto& a : request.arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const std::vector<std::string> envText = childEnvironment(request);
    std::vector<char*> envp;
    for (const auto& e : envText) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    const char* folder = request.workingFolder.empty() ? nullptr : request.workingFolder.c_str();

    const pid_t pid = ::fork();
    if (pid < 0) {
        for (int fd : {out[0], out[1], status[0], status[1]}) ::close(fd);
        return false;
    }
    if (pid == 0) {
        ::setpgid(0, 0);  // its own process group, so that a time-out kills the whole tree
        const int in = ::open("/dev/null", O_RDONLY);
        if (in >= 0) ::dup2(in, 0);
        ::dup2(out[1], 1);
        ::dup2(out[1], 2);
        int error = 0;
        if (folder && ::chdir(folder) != 0) error = errno;
        if (error == 0) {
            ::execvpe(argv[0], argv.data(), envp.data());
            error = errno;
        }
        ssize_t ignored = ::write(status[1], &error, sizeof error);
        (void)ignored;
        ::_exit(127);
    }
    ::setpgid(pid, pid);  // also from this side, so the group exists before any kill
    ::close(out[1]);
    ::close(status[1]);
    int error = 0;
    ssize_t n;
    do {
        n = ::read(status[0], &error, sizeof error);
    } while (n < 0 && errno == EINTR);
    ::close(status[0]);
    pid_ = pid;
    started_ = true;
    pipe_ = out[0];
    if (n == static_cast<ssize_t>(sizeof error)) {
        // The program could not be run: collect the child and report it as not started.
        reap(true);
        closeQuietly(pipe_);
        pid_ = -1;
        started_ = false;
        return false;
    }
    ::fcntl(pipe_, F_SETFL, ::fcntl(pipe_, F_GETFL) | O_NONBLOCK);
    return true;
}

void ChildProcess::reap(bool block)
{
    if (pid_ <= 0 || exited_) return;
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(pid_, &status, block ? 0 : WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == pid_) {
        exited_ = true;
        exitCode_ = WIFEXITED(status) && !killed_ ? WEXITSTATUS(status) : -1;
    } else if (r < 0) {
        exited_ = true;  // nothing left to wait for
    }
}

bool ChildProcess::poll(std::string& out)
{
    if (pid_ <= 0) return false;
    reap(false);
    char buffer[4096];
    for (;;) {
        if (pipe_ < 0) break;
        const ssize_t n = ::read(pipe_, buffer, sizeof buffer);
        if (n > 0) {
            out.append(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n == 0) closeQuietly(pipe_);  // every writer has gone
        else if (errno == EINTR) continue;
        else if (errno != EAGAIN && errno != EWOULDBLOCK) closeQuietly(pipe_);
        break;
    }
    if (!exited_) return true;
    // The child has ended and what it wrote has been read. Anything still holding the pipe open is
    // a descendant; its output no longer belongs to this run.
    closeQuietly(pipe_);
    return false;
}

void ChildProcess::kill()
{
    if (pid_ <= 0 || exited_) return;
    killed_ = true;
    ::kill(-pid_, SIGKILL);
    ::kill(pid_, SIGKILL);
    reap(true);
}

std::vector<std::string> shellCommand(const std::string& command) { return {"sh", "-c", command}; }

const char* shellCommandName() { return "sh -c"; }

std::vector<std::string> neighbourCacheFlushCommand()
{
    return {"ip", "-4", "neigh", "flush", "all"};
}

}  // namespace vst::platform
