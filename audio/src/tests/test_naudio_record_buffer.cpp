// The remainder buffer of record reads.
#include "../record-buffer_p.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

using naudio::RecordBuffer;

namespace {

std::vector<uint8_t> ramp(size_t n, uint8_t start = 1)
{
    std::vector<uint8_t> v(n);
    std::iota(v.begin(), v.end(), start);
    return v;
}

TEST(RecordBufferTest, LargerFragmentKeepsTheRestForTheNextReads)
{
    RecordBuffer buffer;
    ASSERT_TRUE(buffer.allocate(64));
    const auto fragment = ramp(40);
    std::vector<uint8_t> out(16, 0xee);
    size_t copied = 0;
    ASSERT_EQ(buffer.consume(out.data(), out.size(), fragment.data(), fragment.size(), &copied),
        RecordBuffer::Result::Ok);
    EXPECT_EQ(copied, 16u);
    EXPECT_EQ(out, std::vector<uint8_t>(fragment.begin(), fragment.begin() + 16));
    EXPECT_EQ(buffer.available(), 24u);

    // The stored rest comes back in order, across reads.
    std::vector<uint8_t> next(10, 0);
    EXPECT_EQ(buffer.take(next.data(), next.size()), 10u);
    EXPECT_EQ(next, std::vector<uint8_t>(fragment.begin() + 16, fragment.begin() + 26));
    std::vector<uint8_t> last(20, 0xee);
    EXPECT_EQ(buffer.take(last.data(), last.size()), 14u);
    EXPECT_EQ(std::vector<uint8_t>(last.begin(), last.begin() + 14),
        std::vector<uint8_t>(fragment.begin() + 26, fragment.end()));
    EXPECT_EQ(last[14], 0xee) << "take wrote past what it had";
    // Emptied: both offsets start over.
    EXPECT_EQ(buffer.available(), 0u);
    EXPECT_EQ(buffer.fillOffset(), 0u);
    EXPECT_EQ(buffer.readOffset(), 0u);
}

TEST(RecordBufferTest, RestThatDoesNotFitEmptiesTheBuffer)
{
    RecordBuffer buffer;
    ASSERT_TRUE(buffer.allocate(32));
    size_t copied = 0;
    std::vector<uint8_t> out(8);
    const auto first = ramp(30);
    ASSERT_EQ(buffer.consume(out.data(), out.size(), first.data(), first.size(), &copied),
        RecordBuffer::Result::Ok);
    EXPECT_EQ(buffer.available(), 22u);
    // 22 stored + 12 more > 32.
    const auto second = ramp(20, 100);
    EXPECT_EQ(buffer.consume(out.data(), out.size(), second.data(), second.size(), &copied),
        RecordBuffer::Result::Overrun);
    EXPECT_EQ(buffer.available(), 0u);
    EXPECT_EQ(buffer.fillOffset(), 0u);

    // Exactly full fits.
    const auto third = ramp(40);
    EXPECT_EQ(buffer.consume(out.data(), out.size(), third.data(), third.size(), &copied),
        RecordBuffer::Result::Ok);
    EXPECT_EQ(buffer.available(), 32u);
}

TEST(RecordBufferTest, HolesReadAsSilenceAndEmptyBuffersHoldNothing)
{
    RecordBuffer buffer;
    ASSERT_TRUE(buffer.allocate(16));
    std::vector<uint8_t> out(4, 0xee);
    size_t copied = 0;
    ASSERT_EQ(buffer.consume(out.data(), out.size(), nullptr, 12, &copied), RecordBuffer::Result::Ok);
    EXPECT_EQ(out, std::vector<uint8_t>(4, 0));
    std::vector<uint8_t> rest(8, 0xee);
    EXPECT_EQ(buffer.take(rest.data(), rest.size()), 8u);
    EXPECT_EQ(rest, std::vector<uint8_t>(8, 0));

    RecordBuffer none;
    ASSERT_TRUE(none.allocate(0));
    const auto fragment = ramp(4);
    EXPECT_EQ(none.consume(out.data(), 4, fragment.data(), 4, &copied), RecordBuffer::Result::Ok);
    EXPECT_EQ(none.consume(out.data(), 2, fragment.data(), 4, &copied), RecordBuffer::Result::Overrun);
    EXPECT_EQ(none.take(out.data(), 4), 0u);
}

} // namespace
