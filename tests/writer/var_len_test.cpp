// Variable-length quantities and big-endian integers.
#include <gtest/gtest.h>

#include <vector>

#include "support/internals.h"
#include "writer/smf_writer.h"

using smftest::bufferBytes;
using smftest::Bytes;

namespace {

TEST(VarLen, EncodingsAtEveryBoundary) {
    const std::vector<std::pair<uint32_t, Bytes>> table = {
        {0x00, {0x00}},
        {0x40, {0x40}},
        {0x7F, {0x7F}},
        {0x80, {0x81, 0x00}},
        {480, {0x83, 0x60}},
        {1000, {0x87, 0x68}},
        {0x3FFF, {0xFF, 0x7F}},
        {0x4000, {0x81, 0x80, 0x00}},
        {0x1FFFFF, {0xFF, 0xFF, 0x7F}},
        {0x200000, {0x81, 0x80, 0x80, 0x00}},
        {0x0FFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F}},
    };
    for (const auto& [value, expected] : table) {
        xemidi::ByteBuffer buffer;
        uint32_t position = 0;
        xemidi::writeVarLen(buffer, position, value);
        EXPECT_EQ(bufferBytes(buffer), expected) << value;
        EXPECT_EQ(position, expected.size());
        EXPECT_EQ(xemidi::varLenSize(value), expected.size()) << value;
    }
    EXPECT_EQ(xemidi::varLenSize(0xFFFFFFFF), 4u);  // never counts more than four
}

TEST(VarLen, WritersAppendAtThePosition) {
    xemidi::ByteBuffer buffer;
    uint32_t position = 0;
    xemidi::appendBytes(buffer, position, "ab", 2);
    xemidi::writeBigEndian16(buffer, position, 0xABCD1234);
    xemidi::writeBigEndian32(buffer, position, 0x01020304);
    xemidi::writeVarLen(buffer, position, 0x81);
    EXPECT_EQ(bufferBytes(buffer),
              (Bytes{'a', 'b', 0x12, 0x34, 0x01, 0x02, 0x03, 0x04, 0x81, 0x01}));
    EXPECT_EQ(position, 10u);
}

}  // namespace
