// Wild input through the public interface: handles that the library never
// handed out, and caller buffers that it must not read past or read at all.
// Pointers into a guard page fault on any access, so a passing test proves
// that nothing was read or written through them.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "support/guard_page.h"
#include "support/smf_reader.h"
#include "xemidi.h"

namespace {

using smftest::Bytes;
using smftest::GuardedPages;

SmfHandle handleAt(const void* address) {
    return reinterpret_cast<SmfHandle>(const_cast<void*>(address));
}
SmfHandle handleAt(uintptr_t value) {
    return reinterpret_cast<SmfHandle>(value);
}

// Every export that takes a handle, with arguments that are valid apart from
// the handle; each pointer argument points into the guard page, so the
// handle has to be refused before any of them is touched.
using Call = std::function<intptr_t(SmfHandle, uint8_t* guard)>;
const std::vector<std::pair<const char*, Call>>& exportsTakingAHandle() {
    static const std::vector<std::pair<const char*, Call>> calls = {
        {"DeleteSmf", [](SmfHandle h, uint8_t*) { return intptr_t{DeleteSmf(h)}; }},
        {"CopySmf", [](SmfHandle h, uint8_t*) { return reinterpret_cast<intptr_t>(CopySmf(h)); }},
        {"InsertMidiEvent",
         [](SmfHandle h, uint8_t* g) { return intptr_t{InsertMidiEvent(h, 0, g, 3)}; }},
        {"InsertSysexEvent",
         [](SmfHandle h, uint8_t* g) { return intptr_t{InsertSysexEvent(h, 0, g, 8)}; }},
        {"InsertMetaEvent",
         [](SmfHandle h, uint8_t* g) { return intptr_t{InsertMetaEvent(h, 0, 1, g, 4)}; }},
        {"GetSmfDataSize",
         [](SmfHandle h, uint8_t* g) {
             return intptr_t{GetSmfDataSize(h, reinterpret_cast<uint32_t*>(g))};
         }},
        {"GetSmfData", [](SmfHandle h, uint8_t* g) { return intptr_t{GetSmfData(h, g, 4096)}; }},
        {"SaveSmf",
         [](SmfHandle h, uint8_t* g) {
             return intptr_t{SaveSmf(h, reinterpret_cast<const char*>(g), 2, 0x80)};
         }},
        {"CopyToClipboard", [](SmfHandle h, uint8_t*) { return intptr_t{CopyToClipboard(h)}; }},
        {"cal_insert_Note",
         [](SmfHandle h, uint8_t*) { return intptr_t{cal_insert_Note(h, 0, 0, 60, 100, 10)}; }},
        {"cal_insert_KeyAft",
         [](SmfHandle h, uint8_t*) { return intptr_t{cal_insert_KeyAft(h, 0, 0, 60, 1)}; }},
        {"cal_insert_Control",
         [](SmfHandle h, uint8_t*) { return intptr_t{cal_insert_Control(h, 0, 0, 7, 1)}; }},
        {"cal_insert_ChanAft",
         [](SmfHandle h, uint8_t*) { return intptr_t{cal_insert_ChanAft(h, 0, 0, 1)}; }},
        {"cal_insert_Patch",
         [](SmfHandle h, uint8_t*) { return intptr_t{cal_insert_Patch(h, 0, 0, 1, 5)}; }},
        {"cal_insert_Wheel",
         [](SmfHandle h, uint8_t*) { return intptr_t{cal_insert_Wheel(h, 0, 0, 0)}; }},
        {"calex_insert_RPN",
         [](SmfHandle h, uint8_t*) { return intptr_t{calex_insert_RPN(h, 0, 0, 0, 2)}; }},
        {"calex_insert_NRPN",
         [](SmfHandle h, uint8_t*) { return intptr_t{calex_insert_NRPN(h, 0, 0, 0, 2)}; }},
        {"calex_insert_Sysx",
         [](SmfHandle h, uint8_t*) { return intptr_t{calex_insert_Sysx(h, 0, "F0 01 F7")}; }},
        {"calex_insert_Text",
         [](SmfHandle h, uint8_t*) { return intptr_t{calex_insert_Text(h, 0, "a")}; }},
        {"calex_insert_Lyric",
         [](SmfHandle h, uint8_t*) { return intptr_t{calex_insert_Lyric(h, 0, "a")}; }},
        {"GetSmfDivision",
         [](SmfHandle h, uint8_t* g) {
             return intptr_t{GetSmfDivision(h, reinterpret_cast<uint32_t*>(g))};
         }},
        {"GetSmfEventCount",
         [](SmfHandle h, uint8_t* g) {
             return intptr_t{GetSmfEventCount(h, reinterpret_cast<uint32_t*>(g))};
         }},
        {"GetSmfEvent",
         [](SmfHandle h, uint8_t* g) {
             auto* out = reinterpret_cast<uint32_t*>(g);
             return intptr_t{GetSmfEvent(h, 0, out, g, 64, out)};
         }},
    };
    return calls;
}

class WildInput : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(live, nullptr);
        ASSERT_EQ(cal_insert_Note(live, 0, 0, 60, 100, 480), 1);
        before = smftest::imageOf(live);
        ASSERT_FALSE(before.empty());
    }
    void TearDown() override {
        EXPECT_EQ(smftest::imageOf(live), before) << "a refused call changed a live object";
        DeleteSmf(live);
    }

    GuardedPages pages;
    SmfHandle live = CreateSmf(480);
    Bytes before;
};

TEST_F(WildInput, HandlesThatNameNoObjectAreRefusedWithoutBeingRead) {
    const char signature[] = "xeMidi";
    SmfHandle deleted = CreateSmf(96);
    DeleteSmf(deleted);
    const auto* inside = reinterpret_cast<const uint8_t*>(live);
    const std::vector<std::pair<std::string, SmfHandle>> handles = {
        {"guard page", handleAt(pages.guard())},
        {"guard page + 1", handleAt(pages.guard() + 1)},
        {"guard page end", handleAt(pages.guard() + pages.pageSize() - 1)},
        {"unterminated signature before the guard page", handleAt(pages.atEdge(signature, 6))},
        {"signature before the guard page", handleAt(pages.atEdge(signature, 7))},
        {"live object + 1", handleAt(inside + 1)},
        {"live object + 8", handleAt(inside + 8)},
        {"live object - 1", handleAt(inside - 1)},
        {"deleted object", deleted},
        {"2", handleAt(2)},
        {"7", handleAt(7)},
        {"0x1000", handleAt(0x1000)},
        {"0xFFFF", handleAt(0xFFFF)},
        {"-1", handleAt(~uintptr_t{0})},
    };
    for (const auto& [name, handle] : handles) {
        if (handle == live) continue;  // an address reused by the deleted object is live
        for (const auto& [call, run] : exportsTakingAHandle()) {
            EXPECT_EQ(run(handle, pages.guard()), 0) << call << " with handle " << name;
        }
    }
}

// Arguments that the header says are not read: data when len is too short,
// meta data of length 0, the caller's buffer when it is too small.
TEST_F(WildInput, ArgumentsThatNeedNoReadingAreNotRead) {
    uint8_t* g = pages.guard();
    for (int32_t len : {1, 0, -5, INT32_MIN}) EXPECT_EQ(InsertMidiEvent(live, 0, g, len), 0) << len;
    for (int32_t len : {2, 0, -1, INT32_MIN})
        EXPECT_EQ(InsertSysexEvent(live, 0, g, len), 0) << len;
    for (uint32_t type : {0x2Fu, 0x51u, 0x58u}) EXPECT_EQ(InsertMetaEvent(live, 0, type, g, 0), 0);
    EXPECT_EQ(InsertMetaEvent(live, 0, 1, g, -1), 0);
    EXPECT_EQ(GetSmfData(live, g, static_cast<uint32_t>(before.size() - 1)), 0);
    EXPECT_EQ(GetSmfData(live, g, 0), 0);
    EXPECT_EQ(SaveSmf(live, nullptr, 2, 0), 0);
}

// Data placed flush against the guard page: every export reads exactly the
// bytes it was given (or up to the terminating zero) and no further.
TEST_F(WildInput, CallerDataIsReadNoFurtherThanItsEnd) {
    const uint8_t note[] = {0x90, 0x3C, 0x64};
    const uint8_t sysex[] = {0xF0, 0x7E, 0xF7};
    const uint8_t tempo[] = {0x07, 0xA1, 0x20};
    EXPECT_EQ(InsertMidiEvent(live, 10, pages.atEdge(note, 3), 3), 1);
    EXPECT_EQ(InsertSysexEvent(live, 10, pages.atEdge(sysex, 3), 3), 1);
    EXPECT_EQ(InsertMetaEvent(live, 10, 0x51, pages.atEdge(tempo, 3), 3), 1);
    EXPECT_EQ(InsertMetaEvent(live, 10, 0x01, pages.guard(), 0), 1);
    for (auto insert : {calex_insert_Text, calex_insert_Lyric, calex_insert_Sysx}) {
        EXPECT_EQ(insert(live, 10, reinterpret_cast<char*>(pages.atEdge("F0 01 F7", 9))), 1);
    }
    const auto events = smftest::readBack(live).events;
    EXPECT_EQ(events.size(), 2u + 7u);
    before = smftest::imageOf(live);
    // A file image flush against the guard page is read to its end and no
    // further, whole or cut anywhere.
    const Bytes image = smftest::imageOf(live);
    for (size_t n = 0; n <= image.size(); ++n) {
        uint32_t reason = 0;
        SmfHandle read = ReadSmf(pages.atEdge(image.data(), n), uint32_t(n), &reason, nullptr);
        EXPECT_EQ(read != nullptr, n == image.size()) << n << " bytes, reason " << reason;
        DeleteSmf(read);
    }
    // The image fits a buffer that ends at the guard page exactly.
    EXPECT_EQ(GetSmfData(live, pages.guard() - before.size(), static_cast<uint32_t>(before.size())),
              1);
    EXPECT_EQ(Bytes(pages.guard() - before.size(), pages.guard()), before);
}

}  // namespace
