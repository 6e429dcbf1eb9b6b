// A stand-in for the programmer tool, for tests and the demo. Installed as "ipecmd.exe" in a
// folder, it records every call (working folder and arguments) and prints what its settings file
// "ipe-standin.conf" beside it says for the action (-E erase, -F... program):
//
//   erase = TEXT            printed for -E (default "Operation Succeeded"; \n is a line break)
//   program = TEXT          printed for -F (same default)
//   erase-mode = MODE       print (default) | silent | banner | hang
//   program-mode = MODE     the same for -F
//   megabytes = N           N MiB of progress dots before the text
//   power-up = COMMAND      run with sh -c after a program action whose text holds
//                           "Operation Succeeded" (the board "starts")
//   record = FILE           where calls are recorded (default ipe-calls.txt beside the tool)
//
// Each call is recorded as "call", "cwd<TAB>folder", one "arg<TAB>argument" line per argument
// and "end".
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

namespace {

std::string folderOfSelf()
{
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return ".";
    std::string path(buffer, static_cast<size_t>(n));
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string trim(const std::string& s)
{
    const size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos) return {};
    const size_t b = s.find_last_not_of(" \t\r");
    return s.substr(a, b - a + 1);
}

std::string unescape(const std::string& s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size() && s[i + 1] == 'n') {
            out += '\n';
            ++i;
        } else {
            out += s[i];
        }
    }
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string folder = folderOfSelf();
    std::map<std::string, std::string> settings;
    std::ifstream conf(folder + "/ipe-standin.conf");
    for (std::string line; std::getline(conf, line);) {
        const size_t eq = line.find('=');
        if (line.empty() || line[0] == '#' || eq == std::string::npos) continue;
        settings[trim(line.substr(0, eq))] = trim(line.substr(eq + 1));
    }
    auto setting = [&](const std::string& key, const std::string& fallback) {
        auto it = settings.find(key);
        return it == settings.end() ? fallback : it->second;
    };

    std::string record = setting("record", "ipe-calls.txt");
    if (record.empty() || record[0] != '/') record = folder + "/" + record;
    char cwd[PATH_MAX];
    if (!::getcwd(cwd, sizeof cwd)) cwd[0] = '\0';
    {
        std::ofstream calls(record, std::ios::app);
        calls << "call\ncwd\t" << cwd << "\n";
        for (int i = 0; i < argc; ++i) calls << "arg\t" << argv[i] << "\n";
        calls << "end\n";
    }

    std::string action;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-E") action = "erase";
        else if (a.rfind("-F", 0) == 0) action = "program";
    }
    if (action.empty()) {
        std::puts("IPECMD stand-in: no action given");
        return 1;
    }
    const std::string mode = setting(action + "-mode", "print");
    if (mode == "hang") {
        std::puts("IPECMD stand-in: working...");
        std::fflush(stdout);
        for (;;) ::pause();
    }
    if (mode == "silent") return 0;
    std::puts("*****************************************************");
    std::puts("IPECMD stand-in (Vestrolan workshop test tool)");
    if (mode == "banner") return 0;

    const long megabytes = std::strtol(setting("megabytes", "0").c_str(), nullptr, 10);
    const std::string dots(1024, '.');
    for (long i = 0; i < megabytes * 1024; ++i) std::fwrite(dots.data(), 1, dots.size(), stdout);
    if (megabytes > 0) std::fputc('\n', stdout);

    const std::string text = unescape(setting(action, "Operation Succeeded"));
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    if (action == "program" && text.find("Operation Succeeded") != std::string::npos) {
        const std::string powerUp = setting("power-up", "");
        if (!powerUp.empty()) {
            const int status = std::system(powerUp.c_str());
            (void)status;
        }
    }
    return 0;
}
