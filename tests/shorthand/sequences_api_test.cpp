// Controller groups at one tick, and text inserters.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/smf_reader.h"
#include "xemidi.h"

using smftest::Bytes;
using smftest::TrackEvent;

namespace {

class Sequences : public ::testing::Test {
  protected:
    void TearDown() override { DeleteSmf(smf); }
    std::vector<Bytes> bytesAt(uint32_t tick) {
        std::vector<Bytes> found;
        for (const auto& event : smftest::readBack(smf).events) {
            if (event.tick == tick) found.push_back(event.bytes);
        }
        return found;
    }
    SmfHandle smf = CreateSmf(480);
};

TEST_F(Sequences, PatchWithAndWithoutBank) {
    ASSERT_EQ(cal_insert_Patch(smf, 0, 0, 5, 0), 1);
    EXPECT_EQ(bytesAt(0),
              (std::vector<Bytes>{{0xB0, 0x00, 0x00}, {0xB0, 0x20, 0x00}, {0xC0, 0x05}}));
    ASSERT_EQ(cal_insert_Patch(smf, 10, 1, 6, -1), 1);
    EXPECT_EQ(bytesAt(10), (std::vector<Bytes>{{0xC1, 0x06}}));
    ASSERT_EQ(cal_insert_Patch(smf, 20, 2, 127, 128), 1);
    EXPECT_EQ(bytesAt(20)[0], (Bytes{0xB2, 0x00, 0x01}));
    EXPECT_EQ(bytesAt(20)[1], (Bytes{0xB2, 0x20, 0x00}));
    ASSERT_EQ(cal_insert_Patch(smf, 30, 15, 0, 16383), 1);
    EXPECT_EQ(bytesAt(30)[0], (Bytes{0xBF, 0x00, 0x7F}));
    EXPECT_EQ(bytesAt(30)[1], (Bytes{0xBF, 0x20, 0x7F}));
    const size_t count = smftest::readBack(smf).events.size();
    for (auto [channel, program, bank] : {std::tuple{16, 0, 0},
                                          {-1, 0, 0},
                                          {0, 128, 0},
                                          {0, -1, 0},
                                          {0, 0x105, 0},
                                          {0, 0, -2},
                                          {0, 0, 16384}}) {
        EXPECT_EQ(cal_insert_Patch(smf, 40, channel, program, bank), 0);
    }
    EXPECT_EQ(smftest::readBack(smf).events.size(), count);
}

TEST_F(Sequences, ParameterWritesStandInPlayingOrder) {
    ASSERT_EQ(calex_insert_RPN(smf, 0, 0, 0, 256), 1);
    EXPECT_EQ(bytesAt(0),
              (std::vector<Bytes>{
                  {0xB0, 0x65, 0x00}, {0xB0, 0x64, 0x00}, {0xB0, 0x06, 0x02}, {0xB0, 0x26, 0x00}}));
    ASSERT_EQ(calex_insert_NRPN(smf, 5, 1, 0x1234, 0x0155), 1);
    EXPECT_EQ(bytesAt(5),
              (std::vector<Bytes>{
                  {0xB1, 0x63, 0x24}, {0xB1, 0x62, 0x34}, {0xB1, 0x06, 0x02}, {0xB1, 0x26, 0x55}}));
    for (auto [parameter, value] : {std::pair{16384, 0}, {-1, 0}, {0, 16384}, {0, -1}}) {
        EXPECT_EQ(calex_insert_RPN(smf, 9, 0, parameter, value), 0);
        EXPECT_EQ(calex_insert_NRPN(smf, 9, 0, parameter, value), 0);
    }
    EXPECT_EQ(calex_insert_RPN(smf, 9, 16, 0, 0), 0);
    EXPECT_TRUE(bytesAt(9).empty());
}

TEST_F(Sequences, LaterGroupStandsBeforeEarlierGroup) {
    ASSERT_EQ(calex_insert_RPN(smf, 0, 0, 0, 0), 1);
    ASSERT_EQ(cal_insert_Patch(smf, 0, 0, 1, 2), 1);
    const auto at = bytesAt(0);
    ASSERT_EQ(at.size(), 7u);
    EXPECT_EQ(at[2], (Bytes{0xC0, 0x01}));
    EXPECT_EQ(at[3], (Bytes{0xB0, 0x65, 0x00}));
}

struct HexCase {
    const char* text;
    Bytes stored;  // empty: the call fails and inserts nothing
};

TEST(HexText, TokensAreBytesSeparatedBySixDelimiters) {
    const Bytes gmOn = {0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    const std::vector<HexCase> cases = {
        {"F0 7E 7F 09 01 F7", gmOn},
        {"f0 7e 7F 09 01 f7", gmOn},
        {"\t\r\n F0\f\v7E  7f\t09\n\n01 F7 \t", gmOn},
        {"F0 7E 7F 9 1 F7", gmOn},
        {"F0 7E 7F 09 01 F7G", gmOn},  // reading stops at the G
        {"F0 7E 7F 100 01 F7", {0xF0, 0x05, 0x7E, 0x7F, 0x10, 0x01, 0xF7}},
        {"F0 0X12 F7", {0xF0, 0x02, 0x00, 0xF7}},  // "0X" is a 0 followed by a non-digit
        {"F07E7F0901F7", {}},                      // one token: the byte F0 alone
        {"F0,7E,F7", {}},                          // a comma is no delimiter
        {"F0 7E 7F 09 01 F7 ZZ", {}},
        {"F0 +5 F7", {}},
        {"F0 -1 F7", {}},
        {"F0 7E 01", {}},
        {"7E 7F F7", {}},
        {"", {}},
        {" \t\n\r\f\v ", {}},
        {nullptr, {}},
    };
    SmfHandle smf = CreateSmf(96);
    for (const HexCase& c : cases) {
        ASSERT_EQ(calex_insert_Sysx(smf, 0, "F0 01 F7"), 1);  // a success just before
        const size_t before = smftest::readBack(smf).events.size();
        EXPECT_EQ(calex_insert_Sysx(smf, 0, c.text), c.stored.empty() ? 0 : 1)
            << (c.text ? c.text : "null");
        const auto events = smftest::readBack(smf).events;
        EXPECT_EQ(events.size(), before + (c.stored.empty() ? 0 : 1));
        if (!c.stored.empty()) {
            EXPECT_EQ(events.front().bytes, c.stored) << c.text;
        }
    }
    DeleteSmf(smf);
}

TEST(HexText, LongMessage) {
    std::string text = "F0";
    for (int i = 0; i < 1000; ++i) text += " 5A";
    text += "\nF7";
    SmfHandle smf = CreateSmf(96);
    ASSERT_EQ(calex_insert_Sysx(smf, 7, text.c_str()), 1);
    const Bytes stored = smftest::readBack(smf).events.at(0).bytes;
    ASSERT_EQ(stored.size(), 1004u);
    EXPECT_EQ(Bytes(stored.begin(), stored.begin() + 4), (Bytes{0xF0, 0x87, 0x69, 0x5A}));
    EXPECT_EQ(stored.back(), 0xF7);
    DeleteSmf(smf);
}

TEST(TextEvents, BytesPassUnchanged) {
    SmfHandle smf = CreateSmf(96);
    ASSERT_EQ(calex_insert_Lyric(smf, 2, "la\xE9\x82"), 1);
    ASSERT_EQ(calex_insert_Text(smf, 1, "Hello"), 1);
    ASSERT_EQ(calex_insert_Text(smf, 0, ""), 1);
    ASSERT_EQ(calex_insert_Lyric(smf, 0, nullptr), 1);
    const std::vector<TrackEvent> expected = {{0, {0xFF, 0x05, 0x00}},
                                              {0, {0xFF, 0x01, 0x00}},
                                              {1, {0xFF, 0x01, 0x05, 'H', 'e', 'l', 'l', 'o'}},
                                              {2, {0xFF, 0x05, 0x04, 'l', 'a', 0xE9, 0x82}}};
    EXPECT_EQ(smftest::readBack(smf).events, expected);
    DeleteSmf(smf);
}

}  // namespace
