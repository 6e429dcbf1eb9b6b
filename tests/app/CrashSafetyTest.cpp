// Kills a process that writes records, a configuration file, a backup and the settings file and
// appends to SNR.LOG and the journal at random moments, and checks after every kill that each file
// is either the old or the new one, whole, and that the log and the journal hold only whole lines.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "CrashWriterContent.h"
#include "app/Journal.h"
#include "app/Json.h"
#include "platform/FileSystem.h"
#include "platform/Host.h"
#include "platform/SettingsStore.h"
#include "support/TempDir.h"

using vst::test::TempDir;

namespace {

struct Writer {
    pid_t pid = -1;
    int ready = -1;  // read end of the child's standard output
};

Writer start(const std::string& folder, const std::string& settings, int firstKind)
{
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        const std::string kind = std::to_string(firstKind);
        ::dup2(pipeFds[1], 1);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        ::execl(VST_CRASH_WRITER, VST_CRASH_WRITER, folder.c_str(), settings.c_str(), kind.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    return {pid, pipeFds[0]};
}

// "" when the file is a whole content of some round, else what is wrong with it.
std::string checkWhole(const TempDir& dir, const std::string& name, const std::string& kind)
{
    const auto bytes = vst::platform::readFileBytes(dir.path() / name);
    if (!bytes) return name + " is missing";
    const uint32_t round = vst::test::crashWriterRound(*bytes);
    if (round == 0 || *bytes != vst::test::crashWriterContent(kind, round)) {
        return name + " is not whole (" + std::to_string(bytes->size()) + " bytes)";
    }
    return "";
}

std::string checkLog(const std::string& log)
{
    if (!log.empty() && log.back() != '\n') return "SNR.LOG ends inside a line";
    size_t pos = 0;
    while (pos < log.size()) {
        const size_t lf = log.find('\n', pos);
        const std::string line = log.substr(pos, lf - pos);
        // "dd.mm.yyyy hh:mm:ss KT nnnnnnnn"
        if (line.size() != 31 || line.substr(19, 4) != " KT ") return "SNR.LOG holds a broken line: " + line;
        pos = lf + 1;
    }
    return "";
}

// Every journal line is a whole JSON object. A write cut short by the kill (a line across a page
// boundary can be) may leave its unfinished line at the very end, without a line end: `torn`
// says so, and the next append cuts it off.
std::string checkJournal(const std::string& journal, bool& torn)
{
    const size_t lastEnd = journal.rfind('\n');
    const size_t whole = lastEnd == std::string::npos ? 0 : lastEnd + 1;
    torn = whole < journal.size();
    size_t pos = 0;
    while (pos < whole) {
        const size_t lf = journal.find('\n', pos);
        const std::string line = journal.substr(pos, lf - pos);
        if (!vst::app::json::objectMembers(line)) return "the journal holds a broken line: " + line;
        pos = lf + 1;
    }
    return "";
}

}  // namespace

TEST(CrashSafety, KilledWriterLeavesOldOrNewFilesAndWholeLogLines)
{
    TempDir dir;
    const std::string settingsFile = dir.file("settings.ini");
    dir.write("settings.ini", "; kept\n[SOFTWARE\\KW\\Other]\nKeep=dword:7\n");
    dir.write("SNR.LOG", "");
    // Seed every file with a first whole round.
    for (const auto& [name, kind] : {std::pair<std::string, std::string>{"Endtest.log", "record"},
                                     {"config-processlist.bak", "config"},
                                     {"backup.xml", "backup"}}) {
        ASSERT_TRUE(vst::platform::replaceFile(dir.path() / name, vst::test::crashWriterContent(kind, 1)));
    }
    ASSERT_TRUE(vst::platform::IniSettingsStore(settingsFile).writeNumber(vst::test::kCrashSettingsKey, "Round", 1));

    // Another station's leftover in the shared folder: no writer of this host may remove it.
    const std::string foreign = ".vst-" + vst::platform::fileNameHost(vst::platform::hostName()) + "-other-" +
                                std::to_string(::getpid()) + "-abcdef.tmp";
    dir.write(foreign, "another station's half-written file");
    int interrupted = 0;
    int tornJournal = 0;

    constexpr int kKills = 1000;
    std::mt19937 random(20240506);
    // Up to 10 ms: a slow writer (a sanitizer build on a busy machine) is still caught in its rounds.
    std::uniform_int_distribution<int> delayUs(0, 10000);
    const auto started = std::chrono::steady_clock::now();
    for (int kill = 0; kill < kKills; ++kill) {
        Writer w = start(dir.str(), settingsFile, kill);
        ASSERT_GT(w.pid, 0);
        // Let the writer get under way, then kill it somewhere in its rounds.
        char byte;
        ASSERT_EQ(::read(w.ready, &byte, 1), 1);
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
        ::kill(w.pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(w.pid, &status, 0), w.pid);
        ::close(w.ready);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended by itself: " << status;
        // A kill inside a replacement leaves the writer's temporary file behind (until the next
        // writer of this host removes it): proof that the kills hit the writes, not only the gaps.
        for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
            const auto owner = vst::platform::temporaryFileOwner(e.path().filename().string());
            if (owner && owner->pid == static_cast<uint32_t>(w.pid)) {
                ++interrupted;
                break;
            }
        }

        for (const auto& [name, kind] : {std::pair<std::string, std::string>{"Endtest.log", "record"},
                                         {"config-processlist.bak", "config"},
                                         {"backup.xml", "backup"}}) {
            ASSERT_EQ(checkWhole(dir, name, kind), "") << "after kill " << kill;
        }
        vst::platform::IniSettingsStore settings(settingsFile);
        ASSERT_EQ(settings.readNumber("SOFTWARE\\KW\\Other", "Keep"), 7u) << "after kill " << kill;
        ASSERT_TRUE(settings.readNumber(vst::test::kCrashSettingsKey, "Round").has_value()) << "after kill " << kill;
        ASSERT_EQ(checkLog(dir.read("SNR.LOG")), "") << "after kill " << kill;
        bool torn = false;
        ASSERT_EQ(checkJournal(dir.read("_Records/crash/2026-03.jsonl"), torn), "") << "after kill " << kill;
        if (torn) ++tornJournal;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    // The leftovers of the killed writers are this host's and their processes are gone: the next
    // write removes them all; the other station's file stays.
    vst::platform::removeLeftoverTemporaryFiles(dir.path());
    int left = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
        if (e.path().filename().string().rfind(".vst-", 0) == 0) ++left;
    }
    EXPECT_EQ(left, 1);
    EXPECT_EQ(dir.read(foreign), "another station's half-written file");
    const std::string log = dir.read("SNR.LOG");
    // One more run's line: whatever the last kill left, the journal is whole lines only.
    vst::app::JournalRecord last;
    last.station.host = "crash";
    last.startedMs = 1772978709250;
    ASSERT_TRUE(vst::app::appendJournalRecord(dir.str(), last).ok);
    const std::string journal = dir.read("_Records/crash/2026-03.jsonl");
    bool torn = true;
    EXPECT_EQ(checkJournal(journal, torn), "");
    EXPECT_FALSE(torn);
    std::printf("%d kills in %.1f s, %d inside a replacement, %zu log lines, %zu journal lines, %d kills left a torn "
                "journal line\n",
                kKills, seconds, interrupted, static_cast<size_t>(std::count(log.begin(), log.end(), '\n')),
                static_cast<size_t>(std::count(journal.begin(), journal.end(), '\n')), tornJournal);
    EXPECT_GT(interrupted, kKills / 10);
}
