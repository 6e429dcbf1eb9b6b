// The libFuzzer entry point of one harness; VST_FUZZ_ENTRY names the harness function.
#include "FuzzHarnesses.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return vst::fuzz::VST_FUZZ_ENTRY(data, size);
}
