// Objects and handles through the public interface.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

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
