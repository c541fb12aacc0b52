// The insertion rule and the search hint, observed on the stored list.
#include <gtest/gtest.h>

#include <vector>

#include "support/internals.h"

using smftest::SmfTest;
using smftest::storedEvents;
using smftest::storedTicks;
using xemidi::SearchHint;

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

TEST_F(EventList, EmptyListKeepsTheHint) {
    for (int32_t hint : {0, 1}) {
        SmfHandle empty = CreateSmf(96);
        SearchHint = hint;
        insertAt(empty, 50);
        EXPECT_EQ(SearchHint, hint);
        DeleteSmf(empty);
    }
}

TEST_F(EventList, AppendSetsHintAndPrependClearsIt) {
    fill(smf, {10, 20});
    SearchHint = 0;
    insertAt(smf, 30);
    EXPECT_EQ(SearchHint, 1);
    insertAt(smf, 10);  // equal to the first tick: prepended
    EXPECT_EQ(SearchHint, 0);
    EXPECT_EQ(storedTicks(smf), (std::vector<uint32_t>{10, 10, 20, 30}));
    EXPECT_EQ(storedEvents(smf)[0].bytes[1], 0x11);
}

TEST_F(EventList, LongWalksFlipTheHint) {
    fill(smf, {10, 20, 30, 40, 50});
    SearchHint = 1;
    insertAt(smf, 15);  // back over 50, 40, 30, 20: 4 steps > 5 >> 1
    EXPECT_EQ(SearchHint, 0);
    insertAt(smf, 45);  // forward over 10, 15, 20, 30, 40: 5 steps > 6 >> 1
    EXPECT_EQ(SearchHint, 1);
    EXPECT_EQ(storedTicks(smf), (std::vector<uint32_t>{10, 15, 20, 30, 40, 45, 50}));
}

TEST_F(EventList, ShortWalkKeepsTheHint) {
    fill(smf, {10, 20, 30});
    SearchHint = 1;
    insertAt(smf, 25);  // back over 30 only: 1 step, not more than 3 >> 1
    EXPECT_EQ(SearchHint, 1);
    SearchHint = 0;
    insertAt(smf, 15);  // forward over 10 only
    EXPECT_EQ(SearchHint, 0);
    EXPECT_EQ(storedTicks(smf), (std::vector<uint32_t>{10, 15, 20, 25, 30}));
}

TEST_F(EventList, LastTickWalksBackOverEqualTicksUncounted) {
    fill(smf, {10, 20, 30});
    insertAt(smf, 30, 0x22);
    SearchHint = 0;
    insertAt(smf, 30, 0x33);
    EXPECT_EQ(SearchHint, 1);
    const auto events = storedEvents(smf);
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events[2].tick, 30u);
    EXPECT_EQ(events[2].bytes[1], 0x33);  // before both earlier events at 30
    EXPECT_EQ(events[3].bytes[1], 0x22);
}

TEST_F(EventList, InnerTickGoesBeforeEqualTicksFromEitherEnd) {
    for (int32_t hint : {0, 1}) {
        SmfHandle list = CreateSmf(96);
        fill(list, {10, 20, 20, 20, 30});
        insertAt(list, 20, 0x44);
        SearchHint = hint;
        insertAt(list, 20, 0x55);
        const auto events = storedEvents(list);
        EXPECT_EQ(events[1].bytes[1], 0x55) << "hint " << hint;
        EXPECT_EQ(events[2].bytes[1], 0x44) << "hint " << hint;
        DeleteSmf(list);
    }
}

}  // namespace
