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
    ASSERT_EQ(cal_insert_Note(smf, 680, 0, 60, 100, 480), 1);  // the same key again
    const std::vector<TrackEvent> expected = {{90, {0x82, 65, 0x40}}, {100, {0x92, 65, 91}},
                                              {100, {0x92, 64, 90}},  {100, {0x82, 64, 0x40}},
                                              {200, {0x90, 60, 127}}, {680, {0x80, 60, 0x40}},
                                              {680, {0x90, 60, 100}}, {1160, {0x80, 60, 0x40}}};
    EXPECT_EQ(events(), expected);
}

// A note struck where its key's previous note ends follows that release, so
// it sounds: in time order, in reverse, after a release written as a note-on
// of velocity 0, and in a copy. Other keys and channels, other events at the
// tick and a duration of 0 keep the newest-first rule.
TEST_F(Shorthand, RepeatedNotesFollowTheirKeysRelease) {
    const uint8_t keys[8] = {60, 60, 60, 60, 60, 62, 64, 65};  // five C's, then D, E, F
    std::vector<TrackEvent> melody;
    for (uint32_t i = 0; i < 8; ++i) {
        ASSERT_EQ(cal_insert_Note(smf, i * 480, 0, keys[i], 100, 480), 1);
        const TrackEvent off = {i * 480, {0x80, keys[i > 0 ? i - 1 : 0], 0x40}};
        const TrackEvent on = {i * 480, {0x90, keys[i], 100}};
        if (i == 0) {
            melody.push_back(on);
        } else if (keys[i] == keys[i - 1]) {  // after the same key's release
            melody.insert(melody.end(), {off, on});
        } else {  // another key's release: newest first, as ever
            melody.insert(melody.end(), {on, off});
        }
    }
    melody.push_back({8 * 480, {0x80, 65, 0x40}});
    EXPECT_EQ(events(), melody);

    SmfHandle other = CreateSmf(96);
    for (uint32_t start : {960u, 480u, 0u})
        ASSERT_EQ(cal_insert_Note(other, start, 1, 64, 80, 480), 1);
    const uint8_t releaseAsNoteOn[3] = {0x93, 70, 0};
    ASSERT_EQ(InsertMidiEvent(other, 2000, releaseAsNoteOn, 3), 1);
    ASSERT_EQ(cal_insert_Control(other, 2000, 3, 7, 100), 1);
    ASSERT_EQ(cal_insert_Note(other, 2000, 3, 70, 90, 10), 1);  // after the velocity-0 release
    ASSERT_EQ(cal_insert_Note(other, 1440, 1, 65, 80, 20), 1);  // another key: first at 1440
    ASSERT_EQ(cal_insert_Note(other, 1440, 2, 64, 80, 20), 1);  // another channel: first too
    ASSERT_EQ(cal_insert_Note(other, 1440, 1, 64, 80, 0), 1);   // duration 0: first, then its off
    const std::vector<TrackEvent> expected = {
        {0, {0x91, 64, 80}},      {480, {0x81, 64, 0x40}},  {480, {0x91, 64, 80}},
        {960, {0x81, 64, 0x40}},  {960, {0x91, 64, 80}},    {1440, {0x91, 64, 80}},
        {1440, {0x81, 64, 0x40}}, {1440, {0x92, 64, 80}},   {1440, {0x91, 65, 80}},
        {1440, {0x81, 64, 0x40}}, {1460, {0x82, 64, 0x40}}, {1460, {0x81, 65, 0x40}},
        {2000, {0xB3, 7, 100}},   {2000, {0x93, 70, 0}},    {2000, {0x93, 70, 90}},
        {2010, {0x83, 70, 0x40}}};
    EXPECT_EQ(smftest::readBack(other).events, expected);
    SmfHandle copy = CopySmf(other);
    EXPECT_EQ(smftest::imageOf(copy), smftest::imageOf(other));
    DeleteSmf(copy);
    DeleteSmf(other);
}

}  // namespace
