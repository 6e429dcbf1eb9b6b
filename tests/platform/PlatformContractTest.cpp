// The platform services' contract, one suite for both implementations (POSIX here, Win32 in the
// Windows build, which runs under Wine): settings round trip, atomic replace, set-aside without
// replacing, locked appends from two processes, child process with merged output and time-out,
// sockets bound to a card address.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <map>
#include <sstream>

#include "app/Records.h"
#include "ops/Programming.h"
#include "platform/ChildProcess.h"
#include "platform/Clock.h"
#include "platform/FileLock.h"
#include "platform/FileSystem.h"
#include "platform/ManualClock.h"
#include "platform/ProcessCommandLine.h"
#include "platform/ScaledClock.h"
#include "platform/SettingsStore.h"
#include "platform/TcpSocket.h"
#include "platform/UdpSocket.h"
#include "support/TempDir.h"

#ifdef _WIN32
#include <winsock2.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

using namespace vst;

namespace {

constexpr uint32_t kLoopback = 0x7F000001;

std::string helperPath()
{
#ifdef _WIN32
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    return platform::stationPath(std::filesystem::path(self).parent_path() / "vst_platform_helper.exe");
#else
    return VST_PLATFORM_HELPER;
#endif
}

platform::ChildProcessResult runHelper(std::vector<std::string> arguments, uint32_t timeoutMs = 20000,
                                       const std::string& folder = "")
{
    platform::ChildProcessRequest request;
    request.arguments = {helperPath()};
    request.arguments.insert(request.arguments.end(), arguments.begin(), arguments.end());
    request.workingFolder = folder;
    request.timeoutMs = timeoutMs;
    request.environment = {"VST_HELPER_VALUE=given"};
    return platform::runChildProcess(request);
}

bool runningUnderWine()
{
#ifdef _WIN32
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

// A settings store of the platform's own kind, kept apart from the machine's values, and a way to
// put a text value into it the way other software would.
class SettingsPlace {
public:
#ifdef _WIN32
    SettingsPlace() : prefix_("Software\\VestrolanContractTest\\" + std::to_string(GetCurrentProcessId())),
                      store_(HKEY_CURRENT_USER, prefix_) {}
    ~SettingsPlace()
    {
        RegDeleteTreeA(HKEY_CURRENT_USER, prefix_.c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\VestrolanContractTest");
    }
    void putText(const std::string& key, const std::string& name, const std::wstring& value)
    {
        HKEY h = nullptr;
        const std::string full = prefix_ + "\\" + key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, full.c_str(), 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_32KEY,
                                  nullptr, &h, nullptr), ERROR_SUCCESS);
        RegSetValueExW(h, std::wstring(name.begin(), name.end()).c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(value.c_str()), static_cast<DWORD>((value.size() + 1) * 2));
        RegCloseKey(h);
    }
    platform::SettingsStore& store() { return store_; }

private:
    std::string prefix_;
    platform::RegistrySettingsStore store_;
#else
    SettingsPlace() : store_(dir_.path() / "settings.ini") {}
    // The INI file holds texts as the station's bytes; the test's texts are UTF-16 like the registry's.
    void putText(const std::string& key, const std::string& name, const std::wstring& value)
    {
        std::string bytes;
        for (wchar_t c : value) bytes += static_cast<char>(c);  // Latin-1 range only in these tests
        std::ofstream out(dir_.path() / "settings.ini", std::ios::app | std::ios::binary);
        out << "[" << key << "]\n" << name << "=" << bytes << "\n";
    }
    platform::SettingsStore& store() { return store_; }

private:
    test::TempDir dir_;
    platform::IniSettingsStore store_;
#endif
};

}  // namespace

TEST(PlatformContract, SettingsRoundTripByKeyPathWithoutCaseOrTrailingBackslash)
{
    SettingsPlace place;
    auto& store = place.store();
    const std::string key = "SOFTWARE\\KW\\Vestrolan-Manager\\";
    EXPECT_FALSE(store.readNumber(key, "Language"));
    ASSERT_TRUE(store.writeNumber(key, "Language", 10000));
    EXPECT_EQ(store.readNumber(key, "Language"), 10000u);
    EXPECT_EQ(store.readNumber("software\\kw\\vestrolan-manager", "LANGUAGE"), 10000u);
    ASSERT_TRUE(store.writeNumber(key, "Language", 0));
    EXPECT_EQ(store.readNumber(key, "Language"), 0u);
    EXPECT_EQ(store.readNumber(key, "Language"), 0u);
    // A text is not a number, and a number is not a text.
    EXPECT_FALSE(store.readText(key, "Language", 64));

    place.putText("SOFTWARE\\KW", "VodirurudorazSprache", L"Deutsch");
    place.putText("SOFTWARE\\KW", "Umlaut", L"Gr\u00F6\u00DFe");
    EXPECT_EQ(store.readText("SOFTWARE\\KW\\", "VodirurudorazSprache", 64), "Deutsch");
    EXPECT_EQ(store.readText("SOFTWARE\\KW", "Umlaut", 64), "Gr\xF6\xDF" "e");  // the station's code page
    EXPECT_FALSE(store.readNumber("SOFTWARE\\KW", "VodirurudorazSprache"));
    // The limit counts the terminator: "Deutsch" needs 8 bytes.
    EXPECT_TRUE(store.readText("SOFTWARE\\KW", "VodirurudorazSprache", 8));
    EXPECT_FALSE(store.readText("SOFTWARE\\KW", "VodirurudorazSprache", 7));
    EXPECT_FALSE(store.readText("SOFTWARE\\KW", "Missing", 64));
}

TEST(PlatformContract, ReplaceIsAtomicAndLeavesNoTemporaryFile)
{
    test::TempDir dir;
    const auto target = dir.path() / "Endtest.log";
    dir.write("Endtest.log", "old\r\n");
    ASSERT_TRUE(platform::replaceFile(target, "new\r\ncontent\n"));
    EXPECT_EQ(dir.read("Endtest.log"), "new\r\ncontent\n");  // bytes as given: no line-end translation
    {
        platform::ReplacingFileWriter writer;
        ASSERT_TRUE(writer.open(target));
        ASSERT_TRUE(writer.write("half"));
        // Abandoned: the old content stays.
    }
    EXPECT_EQ(dir.read("Endtest.log"), "new\r\ncontent\n");
    ASSERT_TRUE(platform::replaceFile(dir.path() / "fresh.bak", "first"));
    EXPECT_EQ(dir.read("fresh.bak"), "first");
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        ++files;
        EXPECT_EQ(entry.path().extension(), entry.path().filename() == "Endtest.log" ? ".log" : ".bak");
    }
    EXPECT_EQ(files, 2u);
}

TEST(PlatformContract, SetAsideNeverReplacesAnotherFile)
{
    test::TempDir dir;
    const std::string folder = platform::stationPath(dir.path());
    const std::string log = platform::joinPath(folder, "Endtest.log");
    dir.write("Endtest.log", "first");
    dir.write("other.txt", "keep");
    // The exclusive claim and the move both refuse a name that is taken.
    EXPECT_FALSE(platform::createNewFile(platform::joinPath(folder, "other.txt")));
    EXPECT_FALSE(platform::moveFile(log, platform::joinPath(folder, "other.txt")));
    EXPECT_EQ(dir.read("other.txt"), "keep");
    EXPECT_EQ(dir.read("Endtest.log"), "first");
    EXPECT_TRUE(platform::createNewFile(platform::joinPath(folder, "claimed.txt")));

    platform::ManualClock clock;
    clock.setLocalTime({2026, 12, 9, 5, 6, 7});
    platform::ScopedClock scoped(clock);
    ASSERT_TRUE(app::setRecordAside(log));
    dir.write("Endtest.log", "second");
    ASSERT_TRUE(app::setRecordAside(log));  // the same second: the next free name
    EXPECT_EQ(dir.read("Endtest_2026-12-09-05-06-07.log"), "first");
    EXPECT_EQ(dir.read("Endtest_2026-12-09-05-06-07_2.log"), "second");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "Endtest.log"));
}

TEST(PlatformContract, LockedAppendsFromTwoProcessesNeverInterleave)
{
    test::TempDir dir;
    dir.write("SNR.LOG", "");
    const std::string file = platform::stationPath(dir.path() / "SNR.LOG");
    platform::ChildProcess a;
    platform::ChildProcess b;
    platform::ChildProcessRequest request;
    request.arguments = {helperPath(), "append", file, "A", "40"};
    ASSERT_TRUE(a.start(request));
    request.arguments = {helperPath(), "append", file, "B", "40"};
    ASSERT_TRUE(b.start(request));
    std::string ignored;
    while (a.poll(ignored) | b.poll(ignored)) platform::clock().sleep(1);
    EXPECT_EQ(a.exitCode(), 0);
    EXPECT_EQ(b.exitCode(), 0);

    std::istringstream lines(dir.read("SNR.LOG"));
    std::map<std::string, int> next;
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string tag, begin, end;
        int i = -1;
        words >> tag >> i >> begin >> end;
        ASSERT_EQ(begin + " " + end, "begin end") << line;
        EXPECT_EQ(i, next[tag]++) << line;
        ++count;
    }
    EXPECT_EQ(count, 80);
}

TEST(PlatformContract, LockHeldByAnotherProcessIsBusyUntilThatProcessEnds)
{
    test::TempDir dir;
    dir.write("SNR.LOG", "x\n");
    const std::string file = platform::stationPath(dir.path() / "SNR.LOG");
    platform::ChildProcess holder;
    platform::ChildProcessRequest request;
    request.arguments = {helperPath(), "hold", file, "600000"};
    ASSERT_TRUE(holder.start(request));
    std::string said;
    for (int i = 0; i < 20000 && said.find("locked") == std::string::npos && holder.poll(said); ++i) {
        platform::clock().sleep(1);
    }
    ASSERT_NE(said.find("locked"), std::string::npos);
    platform::FileRegionLock lock;
    EXPECT_EQ(lock.acquire(platform::osPath(file), 100), platform::FileRegionLock::Result::Busy);
    holder.kill();
    EXPECT_EQ(lock.acquire(platform::osPath(file), 5000), platform::FileRegionLock::Result::Locked);
    EXPECT_EQ(lock.acquire(dir.path() / "missing.log", 0), platform::FileRegionLock::Result::CannotOpen);
}

// A failed lock tells a missing log (or folder) from every other failure and gives the system's
// reason; on a file system without locks the file is still open for appending, without the lock.
TEST(PlatformContract, LockFailuresTellMissingFromOtherErrors)
{
#ifdef _WIN32
    const int noLocks = ERROR_NOT_SUPPORTED;
    const int otherError = ERROR_ACCESS_DENIED;
#else
    const int noLocks = ENOLCK;
    const int otherError = EIO;
#endif
    test::TempDir dir;
    std::filesystem::create_directory(dir.path() / "folder.log");
    const struct {
        std::filesystem::path file;
        bool missing;
    } failures[] = {
        {dir.path() / "missing.log", true},
        {dir.path() / "no-folder" / "SNR.LOG", true},
        {dir.path() / "folder.log", false},
    };
    for (const auto& f : failures) {
        platform::FileRegionLock lock;
        EXPECT_EQ(lock.acquire(f.file, 0), platform::FileRegionLock::Result::CannotOpen) << f.file;
        EXPECT_EQ(lock.missing(), f.missing) << f.file;
        EXPECT_FALSE(lock.errorText().empty()) << f.file;
        EXPECT_FALSE(lock.held());
    }

    dir.write("SNR.LOG", "x\n");
    const auto file = dir.path() / "SNR.LOG";
    platform::FileRegionLock::failLocksForTesting(noLocks);
    platform::FileRegionLock unlocked;
    EXPECT_EQ(unlocked.acquire(file, 0), platform::FileRegionLock::Result::Unlockable);
    EXPECT_FALSE(unlocked.missing());
    EXPECT_FALSE(unlocked.errorText().empty());
    EXPECT_TRUE(unlocked.append("y\n"));
    unlocked.release();
    platform::FileRegionLock::failLocksForTesting(otherError);
    platform::FileRegionLock refused;
    EXPECT_EQ(refused.acquire(file, 0), platform::FileRegionLock::Result::CannotOpen);
    EXPECT_FALSE(refused.missing());
    EXPECT_FALSE(refused.errorText().empty());
    EXPECT_FALSE(refused.append("z\n"));
    platform::FileRegionLock::failLocksForTesting(std::nullopt);
    EXPECT_EQ(refused.acquire(file, 0), platform::FileRegionLock::Result::Locked);
    EXPECT_TRUE(refused.errorText().empty());
    refused.release();
    EXPECT_EQ(dir.read("SNR.LOG"), "x\ny\n");
}

TEST(PlatformContract, ChildProcessMergesOutputRunsInItsFolderAndReportsItsExit)
{
    const auto printed = runHelper({"print"});
    ASSERT_TRUE(printed.started);
    EXPECT_FALSE(printed.timedOut);
    EXPECT_EQ(printed.output, "one\ntwo\nthree\n");  // the same bytes on every platform
    EXPECT_EQ(printed.exitCode, 3);

    test::TempDir dir;
    const std::string folder = platform::stationPath(dir.path());
    const auto where = runHelper({"where"}, 20000, folder);
    ASSERT_TRUE(where.started);
    EXPECT_EQ(where.output, folder + "|given|empty\n");

    platform::ChildProcessRequest missing;
    missing.arguments = {platform::joinPath(folder, "no-such-program")};
    EXPECT_FALSE(platform::runChildProcess(missing).started);
}

TEST(PlatformContract, ChildProcessTimeOutKillsTheWholeTree)
{
    test::TempDir dir;
    dir.write("tree.lock", "");
    const std::string file = platform::stationPath(dir.path() / "tree.lock");
    const auto run = runHelper({"tree", file}, 3000);
    ASSERT_TRUE(run.started);
    EXPECT_TRUE(run.timedOut);
    EXPECT_EQ(run.exitCode, -1);
    EXPECT_NE(run.output.find("started"), std::string::npos) << run.output;
    // The grandchild held the lock until it was killed with its parent.
    platform::FileRegionLock lock;
    EXPECT_EQ(lock.acquire(platform::osPath(file), 5000), platform::FileRegionLock::Result::Locked);
}

TEST(PlatformContract, CommandLineQuotingGivesTheArgumentsBack)
{
    const struct {
        std::vector<std::string> arguments;
        std::string line;
    } cases[] = {
        {{"C:\\Tools\\ipecmd.exe", "-OL", "-TPPK3"}, "C:\\Tools\\ipecmd.exe -OL -TPPK3"},
        {{"C:\\Program Files\\x.exe", ""}, "\"C:\\Program Files\\x.exe\" \"\""},
        {{"a\"b", "c d\\"}, "\"a\\\"b\" \"c d\\\\\""},
        {{"-FD:\\fw\\a b.hex", "x\\\\\"y"}, "\"-FD:\\fw\\a b.hex\" \"x\\\\\\\\\\\"y\""},
    };
    for (const auto& c : cases) EXPECT_EQ(platform::windowsCommandLine(c.arguments), c.line);
}

TEST(PlatformContract, UdpSocketsBoundToACardAddress)
{
    platform::UdpSocket station;
    platform::UdpSocket device;
    ASSERT_TRUE(station.open());
    ASSERT_TRUE(device.open());
    station.setReceiveBuffer(1 << 20);
    ASSERT_TRUE(station.bind(kLoopback, 0));
    ASSERT_TRUE(device.bind(kLoopback, 0));
    ASSERT_NE(station.localPort(), 0);
    // An address that belongs to no card of this PC cannot be bound.
    platform::UdpSocket stranger;
    ASSERT_TRUE(stranger.open());
    // (Wine takes such a bind and listens on every card instead, so this is checked only elsewhere.)
    if (!runningUnderWine()) {
        EXPECT_FALSE(stranger.bind(0xC0000201, 0));  // 192.0.2.1
    }

    char none[8];
    EXPECT_FALSE(station.receive(none, sizeof none));  // non-blocking: nothing waiting
    const std::string big(100, 'x');
    ASSERT_TRUE(device.sendTo(kLoopback, station.localPort(), "KW_VtL?S", 8));
    ASSERT_TRUE(device.sendTo(kLoopback, station.localPort(), big.data(), big.size()));

    std::optional<platform::UdpSocket::Peeked> peeked;
    for (int i = 0; i < 2000 && !(peeked = station.peek(none, sizeof none)); ++i) platform::clock().sleep(1);
    ASSERT_TRUE(peeked);
    EXPECT_EQ(peeked->size, 8u);
    char buffer[16] = {};
    auto first = station.receive(buffer, sizeof buffer);
    ASSERT_TRUE(first);
    EXPECT_EQ(std::string(buffer, first->copied), "KW_VtL?S");
    EXPECT_EQ(first->source, kLoopback);
    EXPECT_EQ(first->sourcePort, device.localPort());
    std::optional<platform::UdpSocket::Received> second;
    for (int i = 0; i < 2000 && !(second = station.receive(buffer, 10)); ++i) platform::clock().sleep(1);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->copied, 10u);  // cut to the buffer, the rest dropped
    EXPECT_GT(second->size, 10u);
    EXPECT_FALSE(station.receive(buffer, sizeof buffer));
}

TEST(PlatformContract, TcpConnectionFromACardAddress)
{
    uint16_t port = 0;
    const platform::NativeSocket listening = platform::listenTcp(kLoopback, 0, &port);
    ASSERT_NE(listening, platform::kNoSocket);
    platform::TcpSocket client;
    ASSERT_TRUE(client.open());
    client.setBufferSizes(997, 997);
    ASSERT_TRUE(client.bind(kLoopback, 0));
    auto state = client.startConnect(kLoopback, port);
    for (int i = 0; i < 2000 && state == platform::TcpSocket::Connect::InProgress; ++i) {
        platform::clock().sleep(1);
        state = client.connectResult();
    }
    ASSERT_EQ(state, platform::TcpSocket::Connect::Done);
    EXPECT_TRUE(client.waitWritable(1000));
    EXPECT_EQ(client.send("GET / HTTP/1.1\r\n", 16), 16);
    char buffer[8];
    EXPECT_EQ(client.receive(buffer, sizeof buffer), platform::TcpSocket::kWouldBlock);
    EXPECT_TRUE(client.close());
#ifdef _WIN32
    closesocket(static_cast<SOCKET>(listening));
#else
    ::close(listening);
#endif

    // Nobody listens there any more: the attempt fails instead of hanging.
    platform::TcpSocket refused;
    ASSERT_TRUE(refused.open());
    state = refused.startConnect(kLoopback, port);
    for (int i = 0; i < 3000 && state == platform::TcpSocket::Connect::InProgress; ++i) {
        platform::clock().sleep(1);
        state = refused.connectResult();
    }
    EXPECT_EQ(state, platform::TcpSocket::Connect::Failed);
}

TEST(PlatformContract, ProgrammerCommandLineAsWindowsPassesIt)
{
    ops::ProgrammerSettings settings;
    settings.toolFolder.assign("C:\\Tools");
    settings.programmerType.assign("PK3");
    settings.part.assign("32MZ2048ECG100");
    const std::string tool = platform::joinPath("C:\\Tools", "ipecmd.exe");
    EXPECT_EQ(ops::programmerCommandLine(settings, {"-FD:\\fw\\new 1.hex", "-M"}),
              "\"" + tool + "\" -OL -TPPK3 -P32MZ2048ECG100 -F\"D:\\fw\\new 1.hex\" -M");
    EXPECT_EQ(ops::programmerCommandLine(settings, {"-E"}), "\"" + tool + "\" -OL -TPPK3 -P32MZ2048ECG100 -E");
}

// A clock made for a benchmark's preparation runs fast until the run's measured part begins and
// then at real speed, its ticks never going back; a test's scaled clock ignores the switch.
TEST(PlatformContract, ScaledClockReturnsToRealSpeedOnlyWhenMadeForAPreparation)
{
    for (const bool preparationOnly : {true, false}) {
        SCOPED_TRACE(preparationOnly);
        platform::ScaledClock clock(1000, preparationOnly);
        const uint32_t start = clock.tickCount();
        clock.sleep(20000);  // 20 ms real
        const uint32_t before = clock.tickCount();
        EXPECT_GE(before - start, 20000u);
        clock.returnToRealSpeed();
        EXPECT_GE(clock.tickCount(), before);
        const auto real0 = std::chrono::steady_clock::now();
        // 30 ms at real speed; 20 s (20 ms real) on a clock still a thousand times faster.
        clock.sleep(preparationOnly ? 30 : 20000);
        const uint32_t after = clock.tickCount();
        const auto realMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - real0).count();
        if (preparationOnly) {
            EXPECT_GE(realMs, 30.0) << "a sleep of 30 ms at real speed";
            EXPECT_LE(after - before, static_cast<uint32_t>(realMs) + 50) << "ticks at real speed";
        } else {
            EXPECT_LT(realMs, 1000.0) << "still a thousand times faster";
            EXPECT_GE(after - before, 20000u);
        }
    }
}
