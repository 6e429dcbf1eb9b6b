#include "platform/ChildProcess.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <set>

#include "platform/FileSystem.h"
#include "platform/ProcessCommandLine.h"

namespace vst::platform {
namespace {

void closeQuietly(HANDLE& h)
{
    if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
    h = nullptr;
}

std::wstring wide(std::string_view cp1252) { return osPath(cp1252).wstring(); }

std::wstring upper(std::wstring text)
{
    for (auto& c : text) c = static_cast<wchar_t>(std::towupper(c));
    return text;
}

// The child's environment block: the station's own, without the unset names, with the extra
// entries (names compare without case, as Windows does).
std::wstring environmentBlock(const ChildProcessRequest& request)
{
    std::set<std::wstring> replaced;
    for (const auto& name : request.unsetEnvironment) replaced.insert(upper(wide(name)));
    for (const auto& entry : request.environment) replaced.insert(upper(wide(entry.substr(0, entry.find('=')))));
    std::wstring block;
    if (wchar_t* own = GetEnvironmentStringsW()) {
        for (const wchar_t* e = own; *e; e += wcslen(e) + 1) {
            const std::wstring entry = e;
            // Entries such as "=C:=C:\..." (the drives' current folders) have an empty first name.
            const size_t eq = entry.find(L'=', 1);
            if (!replaced.count(upper(entry.substr(0, eq)))) block += entry + L'\0';
        }
        FreeEnvironmentStringsW(own);
    }
    for (const auto& entry : request.environment) block += wide(entry) + L'\0';
    block += L'\0';
    return block;
}

}  // namespace

ChildProcess::~ChildProcess()
{
    if (running()) kill();
    HANDLE pipe = static_cast<HANDLE>(pipe_);
    if (pipe_ != kNoFile) closeQuietly(pipe);
    HANDLE process = static_cast<HANDLE>(process_);
    HANDLE job = static_cast<HANDLE>(job_);
    closeQuietly(process);
    closeQuietly(job);
}

bool ChildProcess::start(const ChildProcessRequest& request)
{
    if (request.arguments.empty() || started_) return false;
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 4096)) return false;
    // Only the write end goes to the child.
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    HANDLE input = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;

    std::wstring commandLine =
        wide(request.commandLine.empty() ? windowsCommandLine(request.arguments) : request.commandLine);
    const std::wstring folder = request.workingFolder.empty() ? std::wstring() : wide(request.workingFolder);
    std::wstring environment = environmentBlock(request);
    PROCESS_INFORMATION info{};
    // Started suspended, so that it is in the job before it can start anything of its own.
    const BOOL created = CreateProcessW(
        nullptr, commandLine.data(), nullptr, nullptr, TRUE,
        CREATE_NO_WINDOW | NORMAL_PRIORITY_CLASS | CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT, environment.data(),
        folder.empty() ? nullptr : folder.c_str(), &startup, &info);
    closeQuietly(writeEnd);
    closeQuietly(input);
    if (!created) {
        closeQuietly(readEnd);
        return false;
    }
    // The job holds the child and everything it starts, and kills them all when it is closed. A
    // station that already runs in a job which forbids this keeps the child alone.
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (job) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        if (!AssignProcessToJobObject(job, info.hProcess)) closeQuietly(job);
    }
    ResumeThread(info.hThread);
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    job_ = job;
    pipe_ = readEnd;
    started_ = true;
    return true;
}

void ChildProcess::reap(bool block)
{
    if (!started_ || exited_) return;
    if (WaitForSingleObject(static_cast<HANDLE>(process_), block ? INFINITE : 0) != WAIT_OBJECT_0) return;
    exited_ = true;
    DWORD code = 0;
    exitCode_ = !killed_ && GetExitCodeProcess(static_cast<HANDLE>(process_), &code) ? static_cast<int>(code) : -1;
}

bool ChildProcess::poll(std::string& out)
{
    if (!started_) return false;
    reap(false);
    char buffer[4096];
    while (pipe_ != kNoFile) {
        HANDLE pipe = static_cast<HANDLE>(pipe_);
        DWORD waiting = 0;
        if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &waiting, nullptr)) {
            closeQuietly(pipe);  // every writer has gone
            pipe_ = kNoFile;
            break;
        }
        if (waiting == 0) break;
        DWORD n = 0;
        if (!ReadFile(pipe, buffer, std::min<DWORD>(waiting, sizeof buffer), &n, nullptr) || n == 0) {
            closeQuietly(pipe);
            pipe_ = kNoFile;
            break;
        }
        out.append(buffer, n);
    }
    if (!exited_) return true;
    // The child has ended and what it wrote has been read. Anything still holding the pipe open is
    // a descendant; its output no longer belongs to this run.
    if (pipe_ != kNoFile) {
        HANDLE pipe = static_cast<HANDLE>(pipe_);
        closeQuietly(pipe);
        pipe_ = kNoFile;
    }
    return false;
}

void ChildProcess::kill()
{
    if (!started_ || exited_) return;
    killed_ = true;
    if (job_) TerminateJobObject(static_cast<HANDLE>(job_), 1);
    TerminateProcess(static_cast<HANDLE>(process_), 1);
    reap(true);
}

std::vector<std::string> shellCommand(const std::string& command) { return {"cmd", "/c", command}; }

const char* shellCommandName() { return "cmd /c"; }

std::vector<std::string> neighbourCacheFlushCommand()
{
    // Run without a console window (the child process is always started hidden).
    return {"arp", "-d"};
}

}  // namespace vst::platform
