// The other process of the platform contract tests, the same program on every platform:
//   print                 "one" to the output, "two" to the errors, "three" to the output; exit 3
//   where                 the working folder, VST_HELPER_VALUE and whether the input is empty
//   append FILE TAG N     N times under the file's lock: "TAG i begin", a pause, "end" and a line end
//   hold FILE MS          takes the file's lock, says "locked" and keeps it for MS milliseconds
//   tree FILE             starts a grandchild that holds the file's lock, says "started", waits
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/ChildProcess.h"
#include "platform/Console.h"
#include "platform/FileLock.h"
#include "platform/FileSystem.h"

#ifndef _WIN32
#include <unistd.h>
#endif

using namespace vst::platform;

namespace {

void pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

int hold(const std::string& file, int ms)
{
    FileRegionLock lock;
    if (lock.acquire(osPath(file), 10000) != FileRegionLock::Result::Locked) return 2;
    std::printf("locked\n");
    std::fflush(stdout);
    pause(ms);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    prepareConsoleStreams();
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "print") {
        std::fputs("one\n", stdout);
        std::fflush(stdout);
        std::fputs("two\n", stderr);
        std::fflush(stderr);
        std::fputs("three\n", stdout);
        std::fflush(stdout);
        return 3;
    }
    if (mode == "where") {
        const char* value = std::getenv("VST_HELPER_VALUE");
        const bool emptyInput = std::fgetc(stdin) == EOF;
        std::printf("%s|%s|%s\n", stationPath(std::filesystem::current_path()).c_str(), value ? value : "(unset)",
                    emptyInput ? "empty" : "input");
        return 0;
    }
    if (mode == "append" && argc == 5) {
        const int count = std::atoi(argv[4]);
        for (int i = 0; i < count; ++i) {
            FileRegionLock lock;
            if (lock.acquire(osPath(argv[2]), 20000) != FileRegionLock::Result::Locked) return 2;
            // Two writes under one lock: without the lock another appender's lines would land between them.
            if (!lock.append(std::string(argv[3]) + " " + std::to_string(i) + " begin ")) return 1;
            pause(1);
            if (!lock.append("end\n")) return 1;
        }
        return 0;
    }
    if (mode == "hold" && argc == 4) return hold(argv[2], std::atoi(argv[3]));
    if (mode == "tree" && argc == 3) {
        const std::string file = argv[2];
#ifdef _WIN32
        ChildProcess grandchild;
        ChildProcessRequest request;
        request.arguments = {argv[0], "hold", file, "600000"};
        if (!grandchild.start(request)) return 1;
#else
        if (::fork() == 0) return hold(file, 600000);
#endif
        // Started once the grandchild holds the lock.
        for (int i = 0; i < 2000; ++i) {
            FileRegionLock probe;
            if (probe.acquire(osPath(file), 0) == FileRegionLock::Result::Busy) {
                std::printf("started\n");
                std::fflush(stdout);
                for (;;) pause(1000);
            }
            probe.release();
            pause(5);
        }
        return 1;
    }
    std::fprintf(stderr, "usage: vst_platform_helper print|where|append FILE TAG N|hold FILE MS|tree FILE\n");
    return 64;
}
