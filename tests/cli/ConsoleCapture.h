#pragma once
// What the console tests share: streams in memory whose bytes can be read back, and the console
// run with its words and two such streams.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/ConsoleChannel.h"

namespace vst::test {

// Everything written to `f` so far.
inline std::string contentsOf(std::FILE* f)
{
    std::fflush(f);
    std::rewind(f);
    std::string out;
    char buffer[512];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
    return out;
}

// A stream in memory whose bytes can be read back.
class Capture {
public:
    Capture() : file_(std::tmpfile()) {}
    ~Capture() { std::fclose(file_); }
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;
    std::FILE* file() const { return file_; }
    std::string bytes() const { return contentsOf(file_); }

private:
    std::FILE* file_;
};

// The console program with `words` after its name, writing to `out` and `err`; its exit code.
inline int runCli(std::vector<std::string> words, Capture& out, Capture& err)
{
    words.insert(words.begin(), "vestrolan-cli");
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    cli::ConsoleChannel channel(out.file(), err.file());
    return cli::runCli(static_cast<int>(argv.size()), argv.data(), channel, out.file(), err.file());
}

}  // namespace vst::test
