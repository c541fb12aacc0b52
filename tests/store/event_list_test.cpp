// Where the event list puts a new event: at once near its ends, or by the
// merge of the events that waited, against the tests' reference placement.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "support/event_order.h"
#include "support/internals.h"
#include "support/stored_forms.h"

using smftest::Bytes;
using smftest::SmfTest;
using smftest::storedEvents;
using smftest::storedTicks;
using smftest::TrackEvent;

namespace {

// Appends events at the given ticks (each larger than the last).
void fill(SmfHandle smf, std::vector<uint32_t> ticks) {
    for (uint32_t tick : ticks) {
        const uint8_t on[3] = {0x90, static_cast<uint8_t>(tick & 0x7F), 0x40};
        ASSERT_EQ(InsertMidiEvent(smf, tick, on, 3), 1);
    }
}

void insertAt(SmfHandle smf, uint32_t tick, uint8_t key = 0x11) {
    const uint8_t on[3] = {0x90, key, 0x40};
    ASSERT_EQ(InsertMidiEvent(smf, tick, on, 3), 1);
}

using EventList = SmfTest;

TEST_F(EventList, LastInsertedStandsFirstAtATick) {
    insertAt(smf, 100, 'X');
    insertAt(smf, 100, 'Y');
    insertAt(smf, 100, 'Z');
    const auto events = storedEvents(smf);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].bytes[1], 'Z');
    EXPECT_EQ(events[1].bytes[1], 'Y');
    EXPECT_EQ(events[2].bytes[1], 'X');
}

TEST_F(EventList, SortsByUnsignedTick) {
    for (uint32_t tick : {10u, 30u, 20u, 0x80000000u, 5u, 0xFFFFFFFFu, 0x7FFFFFFFu}) {
        insertAt(smf, tick);
    }
    EXPECT_EQ(storedTicks(smf),
              (std::vector<uint32_t>{5, 10, 20, 30, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF}));
}

// Appends, prepends (also at the first tick, which every event may share)
// and inner ticks, equal ones included, from near either end.
TEST_F(EventList, PlacesAtBothEndsAndBetween) {
    fill(smf, {10, 20, 30, 40, 50});
    insertAt(smf, 15);
    insertAt(smf, 45);
    insertAt(smf, 60);
    insertAt(smf, 10, 0x22);  // equal to the first tick: prepended
    EXPECT_EQ(storedTicks(smf), (std::vector<uint32_t>{10, 10, 15, 20, 30, 40, 45, 50, 60}));
    EXPECT_EQ(storedEvents(smf)[0].bytes[1], 0x22);
    insertAt(smf, 60, 0x33);  // the last tick: before the event already there
    insertAt(smf, 30, 0x44);  // an inner tick: before the event already there
    const auto events = storedEvents(smf);
    EXPECT_EQ(events[4].bytes[1], 0x44);
    EXPECT_EQ(events[5].tick, 30u);
    EXPECT_EQ(events[9].bytes[1], 0x33);
    EXPECT_EQ(events[10].tick, 60u);
}

// Random programs of insertions, as hosts make them: stretches of scattered
// ticks (a few anywhere in 32 bits), bursts at one tick, runs in time order
// and in reverse, parts written from the start one after another, notes
// whose note-on follows its key's release, and chords of many notes at one
// tick among releases of their keys; stretches often start at the end, and
// system-exclusive events come among the others. The list is read (and so
// merged) at random moments; some programs are only parts. Each list
// equals the reference placement, and so does its copy.
TEST(EventListOrder, PlacesAsTheReferenceDoes) {
    enum Mode { Scattered, Burst, Forward, Backward, Part, Notes, Chord, Modes };
    std::mt19937 random(20261208);
    const auto pick = [&](uint32_t n) { return static_cast<uint32_t>(random() % n); };
    int merged = 0;  // programs whose last read merges waiting events
    for (int program = 0; program < 24; ++program) {
        const uint32_t count = program < 20 ? 200 + pick(3000) : 12000;
        SmfHandle smf = CreateSmf(480);
        std::vector<TrackEvent> expected;
        const auto note = [&](uint32_t at, uint8_t channel, uint8_t key, uint8_t velocity,
                              uint32_t length) {
            ASSERT_EQ(cal_insert_Note(smf, at, channel, key, velocity, int32_t(length)), 1);
            smftest::placeNote(expected,
                               TrackEvent{at + length, {uint8_t(0x80 | channel), key, 0x40}},
                               TrackEvent{at, {uint8_t(0x90 | channel), key, velocity}});
        };
        uint32_t serial = 0, tick = 0;
        int mode = Scattered;
        for (uint32_t n = 0; n < count; ++serial) {
            const bool partsOnly = program % 3 == 2;                 // few long parts
            if (pick(partsOnly || mode == Chord ? 400 : 40) == 0) {  // a new stretch
                mode = partsOnly ? Part : int(pick(Modes));
                tick = mode == Part ? 0 : mode == Burst ? tick : 100 + pick(100000);
                if (mode != Part && pick(2) == 0 && !expected.empty()) tick = expected.back().tick;
            }
            if (mode == Scattered) tick = pick(8) == 0 ? uint32_t(random()) : pick(100000);
            if (mode == Forward || mode == Part) tick += pick(60);
            if (mode == Notes) tick += 20 * pick(3);  // notes often start where others end
            if (mode == Backward) tick -= std::min(tick, pick(60));
            const uint8_t channel = uint8_t(serial % 16), low = uint8_t(serial & 0x7F),
                          high = uint8_t((serial >> 7) & 0x7F);  // every event tells apart
            if (mode == Notes || mode == Chord) {
                // A chord: few keys at one tick, notes ending there, releases.
                const uint8_t key = uint8_t(60 + pick(4)), velocity = uint8_t(low | 1);
                const uint8_t on = uint8_t(channel & 1);
                const uint32_t kind = mode == Chord ? pick(4) : 0;
                if (kind == 1 && tick >= 40) {
                    note(tick - 40, on, key, velocity, 40);
                } else if (kind == 2) {
                    const uint8_t release[3] = {uint8_t((pick(2) ? 0x80 : 0x90) | on), key, 0};
                    ASSERT_EQ(InsertMidiEvent(smf, tick, release, 3), 1);
                    smftest::placeEvent(expected, TrackEvent{tick, {release[0], key, 0}});
                } else {
                    note(tick, on, key, velocity, mode == Chord ? pick(2) * 40 : 20 + pick(4) * 20);
                }
                n += 2;
                continue;
            }
            if (pick(30) == 0) {  // a long event, held out of line
                Bytes message(4 + pick(40), low);
                message.front() = 0xF0;
                message.back() = 0xF7;
                ASSERT_EQ(InsertSysexEvent(smf, tick, message.data(), int32_t(message.size())), 1);
                const Bytes stored = smftest::lengthPrefixed({0xF0}, uint32_t(message.size() - 1),
                                                             message.data() + 1);
                smftest::placeEvent(expected, TrackEvent{tick, stored});
            } else {
                const uint8_t message[3] = {uint8_t(0xB0 | channel), low, high};
                ASSERT_EQ(InsertMidiEvent(smf, tick, message, 3), 1);
                smftest::placeEvent(expected, TrackEvent{tick, {message[0], low, high}});
            }
            ++n;
            uint32_t size = 0;
            if (pick(500) == 0) GetSmfDataSize(smf, &size);  // a read: 0 when it has no image
        }
        merged += xemidi::validateHandle(smf)->events.waiting() > 0 ? 1 : 0;
        ASSERT_EQ(storedEvents(smf), expected) << "program " << program;
        SmfHandle copy = CopySmf(smf);
        EXPECT_EQ(storedEvents(copy), expected) << "copy of program " << program;
        DeleteSmf(copy);
        DeleteSmf(smf);
    }
    EXPECT_GE(merged, 12);
}

// Events that wait are merged at each tick in the order they were inserted:
// a note-on after its key's release, newer events before both.
TEST(EventListWaiting, MergeReplaysEachTickInInsertionOrder) {
    SmfHandle smf = CreateSmf(480);
    std::vector<TrackEvent> expected;
    for (uint32_t tick = 1000; tick < 1400; ++tick) {  // more than a short walk
        insertAt(smf, tick);
        smftest::placeEvent(expected, TrackEvent{tick, {0x90, 0x11, 0x40}});
    }
    insertAt(smf, 500, 0x22);  // far from the end: waits, as does all that follows
    smftest::placeEvent(expected, TrackEvent{500, {0x90, 0x22, 0x40}});
    for (uint32_t start : {400u, 500u}) {
        ASSERT_EQ(cal_insert_Note(smf, start, 0, 60, 90, 100), 1);
        smftest::placeNote(expected, TrackEvent{start + 100, {0x80, 60, 0x40}},
                           TrackEvent{start, {0x90, 60, 90}});
    }
    insertAt(smf, 500, 0x33);
    smftest::placeEvent(expected, TrackEvent{500, {0x90, 0x33, 0x40}});
    EXPECT_GT(xemidi::validateHandle(smf)->events.waiting(), 0u);
    EXPECT_EQ(storedEvents(smf), expected);
    EXPECT_EQ(storedEvents(smf)[1].bytes, (smftest::Bytes{0x90, 0x33, 0x40}));  // newest first
    DeleteSmf(smf);
}

// In time order, with chords at the last tick and note-offs ahead, every
// event is placed at once (the note-offs held ahead until time passes
// them): nothing waits for a merge. A prepend far from the end waits, and
// the merge puts it first.
TEST(EventListWaiting, NoneInTimeOrder) {
    SmfHandle smf = CreateSmf(480);
    std::vector<TrackEvent> expected;
    for (uint32_t tick = 0; tick < 20000; tick += 10) {
        const uint8_t key = uint8_t(60 + tick % 12);
        ASSERT_EQ(cal_insert_Note(smf, tick, 0, key, 90, 200), 1);  // off 20 events ahead
        smftest::placeNote(expected, TrackEvent{tick + 200, {0x80, key, 0x40}},
                           TrackEvent{tick, {0x90, key, 90}});
        insertAt(smf, tick, 1);  // at the last tick
        smftest::placeEvent(expected, TrackEvent{tick, {0x90, 1, 0x40}});
    }
    const xemidi::EventList& events = xemidi::validateHandle(smf)->events;
    EXPECT_EQ(events.waiting(), 0u);
    EXPECT_GT(events.ahead(), 0u);
    insertAt(smf, 0, 2);
    smftest::placeEvent(expected, TrackEvent{0, {0x90, 2, 0x40}});
    EXPECT_EQ(events.waiting(), 1u);
    EXPECT_EQ(storedEvents(smf), expected);
    DeleteSmf(smf);
}

// A list holds at most its limit of events: an insertion past it is
// refused as one that runs out of memory is, with the list as it was, on
// every path: a note that would go in without taking memory (time order,
// room in both runs), a group, a long event, a copy.
TEST(EventListLimit, RefusesPastItAsWhenMemoryRunsOut) {
    xemidi::EventList list(7);
    const uint8_t on[3] = {0x90, 60, 100}, off[3] = {0x80, 60, 64};
    const uint8_t sysex[6] = {0xF0, 1, 2, 3, 4, 0xF7};
    for (uint32_t tick = 0; tick < 30; tick += 10) list.insertNote(tick, tick + 5, on, off);
    const std::vector<TrackEvent> six = storedEvents(list);
    ASSERT_EQ(list.eventCount(), 6u);
    EXPECT_THROW(list.insertNote(40, 45, on, off), std::bad_alloc);  // one place left, not two
    EXPECT_EQ(storedEvents(list), six);
    list.insert(40, sysex, 6);
    const std::vector<TrackEvent> full = storedEvents(list);
    ASSERT_EQ(full.size(), 7u);
    const xemidi::EventList::Entry pair[2] = {{50, on, 3}, {50, off, 3}};
    EXPECT_THROW(list.insertNote(60, 65, on, off), std::bad_alloc);
    EXPECT_THROW(list.insertGroup(pair, 2), std::bad_alloc);
    EXPECT_THROW(list.insert(0, on, 3), std::bad_alloc);
    EXPECT_THROW(list.insert(70, sysex, 6), std::bad_alloc);
    EXPECT_EQ(list.eventCount(), 7u);
    EXPECT_EQ(storedEvents(list), full);
    xemidi::EventList smaller(6), same(7);
    EXPECT_THROW(smaller.copyFrom(list), std::bad_alloc);
    EXPECT_EQ(smaller.eventCount(), 0u);
    same.copyFrom(list);
    EXPECT_EQ(storedEvents(same), full);
}

}  // namespace
