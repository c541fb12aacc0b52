#include "core/byte_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

using xemidi::ByteBuffer;

TEST(ByteBuffer, NewAndEmptiedBuffersHoldNoBlock) {
    ByteBuffer buffer;
    buffer.resize(0);
    EXPECT_EQ(buffer.data(), nullptr);
    EXPECT_EQ(buffer.size(), 0u);
    EXPECT_EQ(buffer.capacity(), 0u);
    buffer.resize(7);
    buffer.resize(0);
    EXPECT_EQ(buffer.data(), nullptr);
    EXPECT_EQ(buffer.capacity(), 0u);
}

TEST(ByteBuffer, ShrinkingKeepsBlockAndBytes) {
    ByteBuffer buffer;
    buffer.resize(5);
    std::memcpy(buffer.data(), "abcde", 5);
    const uint8_t* block = buffer.data();
    buffer.resize(3);
    buffer.resize(5);
    EXPECT_EQ(buffer.data(), block);
    EXPECT_EQ(buffer.capacity(), 5u);
    EXPECT_EQ(std::memcmp(buffer.data(), "abcde", 5), 0);
}

TEST(ByteBuffer, GrowthIsExactAndKeepsTheBytesInUse) {
    ByteBuffer buffer;
    buffer.resize(4);
    std::memcpy(buffer.data(), "wxyz", 4);
    buffer.resize(10);
    EXPECT_EQ(buffer.capacity(), 10u);
    EXPECT_EQ(buffer.size(), 10u);
    EXPECT_EQ(std::memcmp(buffer.data(), "wxyz", 4), 0);
    buffer.resize(2);  // only the 2 bytes in use are carried into a larger block
    buffer.resize(11);
    EXPECT_EQ(buffer.capacity(), 11u);
    EXPECT_EQ(std::memcmp(buffer.data(), "wx", 2), 0);
}

TEST(ByteBuffer, ShortBlocksLiveInsideUntilTheyOutgrowIt) {
    ByteBuffer buffer;
    buffer.resize(3);
    std::memcpy(buffer.data(), "abc", 3);
    EXPECT_FALSE(buffer.onHeap());
    buffer.resize(ByteBuffer::InlineCapacity);  // grows in place, exact fit
    EXPECT_EQ(buffer.capacity(), ByteBuffer::InlineCapacity);
    EXPECT_EQ(std::memcmp(buffer.data(), "abc", 3), 0);
    std::memcpy(buffer.data(), "abcdefgh", 8);
    buffer.resize(ByteBuffer::InlineCapacity + 1);
    EXPECT_TRUE(buffer.onHeap());
    EXPECT_EQ(buffer.capacity(), ByteBuffer::InlineCapacity + 1);
    EXPECT_EQ(std::memcmp(buffer.data(), "abcdefgh", 8), 0);
    buffer.resize(2);  // shrinking keeps the heap block
    EXPECT_TRUE(buffer.onHeap());
    buffer.resize(0);
    EXPECT_FALSE(buffer.onHeap());
    EXPECT_EQ(buffer.data(), nullptr);
}

// Every length around the inline block, from a source block of exactly that
// length (so that the sanitizer build catches a read past it), into a fresh
// buffer and into one that held other bytes; and the copy of a buffer equals
// the copy of its bytes in use.
TEST(ByteBuffer, AssignCopiesExactlyTheGivenBytes) {
    for (uint32_t n = 0; n <= 2 * ByteBuffer::InlineCapacity + 1; ++n) {
        std::vector<uint8_t> source(n);
        for (uint32_t i = 0; i < n; ++i) source[i] = static_cast<uint8_t>(0xA0 + i);
        const std::vector<uint8_t> expected = source;

        ByteBuffer fresh, used;
        used.assign(reinterpret_cast<const uint8_t*>("0123456789abcdefghij"), 20);
        used.resize(5);
        fresh.assign(source.data(), n);
        used.assign(source.data(), n);
        for (const ByteBuffer* b : {&fresh, &used}) {
            ASSERT_EQ(b->size(), n);
            EXPECT_EQ(n == 0 ? 0 : std::memcmp(b->data(), expected.data(), n), 0) << n;
        }
        EXPECT_EQ(fresh.capacity(), n);
        EXPECT_EQ(used.capacity(), n == 0 ? 0u : std::max(n, 20u));

        // From a buffer whose block is larger than its bytes in use.
        ByteBuffer from;
        from.resize(ByteBuffer::InlineCapacity);
        std::memcpy(from.data(), "XXXXXXXX", ByteBuffer::InlineCapacity);
        from.assign(source.data(), n);
        ByteBuffer copy;
        copy.assign(from);
        ASSERT_EQ(copy.size(), n);
        EXPECT_EQ(copy.capacity(), n);  // exact fit, whatever the source's block
        EXPECT_EQ(n == 0 ? 0 : std::memcmp(copy.data(), expected.data(), n), 0) << n;
        EXPECT_EQ(copy.onHeap(), n > ByteBuffer::InlineCapacity);
    }
}
