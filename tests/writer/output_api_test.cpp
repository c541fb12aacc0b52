// Handing out the image: size, caller memory and disk files.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "support/smf_reader.h"
#include "xemidi.h"

using smftest::Bytes;
using smftest::imageOf;

namespace {

enum : uint32_t {
    CreateNew = 1,
    CreateAlways = 2,
    OpenExisting = 3,
    OpenAlways = 4,
    TruncateExisting = 5
};
constexpr uint32_t Normal = 0x80;

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()));
}

class Output : public ::testing::Test {
  protected:
    void SetUp() override {
        const uint8_t on[3] = {0x90, 0x3C, 0x64}, off[3] = {0x80, 0x3C, 0x40};
        ASSERT_EQ(InsertMidiEvent(smf, 0, on, 3), 1);
        ASSERT_EQ(InsertMidiEvent(smf, 480, off, 3), 1);
        image = imageOf(smf);
        ASSERT_EQ(image.size(), 35u);
        path = std::string("output-") +
               ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".mid";
        std::remove(path.c_str());
    }
    void TearDown() override {
        DeleteSmf(smf);
        std::remove(path.c_str());
    }
    SmfHandle smf = CreateSmf(480);
    Bytes image;
    std::string path;
};

TEST_F(Output, SizeAndDataAgree) {
    uint32_t size = 0;
    ASSERT_EQ(GetSmfDataSize(smf, &size), 1);
    EXPECT_EQ(size, 35u);
    Bytes exact(size), larger(size + 1, 0xAA), smaller(size - 1, 0xAA);
    EXPECT_EQ(GetSmfData(smf, exact.data(), size), 1);
    EXPECT_EQ(exact, image);
    EXPECT_EQ(GetSmfData(smf, larger.data(), size + 1), 1);
    EXPECT_EQ(Bytes(larger.begin(), larger.end() - 1), image);
    EXPECT_EQ(larger.back(), 0xAA);
    EXPECT_EQ(GetSmfData(smf, smaller.data(), size - 1), 0);
    EXPECT_EQ(GetSmfData(smf, smaller.data(), 0), 0);
    EXPECT_EQ(smaller, Bytes(size - 1, 0xAA));
    EXPECT_EQ(GetSmfDataSize(smf, nullptr), 0);
    EXPECT_EQ(GetSmfData(smf, nullptr, size), 0);
}

TEST_F(Output, CreateAlwaysWritesExactlyTheImage) {
    writeFile(path, Bytes(100, 0x55));
    ASSERT_EQ(SaveSmf(smf, path.c_str(), CreateAlways, Normal), 1);
    EXPECT_EQ(readFile(path), image);
    EXPECT_EQ(SaveSmf(smf, nullptr, CreateAlways, Normal), 0);
}

TEST_F(Output, CreateNewRefusesAnExistingFile) {
    ASSERT_EQ(SaveSmf(smf, path.c_str(), CreateNew, Normal), 1);
    EXPECT_EQ(readFile(path), image);
    writeFile(path, {1, 2, 3});
    EXPECT_EQ(SaveSmf(smf, path.c_str(), CreateNew, Normal), 0);
    EXPECT_EQ(readFile(path), (Bytes{1, 2, 3}));
}

TEST_F(Output, OpeningWithoutTruncationKeepsTheTail) {
    for (uint32_t disposition : {OpenExisting, OpenAlways}) {
        writeFile(path, Bytes(50, 0x55));
        ASSERT_EQ(SaveSmf(smf, path.c_str(), disposition, Normal), 1);
        Bytes expected = image;
        expected.resize(50, 0x55);
        EXPECT_EQ(readFile(path), expected) << disposition;
    }
}

TEST_F(Output, DispositionsOnAMissingFile) {
    EXPECT_EQ(SaveSmf(smf, path.c_str(), OpenExisting, Normal), 0);
    EXPECT_EQ(SaveSmf(smf, path.c_str(), TruncateExisting, Normal), 0);
    EXPECT_EQ(SaveSmf(smf, path.c_str(), 0, Normal), 0);
    EXPECT_EQ(SaveSmf(smf, path.c_str(), 6, Normal), 0);
    EXPECT_TRUE(readFile(path).empty());
    ASSERT_EQ(SaveSmf(smf, path.c_str(), OpenAlways, Normal), 1);
    EXPECT_EQ(readFile(path), image);
    writeFile(path, Bytes(50, 0x55));
    ASSERT_EQ(SaveSmf(smf, path.c_str(), TruncateExisting, Normal), 1);
    EXPECT_EQ(readFile(path), image);
}

TEST_F(Output, MissingFolderFails) {
    EXPECT_EQ(SaveSmf(smf, "no-such-folder/x.mid", CreateAlways, Normal), 0);
}

// A format-1 file is saved as SaveSmf saves one: the image that
// GetSmfTracksData gives, under the same dispositions; refused tracks touch
// no file and leave errno as it was.
TEST_F(Output, TracksAreSavedAsTheirImage) {
    SmfHandle other = CreateSmf(480), deleted = CreateSmf(480);
    DeleteSmf(deleted);
    const SmfHandle tracks[3] = {smf, other, smf};
    uint32_t size = 0;
    ASSERT_EQ(GetSmfTracksDataSize(tracks, 3, &size), 1);
    Bytes expected(size);
    ASSERT_EQ(GetSmfTracksData(tracks, 3, expected.data(), size), 1);
    writeFile(path, Bytes(500, 0x55));
    ASSERT_EQ(SaveSmfTracks(tracks, 3, path.c_str(), CreateAlways, Normal), 1);
    EXPECT_EQ(readFile(path), expected);
    EXPECT_EQ(SaveSmfTracks(tracks, 3, path.c_str(), CreateNew, Normal), 0);
    EXPECT_EQ(SaveSmfTracks(tracks, 3, nullptr, CreateAlways, Normal), 0);
    std::remove(path.c_str());
    const SmfHandle refused[2] = {smf, deleted};
    errno = 1234;
    EXPECT_EQ(SaveSmfTracks(refused, 2, path.c_str(), CreateAlways, Normal), 0);
    EXPECT_EQ(SaveSmfTracks(tracks, 0, path.c_str(), CreateAlways, Normal), 0);
    EXPECT_EQ(SaveSmfTracks(nullptr, 1, path.c_str(), CreateAlways, Normal), 0);
    EXPECT_EQ(errno, 1234);
    EXPECT_TRUE(readFile(path).empty());
    DeleteSmf(other);
}

}  // namespace
