// The POSIX system layer: the in-process clipboard as a host sees it, and
// the file flags that mean something outside Windows.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "platform/system.h"
#include "support/internals.h"
#include "xemidi_clipboard.h"

using smftest::Bytes;
using smftest::SmfTest;

namespace {

using PosixClipboard = SmfTest;
using PosixFiles = SmfTest;

// Puts bytes under format as another program would.
void putOnClipboard(uint32_t format, const char* text) {
    const auto& os = xemidi::sys::systemCalls();
    ASSERT_EQ(os.openClipboard(), 1);
    os.emptyClipboard();
    xemidi::sys::MemoryHandle block = os.globalAlloc(uint32_t(std::strlen(text)));
    std::memcpy(os.globalLock(block), text, std::strlen(text));
    os.globalUnlock(block);
    ASSERT_EQ(os.setClipboardData(format, block), 1);
    os.closeClipboard();
}

Bytes clipboardData(uint32_t format) {
    EXPECT_EQ(xemidi_clipboard_open(), 1);
    uint32_t size = 0;
    const auto* data = static_cast<const uint8_t*>(xemidi_clipboard_data(format, &size));
    Bytes bytes = data ? Bytes(data, data + size) : Bytes{};
    EXPECT_EQ(xemidi_clipboard_close(), 1);
    return bytes;
}

TEST_F(PosixClipboard, HoldsTheImageAndNothingElse) {
    const uint32_t text = xemidi_clipboard_format("text");
    const uint32_t smfFormat = xemidi_clipboard_format("Standard MIDI File");
    EXPECT_GE(text, 0xC000u);
    EXPECT_EQ(xemidi_clipboard_format("TEXT"), text);
    EXPECT_NE(smfFormat, text);
    putOnClipboard(text, "hello");
    EXPECT_EQ(CopyToClipboard(nullptr), 0);
    EXPECT_EQ(clipboardData(text), (Bytes{'h', 'e', 'l', 'l', 'o'}));
    const uint8_t on[3] = {0x90, 0x3C, 0x64};
    ASSERT_EQ(InsertMidiEvent(smf, 0, on, 3), 1);
    ASSERT_EQ(CopyToClipboard(smf), 1);
    ASSERT_EQ(CopyToClipboard(smf), 1);
    EXPECT_EQ(clipboardData(smfFormat), smftest::imageOf(smf));
    EXPECT_TRUE(clipboardData(text).empty());
    EXPECT_EQ(xemidi_clipboard_data(smfFormat, nullptr), nullptr);  // not open for the host
    EXPECT_EQ(xemidi_clipboard_close(), 0);
}

TEST_F(PosixFiles, ReadonlyAttributeAndLockedFiles) {
    const char* path = "posix-files.mid";
    std::remove(path);
    ASSERT_EQ(SaveSmf(smf, path, 1, 0x1), 1);  // CREATE_NEW, FILE_ATTRIBUTE_READONLY
    struct stat info {};
    ASSERT_EQ(stat(path, &info), 0);
    EXPECT_EQ(info.st_mode & 0222, 0u);
    std::remove(path);
    ASSERT_EQ(SaveSmf(smf, path, 2, 0x80000080), 1);  // write-through
    // A file another writer holds locked is neither opened nor truncated.
    const int fd = open(path, O_RDONLY);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    EXPECT_EQ(SaveSmf(smf, path, 2, 0x80), 0);
    EXPECT_EQ(stat(path, &info), 0);
    EXPECT_EQ(info.st_size, 26);
    close(fd);
    std::remove(path);
}

}  // namespace
