#include "oom/failing_system_calls.h"

#include <algorithm>
#include <array>

#include "platform/system.h"
#include "xemidi_clipboard.h"

namespace oomtest {
namespace {

using namespace xemidi::sys;

const SystemCalls& native() {
    return nativeSystemCalls();
}

long countdown = 0;
long failures = 0;

bool failNow() {
    if (countdown == 0 || --countdown != 0) return false;
    ++failures;
    return true;
}

// Blocks from globalAlloc since the last failSystemCall, not freed yet.
std::array<MemoryHandle, 16> blocks{};
size_t blockCount = 0;

FileHandle createFile(const char* path, uint32_t disposition, uint32_t flags, bool* created) {
    *created = false;
    return failNow() ? InvalidFile : native().createFile(path, disposition, flags, created);
}
int writeFile(FileHandle file, const void* bytes, uint32_t size, uint32_t* written) {
    if (!failNow()) return native().writeFile(file, bytes, size, written);
    *written = 0;
    return 0;
}
int closeFile(FileHandle file) {
    const int closed = native().closeFile(file);  // a failed close still ends the handle
    return failNow() ? 0 : closed;
}
int openClipboard() {
    return failNow() ? 0 : native().openClipboard();
}
int emptyClipboard() {
    return failNow() ? 0 : native().emptyClipboard();
}
int setClipboardData(uint32_t format, MemoryHandle block) {
    return failNow() ? 0 : native().setClipboardData(format, block);
}
int closeClipboard() {
    const int closed = native().closeClipboard();
    return failNow() ? 0 : closed;
}
MemoryHandle globalAlloc(uint32_t size) {
    if (failNow()) return nullptr;
    MemoryHandle block = native().globalAlloc(size);
    if (block != nullptr && blockCount < blocks.size()) blocks[blockCount++] = block;
    return block;
}
void* globalLock(MemoryHandle block) {
    return failNow() ? nullptr : native().globalLock(block);
}
int globalUnlock(MemoryHandle block) {
    const int unlocked = native().globalUnlock(block);
    return failNow() ? 0 : unlocked;
}
MemoryHandle globalFree(MemoryHandle block) {
    auto end = blocks.begin() + static_cast<long>(blockCount);
    auto found = std::find(blocks.begin(), end, block);
    if (found != end) {
        *found = blocks[--blockCount];
    }
    return native().globalFree(block);
}

}  // namespace

void installFailingSystemCalls() {
    SystemCalls& table = systemCalls();
    table = native();
    table.createFile = createFile;
    table.writeFile = writeFile;
    table.closeFile = closeFile;
    table.openClipboard = openClipboard;
    table.emptyClipboard = emptyClipboard;
    table.setClipboardData = setClipboardData;
    table.closeClipboard = closeClipboard;
    table.globalAlloc = globalAlloc;
    table.globalLock = globalLock;
    table.globalUnlock = globalUnlock;
    table.globalFree = globalFree;
}

void failSystemCall(long n) {
    countdown = n;
    failures = 0;
    blockCount = 0;
}

long stopFailingSystemCalls() {
    countdown = 0;
    return failures;
}

bool clipboardBlocksAccountedFor() {
    if (blockCount == 0) return true;
    if (blockCount > 1 || !xemidi_clipboard_open()) return false;
    const void* held =
        xemidi_clipboard_data(xemidi_clipboard_format("Standard MIDI File"), nullptr);
    xemidi_clipboard_close();
    return held != nullptr && native().globalLock(blocks[0]) == held;
}

}  // namespace oomtest
