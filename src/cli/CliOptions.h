#pragma once
// The console's command line: the options it takes, their parsing, the help text, and the
// scripted operator that the options describe.
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cli/ConsoleChannel.h"

namespace vst::cli {

struct Arguments {
    std::map<std::string, std::string> values;
    std::multimap<std::string, std::string> lists;  // repeatable options, in the order given
    std::set<std::string> flags;
    std::vector<std::string> positional;  // Windows-1252
    std::string error;

    bool has(const std::string& name) const { return values.count(name) || flags.count(name); }
    std::string value(const std::string& name) const
    {
        auto it = values.find(name);
        return it == values.end() ? std::string() : it->second;
    }
};

Arguments parseArguments(int argc, char** argv);
// True for an option that takes a value (once or repeatedly).
bool takesValue(const std::string& option);

// A usage error: its reason on one line, then where the help is (37405); exit status 1.
int usageError(std::FILE* err, const std::string& why);
// A refusal or failure text (Windows-1252) on the output stream; exit status 1.
int printFailure(std::FILE* out, const std::string& text);

// The language of this run: --lang when it is "de" or "en", else the stored choice. False for
// another --lang value (the stored choice is used for the message then).
bool chooseLanguage(const std::optional<std::string>& lang);

// A field of the TAB-separated output: control bytes (below 0x20, and 0x7F) would break the
// columns or the terminal, so each is printed as '?'.
std::string printable(const std::string& cp1252);

// The scripted operator of the function tests and workflows, from the options. Refusals of a
// value print the window's message and give 1; a malformed option gives the usage.
std::optional<int> readScript(const Arguments& args, ScriptedOperator& script, std::FILE* out, std::FILE* err);

}  // namespace vst::cli
