// The program vestrolan-devsim as scripts use it: print the addresses, start, say "ready", answer,
// end with exit code 0 on SIGTERM.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "LoopbackSocket.h"
#include "StationRequests.h"
#include "WebClient.h"
#include "support/TempDir.h"

extern char** environ;

using namespace vst::devsim;
using namespace vst::devsim::test;

namespace {

class Program {
public:
    explicit Program(std::vector<std::string> args)
    {
        args.insert(args.begin(), VST_DEVSIM_PROGRAM);
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        output_ = out[0];
    }
    ~Program()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (output_ >= 0) ::close(output_);
    }

    // Standard output up to the end or up to `until`, waiting at most `timeoutMs` in all.
    std::string read(int timeoutMs, const std::string& until = "")
    {
        std::string text;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (until.empty() || text.find(until) == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd fd{output_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&fd, 1, static_cast<int>(left.count())) <= 0) break;
            char buffer[4096];
            const ssize_t n = ::read(output_, buffer, sizeof buffer);
            if (n <= 0) break;
            text.append(buffer, static_cast<size_t>(n));
        }
        return text;
    }

    // Exit code, or -1 when the program did not end normally within the time.
    int wait(int timeoutMs)
    {
        for (int waited = 0; waited <= timeoutMs; waited += 10) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            ::poll(nullptr, 0, 10);
        }
        return -1;
    }

    void signal(int number) { ::kill(pid_, number); }

private:
    pid_t pid_ = -1;
    int output_ = -1;
};

TEST(Program, PrintAddressesAndCidr)
{
    Program plain({"--generate", "2", "--network", "10.1.0.0/16", "--print-addresses"});
    EXPECT_EQ(plain.read(5000), "10.1.0.1\n10.1.0.2\n");
    EXPECT_EQ(plain.wait(5000), 0);
    Program cidr({"--generate", "2", "--network", "10.1.0.0/16", "--print-cidr"});
    EXPECT_EQ(cidr.read(5000), "10.1.0.1/16\n10.1.0.2/16\n");
    EXPECT_EQ(cidr.wait(5000), 0);
}

TEST(Program, RunsUntilSigtermAndExitsWith0)
{
    vst::test::TempDir dir;
    dir.write("fleet.ini", "[device]\nmac = 02:00:00:00:00:07\naddress = 127.0.0.1/8\nname = Prog\n");
    const uint16_t port = freeLoopbackPort();
    const uint16_t webPort = freeLoopbackTcpPort();
    Program program({"--fleet", dir.file("fleet.ini"), "--bind", "127.0.0.1", "--port", std::to_string(port),
                     "--web-port", std::to_string(webPort)});
    ASSERT_EQ(program.read(5000, "\n"), "ready\n");
    LoopbackSocket station;
    ASSERT_TRUE(station.sendTo(0x7F000001, port, searchRequest()));
    const auto reply = station.receive(2000);
    ASSERT_TRUE(reply);
    EXPECT_EQ(fieldText(reply->bytes, 23, 16), "Prog");
    EXPECT_EQ(exchange(0x7F000001, webPort, loginRequest(0x7F000001, "")).location(), "/system/index.htm?state=1");
    program.signal(SIGTERM);
    EXPECT_EQ(program.wait(5000), 0);
}

// With --state the devices keep what they were told across runs: the file follows a change while
// the simulator runs (so nothing is lost even when it is killed), the next run starts from it and
// prints the moved addresses, and a file that is not a state file is refused and left alone.
TEST(Program, StateFileKeepsWhatTheDevicesWereToldAcrossRuns)
{
    vst::test::TempDir dir;
    dir.write("fleet.ini", "[device]\nmac = 02:00:00:00:00:07\naddress = 127.0.0.1/8\nname = Prog\nrestart_ms = 0\n");
    const Mac mac = {0x02, 0, 0, 0, 0, 7};
    const uint16_t port = freeLoopbackPort();
    const std::vector<std::string> fleet = {"--fleet", dir.file("fleet.ini"), "--state", dir.file("state.ini")};
    auto withFleet = [&](std::vector<std::string> more) {
        more.insert(more.begin(), fleet.begin(), fleet.end());
        return more;
    };
    {
        Program program(withFleet({"--bind", "127.0.0.1", "--port", std::to_string(port), "--no-web"}));
        ASSERT_EQ(program.read(5000, "\n"), "ready\n");
        LoopbackSocket station;
        ASSERT_TRUE(station.sendTo(0x7F000001, port, setNameRequest(mac, "", "Kessel haus")));
        ASSERT_TRUE(station.receive(2000));
        NetworkRequest move;
        const uint8_t address[4] = {127, 0, 0, 2};
        std::copy(std::begin(address), std::end(address), move.address);
        ASSERT_TRUE(station.sendTo(0x7F000001, port, setNetworkRequest(mac, "", move)));
        ASSERT_TRUE(station.receive(2000));
        std::string text;
        for (int i = 0; i < 200 && text.find("address = 127.0.0.2\n") == std::string::npos; ++i) {
            ::poll(nullptr, 0, 10);
            text = dir.read("state.ini");
        }
        EXPECT_NE(text.find("name = Kessel haus\n"), std::string::npos) << text;
        EXPECT_NE(text.find("address = 127.0.0.2\nmask = 255.255.255.0\n"), std::string::npos) << text;
        program.signal(SIGTERM);
        EXPECT_EQ(program.wait(5000), 0);
    }
    Program cidr(withFleet({"--print-cidr"}));
    EXPECT_EQ(cidr.read(5000), "127.0.0.2/24\n");
    EXPECT_EQ(cidr.wait(5000), 0);
    {
        Program again(withFleet({"--bind", "127.0.0.2", "--port", std::to_string(port), "--no-web"}));
        ASSERT_EQ(again.read(5000, "\n"), "ready\n");
        LoopbackSocket station;
        ASSERT_TRUE(station.sendTo(0x7F000002, port, searchRequest()));
        const auto reply = station.receive(2000);
        ASSERT_TRUE(reply);
        EXPECT_EQ(fieldText(reply->bytes, 23, 16), "Kessel haus");
        again.signal(SIGTERM);
        EXPECT_EQ(again.wait(5000), 0);
    }
    dir.write("broken.ini", "[device]\nmac = nonsense\n");
    Program broken({"--fleet", dir.file("fleet.ini"), "--state", dir.file("broken.ini"), "--print-cidr"});
    EXPECT_EQ(broken.wait(5000), 2);
    EXPECT_EQ(dir.read("broken.ini"), "[device]\nmac = nonsense\n");
}

TEST(Program, BadArgumentsExitWith2)
{
    Program program({"--generate", "1"});
    EXPECT_EQ(program.wait(5000), 2);
    Program badWebPort({"--generate", "1", "--network", "10.1.0.0/16", "--web-port", "65536"});
    EXPECT_EQ(badWebPort.wait(5000), 2);
}

}  // namespace
