// Replays every checked-in corpus file through its harness, so the inputs the fuzzers found
// (and the seeds) keep passing in every build.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "FuzzHarnesses.h"

namespace vst::fuzz {
// Test names and failures name the harness.
void PrintTo(const Harness& harness, std::ostream* out) { *out << harness.name; }
}  // namespace vst::fuzz

namespace {

namespace fs = std::filesystem;

class CorpusReplay : public ::testing::TestWithParam<vst::fuzz::Harness> {};

TEST_P(CorpusReplay, EveryCorpusFilePasses)
{
    // VST_FUZZ_CORPUS replays other corpora, e.g. build-fuzz/corpus with what the fuzzers found.
    const char* other = std::getenv("VST_FUZZ_CORPUS");
    const fs::path folder = fs::path(other && *other ? other : VST_FUZZ_CORPUS_DIR) / GetParam().name;
    ASSERT_TRUE(fs::is_directory(folder)) << folder;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
    }
    ASSERT_FALSE(files.empty()) << "no seeds in " << folder;
    for (const auto& file : files) {
        SCOPED_TRACE(file.string());
        std::ifstream in(file, std::ios::binary);
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // A failed check aborts; the file name on stderr says which input it was.
        std::fprintf(stderr, "%s\n", file.filename().c_str());
        EXPECT_EQ(GetParam().run(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Fuzz, CorpusReplay, ::testing::ValuesIn(vst::fuzz::kHarnesses),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
