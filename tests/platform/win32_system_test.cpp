// The Win32 layer behind the system-call table, with the clipboard's calls
// routed through wrappers that can fail: the clipboard is left as it was
// wherever the library can keep it. Linked to the library's code (not the
// DLL), so that the table can be reached.
#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>

#include "platform/system.h"
#include "support/win32_clipboard.h"
#include "xemidi.h"

using smftest::putText;
using smftest::Snapshot;
using xemidi::sys::MemoryHandle;
using xemidi::sys::nativeSystemCalls;

namespace {

// What the wrappers are told to fail, and what they saw.
struct Calls {
    bool failEmpty = false;
    bool setCalled = false;
    HWND ownerAtSet = nullptr;  // the clipboard's owner when the data was set
    int frees = 0;
} calls;

int emptyClipboard() {
    return calls.failEmpty ? 0 : nativeSystemCalls().emptyClipboard();
}
int setClipboardData(uint32_t format, MemoryHandle block) {
    calls.setCalled = true;
    calls.ownerAtSet = GetClipboardOwner();
    return nativeSystemCalls().setClipboardData(format, block);
}
MemoryHandle globalFree(MemoryHandle block) {
    ++calls.frees;
    return nativeSystemCalls().globalFree(block);
}

class Win32ClipboardCalls : public ::testing::Test {
  protected:
    void SetUp() override {
        calls = {};
        auto& table = xemidi::sys::systemCalls();
        table.emptyClipboard = emptyClipboard;
        table.setClipboardData = setClipboardData;
        table.globalFree = globalFree;
        ASSERT_EQ(cal_insert_Note(smf, 0, 0, 60, 100, 480), 1);
    }
    void TearDown() override {
        xemidi::sys::systemCalls() = nativeSystemCalls();
        DeleteSmf(smf);
    }
    SmfHandle smf = CreateSmf(480);
};

// EmptyClipboard's result counts: a clipboard that cannot be emptied is
// given nothing, keeps what it held and is closed again.
TEST_F(Win32ClipboardCalls, FailedEmptyClipboardLeavesTheClipboardAsItWas) {
    putText("kept");
    calls.failEmpty = true;
    EXPECT_EQ(CopyToClipboard(smf), 0);
    EXPECT_FALSE(calls.setCalled);
    EXPECT_EQ(calls.frees, 1);
    const Snapshot after = Snapshot::take();
    EXPECT_EQ(after.text, "kept");
    EXPECT_FALSE(after.hasSmf);
}

// The data is set while a window of the library's own owns the clipboard:
// opened without a window, EmptyClipboard leaves it without an owner, and
// SetClipboardData is documented to fail then. The window lives for the one
// call; the data stays.
TEST_F(Win32ClipboardCalls, DataIsSetByAnOwnerWindow) {
    ASSERT_EQ(CopyToClipboard(smf), 1);
    ASSERT_TRUE(calls.setCalled);
    EXPECT_NE(calls.ownerAtSet, nullptr);
    EXPECT_FALSE(IsWindow(calls.ownerAtSet));
    EXPECT_EQ(calls.frees, 0);
    const Snapshot after = Snapshot::take();
    EXPECT_TRUE(after.hasSmf);
    EXPECT_EQ(after.formatCount, 1u);
}

}  // namespace

#endif  // _WIN32
