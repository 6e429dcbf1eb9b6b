// Child processes: merged output, exit status, working folder, time-out with the whole tree
// killed, and a grandchild that keeps the pipe open.
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>

#include "platform/ChildProcess.h"
#include "support/TempDir.h"

using namespace vst;

namespace {

platform::ChildProcessResult shell(const std::string& script, uint32_t timeoutMs = 0, const std::string& folder = "")
{
    platform::ChildProcessRequest request;
    request.arguments = {"sh", "-c", script};
    request.timeoutMs = timeoutMs;
    request.workingFolder = folder;
    return platform::runChildProcess(request);
}

}  // namespace

TEST(ChildProcess, MergesBothStreamsInOrderAndReportsTheExitStatus)
{
    const auto r = shell("echo one; echo two >&2; echo three; exit 3");
    ASSERT_TRUE(r.started);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.output, "one\ntwo\nthree\n");
    EXPECT_EQ(r.exitCode, 3);
}

TEST(ChildProcess, RunsInItsWorkingFolderWithAnEmptyInputAndTheGivenEnvironment)
{
    test::TempDir dir;
    platform::ChildProcessRequest request;
    request.arguments = {"sh", "-c", "pwd; cat; echo \"[$VST_A][${VST_B-unset}]\""};
    request.workingFolder = dir.str();
    request.environment = {"VST_A=1"};
    request.unsetEnvironment = {"VST_B"};
    ::setenv("VST_B", "inherited", 1);
    const auto r = platform::runChildProcess(request);
    ::unsetenv("VST_B");
    EXPECT_EQ(r.output, std::filesystem::canonical(dir.path()).string() + "\n[1][unset]\n");
    EXPECT_EQ(r.exitCode, 0);
}

TEST(ChildProcess, AProgramThatCannotRunIsNotStarted)
{
    test::TempDir dir;
    const std::string notExecutable = dir.file("tool");
    std::ofstream(notExecutable) << "#!/bin/sh\necho hi\n";
    for (const std::string& program : {notExecutable, dir.file("missing"), std::string("vst-no-such-program")}) {
        platform::ChildProcessRequest request;
        request.arguments = {program, "-x"};
        EXPECT_FALSE(platform::runChildProcess(request).started) << program;
    }
}

TEST(ChildProcess, TimeOutKillsTheWholeTree)
{
    test::TempDir dir;
    const std::string marker = dir.file("grandchild.pid");
    const auto r = shell("sleep 30 & echo $! > '" + marker + "'; echo started; wait", 300);
    EXPECT_TRUE(r.timedOut);
    EXPECT_EQ(r.exitCode, -1);
    EXPECT_EQ(r.output, "started\n");
    int grandchild = 0;
    std::ifstream(marker) >> grandchild;
    ASSERT_GT(grandchild, 0);
    // The grandchild went with its parent (it may linger a moment as a zombie of init).
    for (int i = 0; i < 200 && ::kill(grandchild, 0) == 0; ++i) ::usleep(10000);
    std::ifstream stat("/proc/" + std::to_string(grandchild) + "/stat");
    std::string pid, name, state;
    if (stat >> pid >> name >> state) {
        EXPECT_EQ(state, "Z");
    }
}

TEST(ChildProcess, AGrandchildHoldingThePipeDoesNotHoldTheReader)
{
    const auto start = std::chrono::steady_clock::now();
    const auto r = shell("(sleep 5; echo late) & echo done", 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
    EXPECT_EQ(r.output, "done\n");
    EXPECT_EQ(r.exitCode, 0);
}

TEST(ChildProcess, KeepsOnlyTheCapButSeesEveryPiece)
{
    platform::ChildProcessRequest request;
    request.arguments = {"sh", "-c", "head -c 100000 /dev/zero | tr '\\0' x; echo END"};
    std::string seen;
    const auto r = platform::runChildProcess(request, [&](const std::string& piece) { seen += piece; }, 1000);
    EXPECT_EQ(seen, std::string(100000, 'x') + "END\n");
    EXPECT_EQ(r.output, std::string(1000, 'x'));
    EXPECT_TRUE(r.outputCapped);
}
