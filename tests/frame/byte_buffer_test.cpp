#include "frame/byte_buffer.h"

#include <gtest/gtest.h>

#include <cstring>

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
