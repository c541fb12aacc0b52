// Objects and handles through the public interface.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "support/smf_reader.h"
#include "xemidi.h"

namespace {

const uint8_t NoteOn[3] = {0x90, 0x3C, 0x64};

TEST(Objects, HandleStartsWithSignatureAndDivisionReachesHeader) {
    SmfHandle smf = CreateSmf(480);
    ASSERT_NE(smf, nullptr);
    EXPECT_EQ(std::memcmp(smf, "xeMidi", 7), 0);
    EXPECT_EQ(smftest::readBack(smf).division, 480);
    EXPECT_EQ(DeleteSmf(smf), 1);
}

TEST(Objects, DivisionReadsLow16BitsAsSigned) {
    for (int32_t refused : {0, -1, 0x8000, 0xFFFF, 0x10000, 0x18000, INT32_MIN}) {
        EXPECT_EQ(CreateSmf(refused), nullptr) << refused;
    }
    for (auto [argument, division] : {std::pair{1, 1}, {32767, 32767}, {0x7FFF01E0, 480}}) {
        SmfHandle smf = CreateSmf(argument);
        ASSERT_NE(smf, nullptr) << argument;
        EXPECT_EQ(smftest::readBack(smf).division, division);
        DeleteSmf(smf);
    }
}

TEST(Objects, DeleteOnlyOnce) {
    SmfHandle smf = CreateSmf(96);
    EXPECT_EQ(DeleteSmf(smf), 1);
    EXPECT_EQ(DeleteSmf(smf), 0);
    EXPECT_EQ(DeleteSmf(nullptr), 0);
}

// A deleted object's handle is not handed out again while the next 256
// deletions are made: creations that follow a deletion, and every call on
// the old handle, never reach a newer object.
TEST(Objects, StaleHandlesNeverReachNewerObjects) {
    SmfHandle stale = CreateSmf(480);
    ASSERT_EQ(DeleteSmf(stale), 1);
    std::vector<SmfHandle> newer;
    for (int i = 0; i < 1000; ++i) {
        newer.push_back(CreateSmf(480));
        ASSERT_NE(newer.back(), stale) << "creation " << i;
        if (i < 255) {  // delete and create, over and over
            ASSERT_EQ(DeleteSmf(newer.back()), 1);
        }
    }
    uint32_t size = 77;
    EXPECT_EQ(DeleteSmf(stale), 0);
    EXPECT_EQ(GetSmfDataSize(stale, &size), 0);
    EXPECT_EQ(InsertMidiEvent(stale, 0, NoteOn, 3), 0);
    EXPECT_EQ(size, 77u);
    for (size_t i = 255; i < newer.size(); ++i) EXPECT_EQ(DeleteSmf(newer[i]), 1);
}

// Many live objects: each handle names its own, and each deletion ends one.
TEST(Objects, ManyLiveObjectsEachFoundOnce) {
    std::vector<SmfHandle> live(100000);
    for (size_t i = 0; i < live.size(); ++i) {
        live[i] = CreateSmf(int32_t(1 + i % 32767));
        ASSERT_EQ(InsertMidiEvent(live[i], uint32_t(i), NoteOn, 3), 1);
    }
    for (size_t i = 0; i < live.size(); i += 997) {
        const auto file = smftest::readBack(live[i]);
        EXPECT_EQ(file.division, 1 + i % 32767);
        ASSERT_EQ(file.events.size(), 1u);
        EXPECT_EQ(file.events[0].tick, i);
    }
    for (size_t i = live.size(); i-- > 0;) EXPECT_EQ(DeleteSmf(live[i]), 1);
    for (size_t i = 0; i < live.size(); i += 997) EXPECT_EQ(DeleteSmf(live[i]), 0);
}

TEST(Objects, ObjectsAreIndependent) {
    SmfHandle first = CreateSmf(480);
    SmfHandle second = CreateSmf(960);
    ASSERT_EQ(InsertMidiEvent(second, 10, NoteOn, 3), 1);
    EXPECT_EQ(DeleteSmf(first), 1);
    const auto file = smftest::readBack(second);
    EXPECT_EQ(file.division, 960);
    ASSERT_EQ(file.events.size(), 1u);
    EXPECT_EQ(file.events[0].tick, 10u);
    DeleteSmf(second);
}

}  // namespace
