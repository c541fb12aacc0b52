// The event list's own checks (store/invariants.cpp), which every operation
// of the unit tests, the out-of-memory sweep and the fuzzer ends with: a
// list broken on purpose, one promise at a time, fails the check that names
// that promise, and the next operation ends the process.
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "store/event_list.h"

namespace xemidi {

struct Tampering {
    static RecordArray& placed(EventList& list) { return list.placed_; }
    static size_t& groupStart(EventList& list) { return list.groupStart_; }
    static uint64_t& eventBytes(EventList& list) { return list.eventBytes_; }
    static size_t& longDeltas(EventList& list) { return list.longDeltas_; }
    static uint32_t& limit(EventList& list) { return list.limit_; }
};

}  // namespace xemidi

namespace {

using xemidi::EventList;
using xemidi::Tampering;

const uint8_t Control[3] = {0xB0, 7, 100};
const uint8_t Sysex[6] = {0xF0, 1, 2, 3, 4, 0xF7};

// Events at ticks 10 (a long one), 20, 30 and 30 (the open group, last).
// Read: then at tick 5 (long) and more than 2^28 ticks after the last (a
// delta time too long for the file), and in track order, the group closed.
void fill(EventList& list, bool read) {
    for (uint32_t tick : {20u, 30u, 30u}) list.insert(tick, Control, 3);
    list.insert(10, Sysex, 6);
    if (!read) return;
    list.insert(0x10000040, Control, 3);
    list.insert(5, Sysex, 6);
    list.inOrder();
}

struct Breach {
    const char* promise;  // what the message names
    bool read;            // the list filled and read before it is broken
    std::function<void(EventList&)> breakIt;
};

class Invariants : public ::testing::TestWithParam<Breach> {};

TEST_P(Invariants, EachIsCheckedAfterEveryOperation) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const Breach& breach = GetParam();
    EventList list;
    fill(list, breach.read);
    list.checkInvariants();  // kept so far
    breach.breakIt(list);
    EXPECT_DEATH(list.checkInvariants(), breach.promise);
    EXPECT_DEATH(list.insert(50, Control, 3), "an event list breaks its invariants");
}

const std::vector<Breach> breaches = {
    {"out of tick order", true,
     [](EventList& l) { std::swap(Tampering::placed(l)[0], Tampering::placed(l)[2]); }},
    {"outside the open group", false, [](EventList& l) { ++Tampering::groupStart(l); }},
    {"the open group holds an event before the last tick", false,
     [](EventList& l) { Tampering::groupStart(l) -= 2; }},
    {"the byte count kept differs", false, [](EventList& l) { ++Tampering::eventBytes(l); }},
    {"the count of long delta times differs", true,
     [](EventList& l) { --Tampering::longDeltas(l); }},
    {"names a long event that is not there", false,
     [](EventList& l) { Tampering::placed(l)[0].data[3] = 1; }},
    {"not named once each", true,  // both long records name the first block
     [](EventList& l) { Tampering::placed(l)[0] = Tampering::placed(l)[1]; }},
    {"more events than its limit", false, [](EventList& l) { Tampering::limit(l) = 3; }},
};

INSTANTIATE_TEST_SUITE_P(Broken, Invariants, ::testing::ValuesIn(breaches),
                         [](const ::testing::TestParamInfo<Breach>& p) {
                             std::string name;
                             for (const char* c = p.param.promise; *c; ++c)
                                 if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
                             return name;
                         });

}  // namespace
