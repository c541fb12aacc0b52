// Outputs when a system call fails: the result is 0, the file is closed,
// every block not handed to the clipboard is freed, and a clipboard that
// could not be given the image is left as it was.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <string>

#include "support/failing_system.h"
#include "support/internals.h"
#include "writer/clipboard_format.h"
#include "xemidi_clipboard.h"

using smftest::Fail;
using smftest::FailingSystem;

namespace {

class OutputFailure : public smftest::SmfTest {
  protected:
    void SetUp() override {
        const uint8_t on[3] = {0x90, 0x3C, 0x64};
        ASSERT_EQ(InsertMidiEvent(smf, 0, on, 3), 1);
        std::remove(path);
    }
    void TearDown() override {
        std::remove(path);
        SmfTest::TearDown();
    }
    // What the clipboard holds under our format, as the host sees it.
    static std::string clipboardText(uint32_t format) {
        EXPECT_EQ(xemidi_clipboard_open(), 1);
        uint32_t size = 0;
        const void* data = xemidi_clipboard_data(format, &size);
        std::string text = data ? std::string(static_cast<const char*>(data), size) : "";
        xemidi_clipboard_close();
        return text;
    }
    const char* path = "output-failure.mid";
};

// ... and removes the file it made, while a file that was there stays.
// errno holds the failed step's reason, which closing and removing the file
// afterwards do not replace. A format-1 file of the object (twice) is saved
// the same way.
TEST_F(OutputFailure, SaveReportsEveryFailedStepAndClosesTheFile) {
    const SmfHandle twice[2] = {smf, smf};
    const auto saveOne = [&](uint32_t disposition) {
        return SaveSmf(smf, path, disposition, 0x80);
    };
    const auto saveTracks = [&](uint32_t disposition) {
        return SaveSmfTracks(twice, 2, path, disposition, 0x80);
    };
    for (const auto& save : {std::function<int(uint32_t)>(saveOne), {saveTracks}}) {
        for (Fail fail : {Fail::CreateFile, Fail::WriteFile, Fail::ShortWrite, Fail::CloseFile}) {
            FailingSystem system(fail);
            const uint32_t reason = FailingSystem::reasonOf(fail);
            EXPECT_EQ(save(2), 0) << int(fail);
            EXPECT_TRUE(reason == 0 || uint32_t(errno) == reason) << int(fail) << ": " << errno;
            EXPECT_EQ(FailingSystem::counts().closes, fail == Fail::CreateFile ? 0 : 1);
            EXPECT_EQ(std::fopen(path, "rb"), nullptr)
                << "a failed save left a file: " << int(fail);
            std::fclose(std::fopen(path, "wb"));
            EXPECT_EQ(save(4), 0) << int(fail);  // OPEN_ALWAYS, existing
            EXPECT_TRUE(reason == 0 || uint32_t(errno) == reason) << int(fail) << ": " << errno;
            std::FILE* existing = std::fopen(path, "rb");
            EXPECT_NE(existing, nullptr) << "an existing file was removed: " << int(fail);
            if (existing != nullptr) std::fclose(existing);
            std::remove(path);
        }
        FailingSystem none(Fail::None);
        EXPECT_EQ(save(2), 1);
        std::remove(path);
    }
}

TEST_F(OutputFailure, ClipboardKeepsItsContentWhenTheImageCannotBeGiven) {
    // Our own content on the clipboard first, under the library's format.
    const uint32_t format = xemidi_clipboard_format("standard midi file");
    ASSERT_EQ(CopyToClipboard(smf), 1);
    const std::string before = clipboardText(format);
    ASSERT_EQ(before.substr(0, 4), "MThd");
    const uint8_t more[3] = {0x90, 0x40, 0x64};
    ASSERT_EQ(InsertMidiEvent(smf, 10, more, 3), 1);
    ASSERT_EQ(xemidi_clipboard_open(), 1);  // held open by another owner
    EXPECT_EQ(CopyToClipboard(smf), 0);
    xemidi_clipboard_close();
    EXPECT_EQ(clipboardText(format), before);
    // A clipboard that cannot be emptied is given nothing and keeps its content.
    for (Fail fail : {Fail::Open, Fail::Empty, Fail::Alloc, Fail::Lock, Fail::Set}) {
        FailingSystem system(fail);
        EXPECT_EQ(CopyToClipboard(smf), 0) << int(fail);
        EXPECT_EQ(FailingSystem::counts().frees, FailingSystem::counts().allocations) << int(fail);
        // Only a refusal by the clipboard itself comes after it was emptied.
        EXPECT_EQ(clipboardText(format), fail == Fail::Set ? "" : before) << int(fail);
    }
}

TEST_F(OutputFailure, FormatIsRegisteredOnceEvenWhenRegistrationFails) {
    xemidi::smfClipboardFormatRegistered = false;  // as in a new process
    {
        FailingSystem system(Fail::Register);
        EXPECT_EQ(CopyToClipboard(nullptr), 0);  // a bad handle registers nothing
        EXPECT_EQ(FailingSystem::counts().registrations, 0);
        EXPECT_EQ(CopyToClipboard(smf), 0);
        EXPECT_EQ(CopyToClipboard(smf), 0);
        EXPECT_EQ(FailingSystem::counts().registrations, 1);
        EXPECT_EQ(FailingSystem::counts().opens, 0);
    }
    FailingSystem none(Fail::None);
    EXPECT_EQ(CopyToClipboard(smf), 0);  // not retried
    EXPECT_EQ(FailingSystem::counts().registrations, 0);
    xemidi::smfClipboardFormatRegistered = false;
}

TEST_F(OutputFailure, RegistrationOutOfMemoryIsTriedAgain) {
    xemidi::smfClipboardFormatRegistered = false;  // as in a new process
    {
        FailingSystem system(Fail::RegisterOutOfMemory);
        EXPECT_EQ(CopyToClipboard(smf), 0);
    }
    FailingSystem none(Fail::None);
    EXPECT_EQ(CopyToClipboard(smf), 1);
    EXPECT_EQ(FailingSystem::counts().registrations, 1);
}

}  // namespace
