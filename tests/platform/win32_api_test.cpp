// SaveSmf and CopyToClipboard on Windows: real CreateFileA files and the
// system clipboard, read back through Win32 as another program would.
#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <future>
#include <string>
#include <thread>

#include "support/smf_reader.h"
#include "support/win32_clipboard.h"
#include "xemidi.h"

using smftest::Bytes;
using smftest::FormatName;
using smftest::putText;
using smftest::Snapshot;

namespace {

// ---- Files ------------------------------------------------------------------

Bytes readWin32File(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    Bytes bytes(GetFileSize(file, nullptr));
    DWORD read = 0;
    const BOOL ok = ReadFile(file, bytes.data(), DWORD(bytes.size()), &read, nullptr);
    CloseHandle(file);
    if (!ok || read != bytes.size()) ADD_FAILURE() << "cannot read " << path;
    return bytes;
}

void writeWin32File(const std::string& path, const Bytes& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(file);
    ASSERT_EQ(written, bytes.size());
}

bool exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Each test gets an empty folder of its own under the system's temporary
// folder, addressed with a drive letter and backslashes.
class Win32Files : public ::testing::Test {
  protected:
    void SetUp() override {
        char temp[MAX_PATH] = {};
        ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
        folder = std::string(temp) + "xemidi-" + std::to_string(GetCurrentProcessId()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name();
        ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << folder;
        path = folder + "\\song.mid";
        const uint8_t on[3] = {0x90, 0x3C, 0x64}, off[3] = {0x80, 0x3C, 0x40};
        ASSERT_EQ(InsertMidiEvent(smf, 0, on, 3), 1);
        ASSERT_EQ(InsertMidiEvent(smf, 480, off, 3), 1);
        image = smftest::imageOf(smf);
        ASSERT_EQ(image.size(), 35u);
    }
    void TearDown() override {
        DeleteSmf(smf);
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
        EXPECT_TRUE(RemoveDirectoryA(folder.c_str())) << folder << " left with files in it";
    }
    SmfHandle smf = CreateSmf(480);
    Bytes image;
    std::string folder, path;
};

// Every disposition, on a missing file and on an existing file longer than
// the image: the result and what the file then holds.
TEST_F(Win32Files, EveryDispositionOnMissingAndLongerFiles) {
    const Bytes longer(50, 0x55);
    Bytes imageAndTail = image;
    imageAndTail.resize(longer.size(), 0x55);
    const Bytes absent;
    struct Case {
        DWORD disposition;
        int onMissing;
        Bytes missingAfter;
        int onExisting;
        Bytes existingAfter;
    } cases[] = {
        {CREATE_NEW, 1, image, 0, longer},           {CREATE_ALWAYS, 1, image, 1, image},
        {OPEN_EXISTING, 0, absent, 1, imageAndTail}, {OPEN_ALWAYS, 1, image, 1, imageAndTail},
        {TRUNCATE_EXISTING, 0, absent, 1, image},
    };
    for (const Case& c : cases) {
        DeleteFileA(path.c_str());
        EXPECT_EQ(SaveSmf(smf, path.c_str(), c.disposition, FILE_ATTRIBUTE_NORMAL), c.onMissing)
            << "disposition " << c.disposition << " on a missing file";
        EXPECT_EQ(exists(path), !c.missingAfter.empty()) << c.disposition;
        EXPECT_EQ(readWin32File(path), c.missingAfter) << c.disposition;

        writeWin32File(path, longer);
        EXPECT_EQ(SaveSmf(smf, path.c_str(), c.disposition, FILE_ATTRIBUTE_NORMAL), c.onExisting)
            << "disposition " << c.disposition << " on an existing file";
        EXPECT_EQ(readWin32File(path), c.existingAfter) << c.disposition;
    }
}

// GetLastError() tells why, as CreateFileA gave it.
TEST_F(Win32Files, RefusalsCreateNothing) {
    char fake[16] = "xeMidi";
    for (SmfHandle bad : {SmfHandle(nullptr), reinterpret_cast<SmfHandle>(fake)}) {
        EXPECT_EQ(SaveSmf(bad, path.c_str(), CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL), 0);
        EXPECT_FALSE(exists(path));
    }
    for (DWORD disposition : {DWORD(0), DWORD(6)}) {
        EXPECT_EQ(SaveSmf(smf, path.c_str(), disposition, FILE_ATTRIBUTE_NORMAL), 0);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER)) << disposition;
        EXPECT_FALSE(exists(path));
    }
    const std::string missingFolder = folder + "\\no-such-folder\\song.mid";
    EXPECT_EQ(SaveSmf(smf, missingFolder.c_str(), CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(exists(missingFolder));
    writeWin32File(path, {1, 2, 3});
    EXPECT_EQ(SaveSmf(smf, path.c_str(), XEMIDI_CREATE_NEW, XEMIDI_FILE_ATTRIBUTE_NORMAL), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_EXISTS));
}

// Share mode 0 on both sides: a file that another handle holds without
// sharing cannot be written, and stays as it was.
TEST_F(Win32Files, FileHeldOpenWithoutSharingIsLeftAlone) {
    writeWin32File(path, {1, 2, 3});
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(SaveSmf(smf, path.c_str(), OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL), 0);
    EXPECT_EQ(SaveSmf(smf, path.c_str(), CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL), 0);
    CloseHandle(held);
    EXPECT_EQ(readWin32File(path), (Bytes{1, 2, 3}));
}

// The attributes reach CreateFileA: a file created read-only is read-only.
TEST_F(Win32Files, AttributesArePassedThrough) {
    ASSERT_EQ(SaveSmf(smf, path.c_str(), CREATE_NEW, FILE_ATTRIBUTE_READONLY), 1);
    EXPECT_EQ(readWin32File(path), image);
    const DWORD attributes = GetFileAttributesA(path.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_READONLY);
}

// ---- Clipboard ----------------------------------------------------------------

class Win32Clipboard : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(smf, nullptr);
        ASSERT_EQ(cal_insert_Note(smf, 0, 0, 60, 100, 480), 1);
        image = smftest::imageOf(smf);
        ASSERT_EQ(image.size(), 35u);
    }
    void TearDown() override { DeleteSmf(smf); }
    SmfHandle smf = CreateSmf(480);
    Bytes image;
};

TEST_F(Win32Clipboard, HoldsTheImageUnderTheRegisteredFormatAndNothingElse) {
    putText("before");
    ASSERT_EQ(CopyToClipboard(smf), 1);
    const Snapshot after = Snapshot::take();
    EXPECT_TRUE(after.hasSmf);
    EXPECT_EQ(after.text, "");
    EXPECT_EQ(after.formatCount, 1u);
    ASSERT_GE(after.smf.size(), image.size());
    EXPECT_EQ(Bytes(after.smf.begin(), after.smf.begin() + long(image.size())), image);
    for (size_t at = image.size(); at < after.smf.size(); ++at) {
        EXPECT_EQ(after.smf[at], 0) << "byte " << at << " past the image";
    }
}

// The name is registered once per process; the same name, in any case,
// names the same format, and a second copy uses it again.
TEST_F(Win32Clipboard, FormatIsTheOneRegisteredByName) {
    ASSERT_EQ(CopyToClipboard(smf), 1);
    ASSERT_TRUE(OpenClipboard(nullptr));
    const UINT used = EnumClipboardFormats(0);
    CloseClipboard();
    EXPECT_GE(used, 0xC000u);
    EXPECT_EQ(used, RegisterClipboardFormatA(FormatName));
    EXPECT_EQ(used, RegisterClipboardFormatA("standard midi file"));
    char name[64] = {};
    ASSERT_GT(GetClipboardFormatNameA(used, name, sizeof name), 0);
    EXPECT_STREQ(name, FormatName);

    ASSERT_EQ(cal_insert_Note(smf, 480, 0, 62, 100, 480), 1);
    ASSERT_EQ(CopyToClipboard(smf), 1);
    const Snapshot second = Snapshot::take();
    EXPECT_EQ(second.formatCount, 1u);
    const Bytes longer = smftest::imageOf(smf);
    EXPECT_EQ(Bytes(second.smf.begin(), second.smf.begin() + long(longer.size())), longer);
}

TEST_F(Win32Clipboard, InvalidHandleLeavesTheClipboardUntouched) {
    putText("kept");
    char fake[16] = "xeMidi";
    SmfHandle stale = CreateSmf(96);
    DeleteSmf(stale);
    for (SmfHandle bad : {SmfHandle(nullptr), reinterpret_cast<SmfHandle>(fake), stale}) {
        EXPECT_EQ(CopyToClipboard(bad), 0);
    }
    const Snapshot after = Snapshot::take();
    EXPECT_EQ(after.text, "kept");
    EXPECT_FALSE(after.hasSmf);
}

// Holds the clipboard open from a thread of its own, through a window of its
// own, as another program would.
class ClipboardHolder {
  public:
    ClipboardHolder() : thread_([this] { run(); }) { holding_ = opened_.get_future().get(); }
    ~ClipboardHolder() {
        release_.set_value();
        thread_.join();
    }
    bool holding() const { return holding_; }

  private:
    void run() {
        HWND window = CreateWindowExA(0, "STATIC", "holder", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      nullptr, nullptr);
        const bool open = window != nullptr && OpenClipboard(window);
        opened_.set_value(open);
        release_.get_future().wait();
        if (open) CloseClipboard();
        if (window) DestroyWindow(window);
    }
    std::promise<bool> opened_;
    std::promise<void> release_;
    bool holding_ = false;
    std::thread thread_;
};

// While another owner holds the clipboard open, the copy fails at once and
// the clipboard keeps what it held.
TEST_F(Win32Clipboard, ClipboardHeldOpenElsewhereFailsAndKeepsItsContent) {
    putText("held");
    {
        ClipboardHolder holder;
        ASSERT_TRUE(holder.holding());
        EXPECT_EQ(CopyToClipboard(smf), 0);
    }
    const Snapshot after = Snapshot::take();
    EXPECT_EQ(after.text, "held");
    EXPECT_FALSE(after.hasSmf);

    ASSERT_EQ(CopyToClipboard(smf), 1);  // and works again once it is closed
    EXPECT_TRUE(Snapshot::take().hasSmf);
}

}  // namespace

#endif  // _WIN32
