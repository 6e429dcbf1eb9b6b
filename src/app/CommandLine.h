#pragma once
// The command-line scanner. Options are "-NAME" or "-NAME=value", separated by blanks; a value with
// blanks is enclosed in double quotes. Names match keywords case-sensitively by prefix, in a fixed
// keyword order; unknown options and stray text are ignored; a later option overrides an earlier one.
#include <cstdint>
#include <string_view>

#include "app/AppSettings.h"

namespace vst::app {

// Applies every option of the text (the part after the program name) to `settings`.
void parseCommandLine(std::string_view commandLine, AppSettings& settings);

// Dotted IPv4 text to a host-byte-order number with the rules of the classic inet_addr: one to four
// parts, each decimal, octal (leading 0) or hexadecimal (leading 0x), the last part filling the
// remaining bytes; a blank ends the address. Anything else gives 0xFFFFFFFF.
uint32_t parseInetAddress(std::string_view text);

// A leading decimal integer as atoi reads it: blanks skipped, optional sign, digits up to the first
// other character; 0 when there is no number.
int32_t parseLeadingInteger(std::string_view text);

}  // namespace vst::app
