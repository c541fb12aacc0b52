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

// Values the library never handed out are refused by every export that
// takes a handle, without reading through them.
TEST(Objects, ForeignStaleAndWildHandlesAreRefused) {
    char fake[16] = "xeMidi";
    int onStack = 0;
    auto onHeap = std::make_unique<char[]>(64);
    SmfHandle stale = CreateSmf(480);
    DeleteSmf(stale);
    const SmfHandle wild[] = {nullptr,
                              reinterpret_cast<SmfHandle>(fake),
                              reinterpret_cast<SmfHandle>(&onStack),
                              reinterpret_cast<SmfHandle>(onHeap.get()),
                              reinterpret_cast<SmfHandle>(uintptr_t{1}),
                              reinterpret_cast<SmfHandle>(uintptr_t{0x7FFFFFF0}),
                              reinterpret_cast<SmfHandle>(~uintptr_t{0}),
                              stale};
    uint8_t buffer[64] = {};
    uint32_t size = 12345;
    for (SmfHandle h : wild) {
        EXPECT_EQ(DeleteSmf(h), 0);
        EXPECT_EQ(CopySmf(h), nullptr);
        EXPECT_EQ(InsertMidiEvent(h, 0, NoteOn, 3), 0);
        EXPECT_EQ(InsertSysexEvent(h, 0, "\xF0\x01\xF7", 3), 0);
        EXPECT_EQ(InsertMetaEvent(h, 0, 1, "a", 1), 0);
        EXPECT_EQ(GetSmfDataSize(h, &size), 0);
        EXPECT_EQ(GetSmfData(h, buffer, sizeof buffer), 0);
        EXPECT_EQ(SaveSmf(h, "never-created.mid", 2, 0x80), 0);
        EXPECT_EQ(CopyToClipboard(h), 0);
        EXPECT_EQ(cal_insert_Note(h, 0, 0, 60, 100, 10), 0);
        EXPECT_EQ(cal_insert_KeyAft(h, 0, 0, 60, 1), 0);
        EXPECT_EQ(cal_insert_Control(h, 0, 0, 7, 1), 0);
        EXPECT_EQ(cal_insert_ChanAft(h, 0, 0, 1), 0);
        EXPECT_EQ(cal_insert_Patch(h, 0, 0, 1, 0), 0);
        EXPECT_EQ(cal_insert_Wheel(h, 0, 0, 0), 0);
        EXPECT_EQ(calex_insert_RPN(h, 0, 0, 0, 0), 0);
        EXPECT_EQ(calex_insert_NRPN(h, 0, 0, 0, 0), 0);
        EXPECT_EQ(calex_insert_Sysx(h, 0, "F0 01 F7"), 0);
        EXPECT_EQ(calex_insert_Text(h, 0, "a"), 0);
        EXPECT_EQ(calex_insert_Lyric(h, 0, "a"), 0);
    }
    EXPECT_EQ(size, 12345u);
    EXPECT_EQ(std::strcmp(fake, "xeMidi"), 0);
    for (uint8_t b : buffer) EXPECT_EQ(b, 0);
    FILE* file = std::fopen("never-created.mid", "rb");
    EXPECT_EQ(file, nullptr);
    if (file) std::fclose(file);
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
