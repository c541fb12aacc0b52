// Channel messages by value: ranges on the whole 32-bit value, exact bytes,
// and the order of a note's two events.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "support/smf_reader.h"
#include "xemidi.h"

using smftest::Bytes;
using smftest::TrackEvent;

namespace {

class Shorthand : public ::testing::Test {
  protected:
    void TearDown() override { DeleteSmf(smf); }
    std::vector<TrackEvent> events() { return smftest::readBack(smf).events; }
    SmfHandle smf = CreateSmf(480);
};

using Call = std::function<int(SmfHandle, int32_t)>;

// Every value just outside a range, and values that masking would accept,
// are refused with nothing inserted; the values at the edges are taken.
void checkRange(SmfHandle smf, const char* name, const Call& call, std::vector<int32_t> taken,
                std::vector<int32_t> refused) {
    for (int32_t value : refused) EXPECT_EQ(call(smf, value), 0) << name << " " << value;
    EXPECT_EQ(smftest::readBack(smf).events.size(), 0u) << name;
    for (int32_t value : taken) EXPECT_EQ(call(smf, value), 1) << name << " " << value;
}

TEST_F(Shorthand, RangesAreInclusiveAndNeverMasked) {
    const std::vector<int32_t> channelOk = {0, 15}, channelBad = {-1, 16, 0x100, INT32_MIN};
    const std::vector<int32_t> byteOk = {0, 127}, byteBad = {-1, 128, 0x105, INT32_MAX};
    const std::vector<std::tuple<const char*, Call, std::vector<int32_t>, std::vector<int32_t>>>
        ranges = {
            {"note channel",
             [](SmfHandle h, int32_t v) { return cal_insert_Note(h, 0, v, 60, 1, 1); }, channelOk,
             channelBad},
            {"note key", [](SmfHandle h, int32_t v) { return cal_insert_Note(h, 0, 0, v, 1, 1); },
             byteOk, byteBad},
            {"note velocity",
             [](SmfHandle h, int32_t v) { return cal_insert_Note(h, 0, 0, 60, v, 1); },
             {1, 127},
             {0, -1, 128, 0x101}},
            {"keyaft channel",
             [](SmfHandle h, int32_t v) { return cal_insert_KeyAft(h, 0, v, 1, 1); }, channelOk,
             channelBad},
            {"keyaft key", [](SmfHandle h, int32_t v) { return cal_insert_KeyAft(h, 0, 0, v, 1); },
             byteOk, byteBad},
            {"keyaft pressure",
             [](SmfHandle h, int32_t v) { return cal_insert_KeyAft(h, 0, 0, 1, v); }, byteOk,
             byteBad},
            {"control channel",
             [](SmfHandle h, int32_t v) { return cal_insert_Control(h, 0, v, 1, 1); }, channelOk,
             channelBad},
            {"control number",
             [](SmfHandle h, int32_t v) { return cal_insert_Control(h, 0, 0, v, 1); }, byteOk,
             byteBad},
            {"control value",
             [](SmfHandle h, int32_t v) { return cal_insert_Control(h, 0, 0, 1, v); }, byteOk,
             byteBad},
            {"chanaft channel",
             [](SmfHandle h, int32_t v) { return cal_insert_ChanAft(h, 0, v, 1); }, channelOk,
             channelBad},
            {"chanaft pressure",
             [](SmfHandle h, int32_t v) { return cal_insert_ChanAft(h, 0, 0, v); }, byteOk,
             byteBad},
            {"wheel channel", [](SmfHandle h, int32_t v) { return cal_insert_Wheel(h, 0, v, 0); },
             channelOk, channelBad},
            {"wheel value",
             [](SmfHandle h, int32_t v) { return cal_insert_Wheel(h, 0, 0, v); },
             {-8192, 8191},
             {-8193, 8192, 0x10000, INT32_MIN}},
        };
    for (const auto& [name, call, taken, refused] : ranges) {
        SmfHandle object = CreateSmf(96);
        checkRange(object, name, call, taken, refused);
        DeleteSmf(object);
    }
}

TEST_F(Shorthand, SingleMessagesHaveTheirBytes) {
    ASSERT_EQ(cal_insert_Wheel(smf, 5, 3, -8192), 1);
    ASSERT_EQ(cal_insert_Wheel(smf, 4, 3, 0), 1);
    ASSERT_EQ(cal_insert_Wheel(smf, 3, 3, 8191), 1);
    ASSERT_EQ(cal_insert_ChanAft(smf, 2, 15, 0x55), 1);
    ASSERT_EQ(cal_insert_Control(smf, 1, 9, 7, 100), 1);
    ASSERT_EQ(cal_insert_KeyAft(smf, 0, 1, 60, 33), 1);
    const std::vector<TrackEvent> expected = {{0, {0xA1, 60, 33}},     {1, {0xB9, 7, 100}},
                                              {2, {0xDF, 0x55}},       {3, {0xE3, 0x7F, 0x7F}},
                                              {4, {0xE3, 0x00, 0x40}}, {5, {0xE3, 0x00, 0x00}}};
    EXPECT_EQ(events(), expected);
}

TEST_F(Shorthand, NoteOrderAtSharedTicks) {
    ASSERT_EQ(cal_insert_Note(smf, 100, 2, 64, 90, 0), 1);    // on before its own off
    ASSERT_EQ(cal_insert_Note(smf, 100, 2, 65, 91, -10), 1);  // off wraps back to tick 90
    ASSERT_EQ(cal_insert_Note(smf, 200, 0, 60, 127, 480), 1);
    ASSERT_EQ(cal_insert_Note(smf, 680, 0, 60, 100, 480), 1);  // legato on the same key
    const std::vector<TrackEvent> expected = {{90, {0x82, 65, 0x40}},  {100, {0x92, 65, 91}},
                                              {100, {0x92, 64, 90}},   {100, {0x82, 64, 0x40}},
                                              {200, {0x90, 60, 127}},  {680, {0x90, 60, 100}},
                                              {680, {0x80, 60, 0x40}}, {1160, {0x80, 60, 0x40}}};
    EXPECT_EQ(events(), expected);
}

}  // namespace
