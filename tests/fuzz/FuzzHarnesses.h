#pragma once
// The fuzz harnesses: each takes one input and runs it through one parser of outside input,
// checking what must hold for any input. The same functions are the libFuzzer entry points of
// the fuzz build (scripts/fuzz.sh) and are replayed over the checked-in corpora by the suite.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace vst::fuzz {

int fuzzUdpAnswer(const uint8_t* data, size_t size);
int fuzzByteRing(const uint8_t* data, size_t size);
int fuzzWebHead(const uint8_t* data, size_t size);
int fuzzWebBody(const uint8_t* data, size_t size);
int fuzzDocuments(const uint8_t* data, size_t size);
int fuzzTestLines(const uint8_t* data, size_t size);
int fuzzCatalogue(const uint8_t* data, size_t size);
int fuzzConfiguration(const uint8_t* data, size_t size);
int fuzzRestoreSplit(const uint8_t* data, size_t size);
int fuzzSerialLog(const uint8_t* data, size_t size);
int fuzzCommandLine(const uint8_t* data, size_t size);
int fuzzSettings(const uint8_t* data, size_t size);

struct Harness {
    const char* name;  // also the name of its corpus folder and of its fuzz program (fuzz_NAME)
    int (*run)(const uint8_t*, size_t);
};

inline constexpr Harness kHarnesses[] = {
    {"udp_answer", fuzzUdpAnswer},
    {"byte_ring", fuzzByteRing},
    {"web_head", fuzzWebHead},
    {"web_body", fuzzWebBody},
    {"documents", fuzzDocuments},
    {"test_lines", fuzzTestLines},
    {"catalogue", fuzzCatalogue},
    {"configuration", fuzzConfiguration},
    {"restore_split", fuzzRestoreSplit},
    {"serial_log", fuzzSerialLog},
    {"command_line", fuzzCommandLine},
    {"settings", fuzzSettings},
};

// A property that must hold for every input; a violation ends the process like a sanitizer
// finding, so the fuzzer keeps the input and the replay test fails.
[[noreturn]] inline void checkFailed(const char* condition, const char* file, int line)
{
    std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", condition, file, line);
    std::abort();
}

}  // namespace vst::fuzz

#define VST_FUZZ_CHECK(condition) \
    ((condition) ? (void)0 : ::vst::fuzz::checkFailed(#condition, __FILE__, __LINE__))
