// The ring against a plain queue: writes and reads of every size from every start position, so
// that each block copy crosses the end of the slots at every possible place.
#include <gtest/gtest.h>

#include <deque>
#include <numeric>
#include <vector>

#include "net/ByteRing.h"

namespace vst::net {
namespace {

TEST(ByteRing, KeepsOrderAcrossTheEndOfItsSlots)
{
    for (size_t start : {size_t{0}, size_t{1}, size_t{500}, ByteRing::kSlots - 2, ByteRing::kSlots - 1}) {
        for (size_t size : {size_t{1}, size_t{2}, size_t{512}, ByteRing::kCapacity}) {
            ByteRing ring;
            std::vector<uint8_t> filler(start, 0xEE);
            ASSERT_TRUE(ring.write(filler.data(), filler.size()));
            ASSERT_EQ(ring.consume(nullptr, start), start);
            std::vector<uint8_t> bytes(size);
            std::iota(bytes.begin(), bytes.end(), uint8_t{1});
            ASSERT_TRUE(ring.write(bytes.data(), bytes.size())) << start << "/" << size;
            EXPECT_EQ(ring.used(), size);
            std::vector<uint8_t> peeked(size);
            EXPECT_EQ(ring.peek(peeked.data(), size + 10), size);
            EXPECT_EQ(peeked, bytes) << start << "/" << size;
            std::vector<uint8_t> taken(size);
            EXPECT_EQ(ring.consume(taken.data(), size), size);
            EXPECT_EQ(taken, bytes);
            EXPECT_TRUE(ring.empty());
        }
    }
}

TEST(ByteRing, WritesAllOrNothing)
{
    ByteRing ring;
    std::vector<uint8_t> bytes(ByteRing::kCapacity + 1, 7);
    EXPECT_FALSE(ring.write(bytes.data(), bytes.size()));
    EXPECT_TRUE(ring.empty());
    EXPECT_TRUE(ring.write(bytes.data(), ByteRing::kCapacity));
    EXPECT_EQ(ring.freeSpace(), 0u);
    EXPECT_FALSE(ring.write(bytes.data(), 1));
    EXPECT_EQ(ring.used(), ByteRing::kCapacity);
}

TEST(ByteRing, MatchesAQueueOverManyMixedOperations)
{
    ByteRing ring;
    std::deque<uint8_t> model;
    uint8_t next = 0;
    for (size_t round = 0; round < 2000; ++round) {
        const size_t n = (round * 37) % 600;
        std::vector<uint8_t> chunk(n);
        for (auto& b : chunk) b = next++;
        const bool fits = n <= ring.freeSpace();
        ASSERT_EQ(ring.write(chunk.data(), n), fits);
        if (fits) model.insert(model.end(), chunk.begin(), chunk.end());
        const size_t take = (round * 53) % 700;
        std::vector<uint8_t> out(take);
        const size_t got = ring.consume(out.data(), take);
        ASSERT_EQ(got, std::min(take, model.size()));
        for (size_t i = 0; i < got; ++i) {
            ASSERT_EQ(out[i], model.front());
            model.pop_front();
        }
    }
}

}  // namespace
}  // namespace vst::net
