// The POSIX system layer: the in-process clipboard as a host sees it, and
// the file flags that mean something outside Windows, special files and
// failed saves.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

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

// Format names match with ASCII letters folded, whatever the host's locale.
// A Turkish one, made here with localedef (package locales), folds 'I' to
// the dotless 0xFD and 0xC0 to 0xE0: neither may change which names match.
TEST(PosixClipboardNames, FoldAsciiOnlyUnderATurkishLocale) {
    const std::string folder = testing::TempDir() + "xemidi-locales-" + std::to_string(getpid());
    const std::string make =
        "localedef -c -i tr_TR -f ISO-8859-9 " + folder + "/tr_TR.ISO-8859-9 >/dev/null 2>&1";
    mkdir(folder.c_str(), 0700);
    const int made = std::system(make.c_str());
    setenv("LOCPATH", folder.c_str(), 1);
    const std::string previous = setlocale(LC_CTYPE, nullptr);
    const bool turkish = made != -1 && setlocale(LC_CTYPE, "tr_TR.ISO-8859-9") != nullptr;
    unsetenv("LOCPATH");
    std::system(("rm -rf " + folder).c_str());
    if (!turkish) GTEST_SKIP() << "no Turkish locale: localedef (package locales) is missing";
    EXPECT_NE(std::tolower('I'), 'i');
    const uint32_t format = xemidi_clipboard_format("Standard MIDI File");
    EXPECT_EQ(xemidi_clipboard_format("STANDARD MIDI FILE"), format);
    EXPECT_EQ(xemidi_clipboard_format("standard midi file"), format);
    EXPECT_NE(xemidi_clipboard_format("\xC0 name"), xemidi_clipboard_format("\xE0 name"));
    setlocale(LC_CTYPE, previous.c_str());
}

// errno tells a host why a save failed (a missing folder, a file that
// exists, a lock, a disposition out of range).
TEST_F(PosixFiles, ReadonlyAttributeAndLockedFiles) {
    const char* path = "posix-files.mid";
    std::remove(path);
    EXPECT_EQ(SaveSmf(smf, "no-such-folder/x.mid", 2, 0x80), 0);
    EXPECT_EQ(errno, ENOENT);
    ASSERT_EQ(SaveSmf(smf, path, 1, 0x1), 1);  // CREATE_NEW, FILE_ATTRIBUTE_READONLY
    struct stat info {};
    ASSERT_EQ(stat(path, &info), 0);
    EXPECT_EQ(info.st_mode & 0222, 0u);
    EXPECT_EQ(SaveSmf(smf, path, 1, 0x80), 0);
    EXPECT_EQ(errno, EEXIST);
    for (uint32_t disposition : {0u, 6u}) {
        errno = 0;
        EXPECT_EQ(SaveSmf(smf, path, disposition, 0x80), 0);
        EXPECT_EQ(errno, EINVAL) << disposition;
    }
    std::remove(path);
    ASSERT_EQ(SaveSmf(smf, path, 2, 0x80000080), 1);  // write-through
    // A file another writer holds locked is neither opened nor truncated.
    const int fd = open(path, O_RDONLY);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    EXPECT_EQ(SaveSmf(smf, path, 2, 0x80), 0);
    EXPECT_EQ(errno, EWOULDBLOCK);
    EXPECT_EQ(stat(path, &info), 0);
    EXPECT_EQ(info.st_size, 26);
    close(fd);
    std::remove(path);
}

// Runs body in a child process and returns its exit status; -1 when a
// signal ended it or it had to be stopped after seconds (it hung).
int inChild(const std::function<int()>& body, int seconds = 10) {
    const pid_t pid = fork();
    if (pid == 0) _exit(body());
    for (int waited = 0; waited < seconds * 100; ++waited) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        usleep(10000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

// A FIFO is refused at once, with or without a reader: an open for writing
// would wait for a reader, and a write to a reader that goes away would end
// the host. A character device such as /dev/null is written.
TEST_F(PosixFiles, SpecialFilesNeverBlockTheHost) {
    const uint8_t on[3] = {0x90, 0x3C, 0x64};
    for (uint32_t tick = 0; tick < 40000; ++tick) ASSERT_EQ(InsertMidiEvent(smf, tick, on, 3), 1);
    const std::string fifo = testing::TempDir() + "xemidi-fifo-" + std::to_string(getpid());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(inChild([&] {
                  for (uint32_t disposition = 1; disposition <= 5; ++disposition) {
                      if (SaveSmf(smf, fifo.c_str(), disposition, 0x80) != 0)
                          return 10 + int(disposition);
                  }
                  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);  // reads nothing
                  errno = 0;
                  if (SaveSmf(smf, fifo.c_str(), 2, 0x80) != 0 || errno != ENOTSUP) return 2;
                  close(reader);
                  return SaveSmf(smf, "/dev/null", 3, 0x80) == 1 ? 0 : 3;
              }),
              0);
    struct stat info {};
    EXPECT_EQ(stat(fifo.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    std::remove(fifo.c_str());
}

// A character device takes every disposition but CREATE_NEW (it exists):
// only a regular file is truncated, since ftruncate fails on /dev/null.
TEST_F(PosixFiles, DevNullWithTruncatingDispositions) {
    const int expected[] = {0, 1, 1, 1, 1};  // CREATE_NEW .. TRUNCATE_EXISTING
    for (uint32_t disposition = 1; disposition <= 5; ++disposition) {
        EXPECT_EQ(SaveSmf(smf, "/dev/null", disposition, 0x80), expected[disposition - 1])
            << "disposition " << disposition;
    }
    struct stat info {};
    ASSERT_EQ(stat("/dev/null", &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode));
}

// A save that fails on a full disk (here a file size limit) removes the
// file it created, so that it can be made again; an existing file keeps
// what was written into it.
TEST_F(PosixFiles, FailedSavesLeaveNoFileOfTheirOwn) {
    const uint8_t on[3] = {0x90, 0x3C, 0x64};
    for (uint32_t tick = 0; tick < 100; ++tick) ASSERT_EQ(InsertMidiEvent(smf, tick, on, 3), 1);
    const std::string path = testing::TempDir() + "xemidi-full-" + std::to_string(getpid());
    const auto exists = [&] { return access(path.c_str(), F_OK) == 0; };
    EXPECT_EQ(
        inChild([&] {
            signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails with EFBIG
            rlimit limit{};
            getrlimit(RLIMIT_FSIZE, &limit);
            const rlim_t room = limit.rlim_cur;
            limit.rlim_cur = 64;
            setrlimit(RLIMIT_FSIZE, &limit);
            for (uint32_t disposition : {1u, 2u, 4u}) {  // CREATE_NEW, CREATE_ALWAYS, OPEN_ALWAYS
                if (SaveSmf(smf, path.c_str(), disposition, 0x80) != 0 || errno != EFBIG) return 1;
                if (exists()) return 2;
            }
            std::FILE* existing = std::fopen(path.c_str(), "wb");
            std::fclose(existing);
            if (SaveSmf(smf, path.c_str(), 3, 0x80) != 0) return 3;  // OPEN_EXISTING
            struct stat info {};
            if (stat(path.c_str(), &info) != 0 || info.st_size != 64) return 4;
            std::remove(path.c_str());
            limit.rlim_cur = room;
            setrlimit(RLIMIT_FSIZE, &limit);
            return SaveSmf(smf, path.c_str(), 1, 0x80) == 1 ? 0 : 5;
        }),
        0);
    EXPECT_TRUE(exists());
    std::remove(path.c_str());
}

// LoadSmf reads regular files only, and never waits: a FIFO with or
// without a writer, a directory and a device are refused at once with the
// reason in errno. errno changes only when the file fails: a malformed
// file or a read that succeeds leave it as it was.
TEST_F(PosixFiles, LoadSmfReadsRegularFilesOnly) {
    const std::string fifo = testing::TempDir() + "xemidi-load-fifo-" + std::to_string(getpid());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(inChild([&] {
                  uint32_t reason = 0;
                  errno = 0;
                  if (LoadSmf(fifo.c_str(), &reason, nullptr) != nullptr) return 1;
                  if (reason != XEMIDI_READ_FILE || errno != ENOTSUP) return 2;
                  const int writer = open(fifo.c_str(), O_RDWR | O_NONBLOCK);
                  errno = 0;
                  if (LoadSmf(fifo.c_str(), &reason, nullptr) != nullptr || errno != ENOTSUP)
                      return 3;
                  close(writer);
                  return 0;
              }),
              0);
    std::remove(fifo.c_str());
    uint32_t reason = 0;
    errno = 0;
    EXPECT_EQ(LoadSmf(testing::TempDir().c_str(), &reason, nullptr), nullptr);
    EXPECT_EQ(errno, EISDIR);
    errno = 0;
    EXPECT_EQ(LoadSmf("/dev/zero", &reason, nullptr), nullptr);
    EXPECT_EQ(errno, ENOTSUP);
    EXPECT_EQ(reason, uint32_t(XEMIDI_READ_FILE));
    const std::string path = testing::TempDir() + "xemidi-load-" + std::to_string(getpid());
    ASSERT_EQ(SaveSmf(smf, path.c_str(), 2, 0x80), 1);
    errno = EDOM;
    SmfHandle loaded = LoadSmf(path.c_str(), &reason, nullptr);
    EXPECT_NE(loaded, nullptr);
    EXPECT_EQ(errno, EDOM);
    DeleteSmf(loaded);
    std::FILE* junk = std::fopen(path.c_str(), "wb");
    std::fputs("not a MIDI file", junk);
    std::fclose(junk);
    errno = EDOM;
    EXPECT_EQ(LoadSmf(path.c_str(), &reason, nullptr), nullptr);
    EXPECT_EQ(reason, uint32_t(XEMIDI_READ_NOT_SMF));
    EXPECT_EQ(errno, EDOM);
    chmod(path.c_str(), 0);
    if (geteuid() != 0) {  // root reads it all the same
        EXPECT_EQ(LoadSmf(path.c_str(), &reason, nullptr), nullptr);
        EXPECT_EQ(errno, EACCES);
    }
    std::remove(path.c_str());
    errno = 0;
    EXPECT_EQ(LoadSmf(path.c_str(), &reason, nullptr), nullptr);
    EXPECT_EQ(errno, ENOENT);
}

}  // namespace
