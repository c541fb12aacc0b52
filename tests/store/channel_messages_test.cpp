// Raw channel messages: which are stored, and that a refusal changes nothing.
#include <gtest/gtest.h>

#include <vector>

#include "support/internals.h"

using smftest::Bytes;
using smftest::InsertionState;
using smftest::SmfTest;
using smftest::storedEvents;

namespace {

using MidiEvent = SmfTest;

struct Case {
    Bytes bytes;
    int result;
};

TEST_F(MidiEvent, StatusTableDecidesAndAllBytesAreStored) {
    const std::vector<Case> cases = {
        {{0x90, 0x3C}, 0},
        {{0xC0, 0x05}, 1},
        {{0xC0, 0x85}, 0},
        {{0xC0, 0x05, 0xFF}, 1},
        {{0xD3, 0x7F}, 1},
        {{0xDF, 0x80}, 0},
        {{0x90, 0x3C, 0x64, 0x3E, 0x64}, 1},
        {{0x3C, 0x64, 0x00}, 0},
        {{0xF8, 0x00, 0x00}, 0},
        {{0xF0, 0x01, 0xF7}, 0},
        {{0xFF, 0x01, 0x00}, 0},
        {{0xE0, 0x00, 0x80}, 0},
        {{0xE0, 0x80, 0x00}, 0},
        {{0xEF, 0x7F, 0x7F}, 1},
        {{0x80, 0x00, 0x00}, 1},
        {{0xA5, 0x10, 0x20}, 1},
        {{0xBF, 0x07, 0x64}, 1},
        {{0xB0, 0x07}, 0},
    };
    std::vector<Bytes> expected;
    for (const Case& c : cases) {
        EXPECT_EQ(InsertMidiEvent(smf, 0, c.bytes.data(), int32_t(c.bytes.size())), c.result)
            << std::hex << int(c.bytes[0]);
        if (c.result) expected.insert(expected.begin(), c.bytes);  // last inserted first
    }
    std::vector<Bytes> stored;
    for (const auto& event : storedEvents(smf)) stored.push_back(event.bytes);
    EXPECT_EQ(stored, expected);
}

TEST_F(MidiEvent, RefusalsChangeNothingAndReadNoData) {
    const uint8_t on[3] = {0x90, 0x3C, 0x64};
    ASSERT_EQ(InsertMidiEvent(smf, 10, on, 3), 1);
    ASSERT_EQ(InsertMidiEvent(smf, 30, on, 3), 1);
    const auto before = InsertionState::of(smf);
    for (int32_t len : {1, 0, -5, INT32_MIN}) EXPECT_EQ(InsertMidiEvent(smf, 20, nullptr, len), 0);
    EXPECT_EQ(InsertMidiEvent(smf, 20, nullptr, 3), 0);
    const uint8_t bad[3] = {0x90, 0x3C, 0x80};
    EXPECT_EQ(InsertMidiEvent(smf, 20, bad, 3), 0);
    EXPECT_EQ(InsertMidiEvent(smf, 0, bad, 3), 0);
    SmfHandle gone = CreateSmf(480);
    DeleteSmf(gone);
    EXPECT_EQ(InsertMidiEvent(gone, 20, on, 3), 0);
    EXPECT_TRUE(InsertionState::of(smf) == before);
}

}  // namespace
