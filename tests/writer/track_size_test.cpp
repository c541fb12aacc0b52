// The track size an object keeps as events go in, against a walk of its
// stored events: every insertion path, running status, long delta times.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "support/internals.h"
#include "support/stored_forms.h"
#include "writer/smf_writer.h"

using smftest::SmfTest;

namespace {

// The track chunk's size from its length field to the end of track, walked
// over the stored events; 0 where a delta time has no four-byte form.
uint64_t walkedTrackSize(SmfHandle smf) {
    uint64_t size = 8;
    uint32_t previousTick = 0;
    uint8_t remembered = 0;
    for (const smftest::TrackEvent& event : smftest::storedEvents(smf)) {
        const uint32_t delta = event.tick - previousTick;
        if (delta > 0x0FFFFFFF) return 0;
        size += smftest::varLen(delta).size();
        const uint8_t status = event.bytes[0];
        const bool running = status == remembered && status >= 0x80 && status < 0xF0;
        size += event.bytes.size() - (running ? 1 : 0);
        remembered = status;
        previousTick = event.tick;
    }
    return size;
}

uint32_t keptTrackSize(SmfHandle smf) {
    return xemidi::trackDataSize(xemidi::validateHandle(smf)->events);
}

using TrackSize = SmfTest;

TEST_F(TrackSize, FollowsEveryInsertionPath) {
    std::mt19937 random(7);
    const auto pick = [&](uint32_t n) { return static_cast<uint32_t>(random() % n); };
    for (int i = 0; i < 3000; ++i) {
        // Few ticks and statuses, so that neighbours often share both.
        const uint32_t tick = pick(40) * (pick(8) == 0 ? 300 : 1);
        const int32_t channel = static_cast<int32_t>(pick(2));
        switch (pick(6)) {
            case 0: {
                const uint8_t on[3] = {uint8_t(0x90 | channel), uint8_t(pick(128)), 64};
                ASSERT_EQ(InsertMidiEvent(smf, tick, on, 3), 1);
                break;
            }
            case 1:
                ASSERT_EQ(cal_insert_Note(smf, tick, channel, 60, 90, pick(200)), 1);
                break;
            case 2:
                ASSERT_EQ(calex_insert_RPN(smf, tick, channel, 0, 300), 1);
                break;
            case 3: {
                const uint8_t message[4] = {0xF0, 0x7E, 0x01, 0xF7};
                ASSERT_EQ(InsertSysexEvent(smf, tick, message, 4), 1);
                break;
            }
            case 4:
                ASSERT_EQ(calex_insert_Text(smf, tick, "marker"), 1);
                break;
            default:
                ASSERT_EQ(cal_insert_ChanAft(smf, tick, channel, 5), 1);
        }
        if (i < 300 || i % 25 == 0) {  // a walk per insertion would make the test quadratic
            ASSERT_EQ(keptTrackSize(smf), walkedTrackSize(smf)) << "after insertion " << i;
        }
    }
    ASSERT_EQ(keptTrackSize(smf), walkedTrackSize(smf));
    // Events at the last tick, read after each: the events there are taken
    // out of the count and back in each time.
    const uint32_t last = smftest::storedTicks(smf).back();
    for (int32_t key = 40; key < 60; ++key) {
        ASSERT_EQ(cal_insert_Note(smf, last, key % 2, key, 90, 0), 1);
        ASSERT_EQ(cal_insert_ChanAft(smf, last, key % 2, key), 1);
        ASSERT_EQ(keptTrackSize(smf), walkedTrackSize(smf)) << "after key " << key;
    }
    const SmfHandle copy = CopySmf(smf);
    EXPECT_EQ(keptTrackSize(copy), walkedTrackSize(smf));
    DeleteSmf(copy);
}

TEST_F(TrackSize, KnowsWhenALongDeltaComesAndGoes) {
    const uint8_t on[3] = {0x90, 60, 64};
    ASSERT_EQ(InsertMidiEvent(smf, 0x10000000, on, 3), 1);  // one past the largest delta
    EXPECT_EQ(keptTrackSize(smf), 0u);
    ASSERT_EQ(InsertMidiEvent(smf, 0x08000000, on, 3), 1);  // splits it in two
    EXPECT_EQ(keptTrackSize(smf), walkedTrackSize(smf));
    EXPECT_EQ(keptTrackSize(smf), 8u + (4 + 3) + (4 + 2));
    ASSERT_EQ(InsertMidiEvent(smf, 0xFFFFFFFF, on, 3), 1);
    EXPECT_EQ(keptTrackSize(smf), 0u);
}

}  // namespace

namespace {

// The writer is given the end of its room and writes nothing there or
// past it: when the room is short of what the events take, or the events
// fall short of it, it fails; given the exact room, it writes the image.
TEST_F(TrackSize, WriterStaysWithinItsRoom) {
    const uint8_t sysex[6] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}, change[2] = {0xC1, 0x05};
    for (uint32_t i = 0; i < 40; ++i) {
        ASSERT_EQ(cal_insert_Note(smf, i * 30, 0, 60 + int32_t(i % 5), 90, 45), 1);
        ASSERT_EQ(InsertMidiEvent(smf, i * 30 + 7, change, 2), 1);
        if (i % 9 == 0) {
            ASSERT_EQ(InsertSysexEvent(smf, i * 30, sysex, 6), 1);
        }
    }
    ASSERT_EQ(calex_insert_Text(smf, 1200, "end"), 1);  // the last event, long
    xemidi::SmfObject& object = *xemidi::validateHandle(smf);
    const uint32_t track = keptTrackSize(smf), image = track + 18;
    std::vector<uint8_t> buffer(image + 16, 0xAA);
    uint8_t* const out = buffer.data();
    for (uint32_t cut = 1; cut <= 12; ++cut) {
        std::fill(buffer.begin(), buffer.end(), 0xAA);
        EXPECT_FALSE(xemidi::writeImage(object, track, out, out + image - cut)) << cut;
        const auto past = std::find_if(buffer.begin() + image - cut, buffer.end(),
                                       [](uint8_t b) { return b != 0xAA; });
        EXPECT_EQ(past, buffer.end()) << "written past the end, room cut by " << cut;
    }
    EXPECT_FALSE(xemidi::writeImage(object, track + 1, out, out + image + 1));
    EXPECT_TRUE(xemidi::writeImage(object, track, out, out + image));
    EXPECT_EQ(smftest::Bytes(out, out + image), smftest::imageOf(smf));
}

}  // namespace
