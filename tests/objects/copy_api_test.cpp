// Copying an object: same division, same events in the same order, and
// independent of its source afterwards.
#include <gtest/gtest.h>

#include "support/smf_reader.h"
#include "xemidi.h"

using smftest::imageOf;
using smftest::readBack;

namespace {

class Copy : public ::testing::Test {
  protected:
    void TearDown() override {
        DeleteSmf(source);
        DeleteSmf(copy);
    }
    SmfHandle source = CreateSmf(960);
    SmfHandle copy = nullptr;
};

TEST_F(Copy, EmptySourceGivesEmptyCopyWithItsDivision) {
    copy = CopySmf(source);
    ASSERT_NE(copy, nullptr);
    ASSERT_NE(copy, source);
    EXPECT_EQ(imageOf(copy), imageOf(source));
    EXPECT_EQ(readBack(copy).division, 960);
}

// Groups at shared ticks (bank select before program change, parameter
// number before data entry, running status across them) come out the same.
TEST_F(Copy, KeepsTheOrderAtSharedTicksAndTheImage) {
    const uint8_t sysex[6] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    const uint8_t on[3] = {0x90, 0x3C, 0x64}, on2[3] = {0x90, 0x3E, 0x64},
                  volume[3] = {0xB0, 0x07, 0x64};
    ASSERT_EQ(InsertMidiEvent(source, 0, on, 3), 1);
    ASSERT_EQ(InsertMidiEvent(source, 10, volume, 3), 1);
    ASSERT_EQ(InsertMidiEvent(source, 10, on2, 3), 1);
    ASSERT_EQ(InsertSysexEvent(source, 0, sysex, 6), 1);
    ASSERT_EQ(calex_insert_Text(source, 480, "words"), 1);
    for (int channel = 0; channel < 16; ++channel) {
        ASSERT_EQ(cal_insert_Patch(source, 480, channel, channel, 128 + channel), 1);
        ASSERT_EQ(calex_insert_RPN(source, 480, channel, 0, 2 << 7), 1);
        ASSERT_EQ(cal_insert_Note(source, 480, channel, 60, 100, 0), 1);
    }
    copy = CopySmf(source);
    ASSERT_NE(copy, nullptr);
    const auto image = imageOf(source);
    EXPECT_EQ(imageOf(copy), image);
    SmfHandle copyOfCopy = CopySmf(copy);
    EXPECT_EQ(imageOf(copyOfCopy), image);
    DeleteSmf(copyOfCopy);
}

TEST_F(Copy, IsIndependentOfItsSource) {
    ASSERT_EQ(cal_insert_Note(source, 0, 0, 60, 100, 480), 1);
    copy = CopySmf(source);
    const auto image = imageOf(source);
    ASSERT_EQ(cal_insert_Note(copy, 960, 0, 62, 100, 480), 1);
    EXPECT_EQ(imageOf(source), image);
    ASSERT_EQ(cal_insert_Note(source, 960, 1, 64, 100, 480), 1);
    EXPECT_EQ(readBack(copy).events[2].bytes, (smftest::Bytes{0x90, 62, 100}));
    ASSERT_EQ(DeleteSmf(source), 1);
    source = nullptr;
    EXPECT_EQ(readBack(copy).events.size(), 4u);
}

TEST_F(Copy, BadHandleCreatesNothing) {
    SmfHandle gone = CreateSmf(480);
    DeleteSmf(gone);
    EXPECT_EQ(CopySmf(gone), nullptr);
    EXPECT_EQ(CopySmf(nullptr), nullptr);
}

}  // namespace
