#pragma once
// Runs a shell command line for a test: its exit status, standard output and standard error.
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace vst::test {

struct CommandRun {
    int status = -1;
    std::string out;
    std::string err;
};

// `errFile` takes the standard error while the command runs.
inline CommandRun runCommand(const std::string& command, const std::string& errFile)
{
    CommandRun run;
    FILE* pipe = ::popen((command + " 2>" + errFile).c_str(), "r");
    if (!pipe) return run;
    std::array<char, 4096> buffer;
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) run.out.append(buffer.data(), n);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::stringstream err;
    err << std::ifstream(errFile).rdbuf();
    run.err = err.str();
    return run;
}

}  // namespace vst::test
