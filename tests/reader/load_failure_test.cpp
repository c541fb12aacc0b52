// Loading a file when a system call fails: nothing is made, the file is
// closed, and errno holds the failed step's reason; a read that gives less
// than it was asked for is read on to the end.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>

#include "objects/registry.h"
#include "support/failing_system.h"
#include "support/internals.h"

using smftest::Fail;
using smftest::FailingSystem;

namespace {

class LoadFailure : public smftest::SmfTest {
  protected:
    void SetUp() override {
        ASSERT_EQ(cal_insert_Note(smf, 0, 0, 60, 100, 480), 1);
        ASSERT_EQ(calex_insert_Text(smf, 10, "a text longer than three bytes"), 1);
        ASSERT_EQ(SaveSmf(smf, path, 2, 0x80), 1);
        image = smftest::imageOf(smf);
    }
    void TearDown() override {
        std::remove(path);
        SmfTest::TearDown();
    }
    const char* path = "load-failure.mid";
    smftest::Bytes image;
};

TEST_F(LoadFailure, EveryFailedStepIsReportedWithItsReason) {
    const uint32_t objects = xemidi::liveObjectCount();
    for (Fail fail : {Fail::OpenToRead, Fail::ReadFile, Fail::CloseFile}) {
        FailingSystem system(fail);
        uint32_t reason = 0, count = 0;
        SmfHandle tracks[1] = {};
        errno = 0;
        EXPECT_EQ(LoadSmf(path, &reason, nullptr), nullptr) << int(fail);
        EXPECT_EQ(reason, uint32_t(XEMIDI_READ_FILE)) << int(fail);
        EXPECT_EQ(uint32_t(errno), FailingSystem::reasonOf(fail)) << int(fail);
        errno = 0;
        EXPECT_EQ(LoadSmfTracks(path, tracks, 1, &count, &reason, nullptr), 0) << int(fail);
        EXPECT_EQ(uint32_t(errno), FailingSystem::reasonOf(fail)) << int(fail);
        EXPECT_EQ(xemidi::liveObjectCount(), objects) << int(fail);
        // Each open was closed: one close a load, none when the open failed.
        EXPECT_EQ(FailingSystem::counts().closes, fail == Fail::OpenToRead ? 0 : 2) << int(fail);
    }
    FailingSystem system(Fail::ShortRead);
    SmfHandle loaded = LoadSmf(path, nullptr, nullptr);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(smftest::imageOf(loaded), image);
    DeleteSmf(loaded);
}

// A refused file makes no object, however far its reading got: every
// prefix of a file of two tracks, and the tracks' objects made before a
// later track is refused.
TEST_F(LoadFailure, RefusedFilesMakeNoObject) {
    const smftest::Bytes track(image.begin() + 14, image.end());
    const smftest::Bytes file = smftest::joined({smftest::headerChunk(1, 2, 96), track, track});
    const uint32_t objects = xemidi::liveObjectCount();
    for (size_t n = 0; n < file.size(); ++n) {
        SmfHandle tracks[2] = {};
        uint32_t count = 0;
        EXPECT_EQ(ReadSmf(file.data(), uint32_t(n), nullptr, nullptr), nullptr) << n;
        EXPECT_EQ(ReadSmfTracks(file.data(), uint32_t(n), tracks, 2, &count, nullptr, nullptr), 0)
            << n;
        EXPECT_EQ(xemidi::liveObjectCount(), objects) << n << " bytes";
    }
}

}  // namespace
