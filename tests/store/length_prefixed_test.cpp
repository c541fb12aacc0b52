// System-exclusive and meta events: their stored form, and refusals.
#include "store/length_prefixed.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/internals.h"

using smftest::Bytes;
using smftest::InsertionState;
using smftest::SmfTest;
using smftest::storedEvents;

namespace {

using LengthPrefixed = SmfTest;

Bytes storedAfterSysex(SmfHandle smf, const Bytes& message) {
    EXPECT_EQ(InsertSysexEvent(smf, 0, message.data(), int32_t(message.size())), 1);
    return storedEvents(smf).front().bytes;
}

Bytes storedAfterMeta(SmfHandle smf, uint32_t type, const Bytes& data) {
    EXPECT_EQ(InsertMetaEvent(smf, 0, type, data.data(), int32_t(data.size())), 1);
    return storedEvents(smf).front().bytes;
}

TEST_F(LengthPrefixed, SysexIsStoredWithItsLength) {
    EXPECT_EQ(storedAfterSysex(smf, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}),
              (Bytes{0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));
    EXPECT_EQ(storedAfterSysex(smf, {0xF0, 0x00, 0xF7}), (Bytes{0xF0, 0x02, 0x00, 0xF7}));
    EXPECT_EQ(storedAfterSysex(smf, {0xF0, 0x80, 0xF0, 0xF7}),
              (Bytes{0xF0, 0x03, 0x80, 0xF0, 0xF7}));
    Bytes long131(131, 0x11);
    long131.front() = 0xF0;
    long131.back() = 0xF7;
    const Bytes stored = storedAfterSysex(smf, long131);
    ASSERT_EQ(stored.size(), 133u);
    EXPECT_EQ(Bytes(stored.begin(), stored.begin() + 3), (Bytes{0xF0, 0x81, 0x02}));
    EXPECT_EQ(Bytes(stored.begin() + 3, stored.end()), Bytes(long131.begin() + 1, long131.end()));
}

TEST_F(LengthPrefixed, MetaIsStoredWithTypeAndLength) {
    EXPECT_EQ(storedAfterMeta(smf, 0x51, {0x07, 0xA1, 0x20}),
              (Bytes{0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}));
    EXPECT_EQ(storedAfterMeta(smf, 0x151, {0x07, 0xA1, 0x20}),
              (Bytes{0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}));
    EXPECT_EQ(storedAfterMeta(smf, 0x60, {0x42}), (Bytes{0xFF, 0x60, 0x01, 0x42}));
    EXPECT_EQ(storedAfterMeta(smf, 0x85, {}), (Bytes{0xFF, 0x85, 0x00}));
    ASSERT_EQ(InsertMetaEvent(smf, 0, 0x01, nullptr, 0), 1);
    EXPECT_EQ(storedEvents(smf).front().bytes, (Bytes{0xFF, 0x01, 0x00}));
    const Bytes stored = storedAfterMeta(smf, 0x7F, Bytes(200, 0x33));
    EXPECT_EQ(Bytes(stored.begin(), stored.begin() + 4), (Bytes{0xFF, 0x7F, 0x81, 0x48}));
    EXPECT_EQ(stored.size(), 204u);
}

TEST_F(LengthPrefixed, MetaLengthTable) {
    const uint8_t data[8] = {};
    const std::vector<std::pair<uint32_t, int32_t>> fixed = {
        {0x00, 2}, {0x20, 1}, {0x21, 1}, {0x51, 3}, {0x54, 5}, {0x58, 4}, {0x59, 2}};
    for (auto [type, length] : fixed) {
        EXPECT_EQ(InsertMetaEvent(smf, 0, type, data, length - 1), 0) << type;
        EXPECT_EQ(InsertMetaEvent(smf, 0, type, data, length + 1), 0) << type;
        EXPECT_EQ(InsertMetaEvent(smf, 0, type, data, length), 1) << type;
    }
    for (int32_t length : {0, 1, 8}) EXPECT_EQ(InsertMetaEvent(smf, 0, 0x2F, data, length), 0);
    EXPECT_EQ(InsertMetaEvent(smf, 0, 0x12F, data, 0), 0);
    EXPECT_EQ(InsertMetaEvent(smf, 0, 0x03, data, 8), 1);
    EXPECT_EQ(storedEvents(smf).size(), fixed.size() + 1);
}

TEST_F(LengthPrefixed, RefusalsChangeNothing) {
    const uint8_t sysex[6] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    const uint8_t tempo[3] = {0x07, 0xA1, 0x20};
    ASSERT_EQ(InsertSysexEvent(smf, 5, sysex, 6), 1);
    ASSERT_EQ(InsertMetaEvent(smf, 9, 0x51, tempo, 3), 1);
    const auto before = InsertionState::of(smf);
    const uint8_t unclosed[4] = {0xF0, 0x41, 0x10, 0x42};
    const uint8_t escaped[3] = {0xF7, 0x00, 0xF7};
    EXPECT_EQ(InsertSysexEvent(smf, 7, sysex, 2), 0);
    EXPECT_EQ(InsertSysexEvent(smf, 7, unclosed, 4), 0);
    EXPECT_EQ(InsertSysexEvent(smf, 7, escaped, 3), 0);
    EXPECT_EQ(InsertSysexEvent(smf, 7, nullptr, 3), 0);
    EXPECT_EQ(InsertSysexEvent(smf, 7, sysex, -1), 0);
    // Lengths without a four-byte prefix are refused before data is read.
    EXPECT_EQ(InsertSysexEvent(smf, 7, sysex, 0x10000001), 0);
    EXPECT_EQ(InsertMetaEvent(smf, 7, 0x01, tempo, 0x10000000), 0);
    EXPECT_EQ(InsertMetaEvent(smf, 7, 0x01, tempo, -1), 0);
    EXPECT_EQ(InsertMetaEvent(smf, 7, 0x01, nullptr, 1), 0);
    EXPECT_EQ(InsertMetaEvent(smf, 7, 0x51, tempo, 4), 0);
    SmfHandle gone = CreateSmf(480);
    DeleteSmf(gone);
    EXPECT_EQ(InsertSysexEvent(gone, 7, sysex, 6), 0);
    EXPECT_EQ(InsertMetaEvent(gone, 7, 0x51, tempo, 3), 0);
    EXPECT_TRUE(InsertionState::of(smf) == before);
}

TEST_F(LengthPrefixed, LongestPrefixIsFourBytes) {
    // 2^28 - 1 data bytes is the largest meta event; it is stored, with the
    // prefix FF FF FF 7F.
    const int32_t largest = 0x0FFFFFFF;
    std::vector<uint8_t> data(size_t(largest), 0x20);
    ASSERT_EQ(InsertMetaEvent(smf, 0, 0x01, data.data(), largest), 1);
    data.clear();
    data.shrink_to_fit();
    xemidi::EventList& list = xemidi::validateHandle(smf)->events;
    uint32_t size = 0;
    const uint8_t* stored = list.bytesOf(*list.inOrder().begin(), size);
    ASSERT_EQ(size, uint32_t(largest) + 6);
    EXPECT_EQ(Bytes(stored, stored + 6), (Bytes{0xFF, 0x01, 0xFF, 0xFF, 0xFF, 0x7F}));
}

}  // namespace
