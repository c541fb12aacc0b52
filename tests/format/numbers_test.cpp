// Variable-length quantities and big-endian integers.
#include <gtest/gtest.h>

#include <vector>

#include "support/smf_reader.h"
#include "format/numbers.h"

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
        uint8_t out[4];
        EXPECT_EQ(xemidi::writeVarLen(out, value), expected.size()) << value;
        EXPECT_EQ(Bytes(out, out + expected.size()), expected) << value;
        EXPECT_EQ(xemidi::varLenSize(value), expected.size()) << value;
    }
    EXPECT_EQ(xemidi::varLenSize(0xFFFFFFFF), 4u);  // never counts more than four
}

TEST(VarLen, BigEndianFieldsComeFromTheValue) {
    uint8_t out[6];
    EXPECT_EQ(xemidi::writeBigEndian32(xemidi::writeBigEndian16(out, 0xABCD1234), 0x01020304),
              out + 6);
    EXPECT_EQ(Bytes(out, out + 6), (Bytes{0x12, 0x34, 0x01, 0x02, 0x03, 0x04}));
}

}  // namespace
