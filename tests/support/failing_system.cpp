#include "support/failing_system.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <new>

#include "platform/system.h"
#include "xemidi_clipboard.h"

namespace smftest {
namespace {

using namespace xemidi::sys;

const SystemCalls& native() {
    return nativeSystemCalls();
}

Fail failing = Fail::None;
long countdown = 0;  // failNth: 0 when disarmed
long failures = 0;
SystemCounts counted;

// Whether this call, of kind (None: a kind that never fails alone), fails.
bool fails(Fail kind) {
    if (kind != Fail::None && kind == failing) return true;
    if (countdown == 0 || --countdown != 0) return false;
    ++failures;
    return true;
}

// Blocks from globalAlloc since the last failNth, not freed yet.
std::array<MemoryHandle, 16> blocks{};
size_t blockCount = 0;

// What a clean-up call leaves as the last system error when it succeeds.
constexpr uint32_t Disturbed = EINTR;

FileHandle createFile(const char* path, uint32_t disposition, uint32_t flags, bool* created) {
    *created = false;
    if (!fails(Fail::CreateFile)) return native().createFile(path, disposition, flags, created);
    setLastSystemError(FailingSystem::reasonOf(Fail::CreateFile));
    return InvalidFile;
}
int writeFile(FileHandle file, const void* bytes, uint32_t size, uint32_t* written) {
    if (failing == Fail::ShortWrite) return native().writeFile(file, bytes, size - 1, written);
    if (!fails(Fail::WriteFile)) return native().writeFile(file, bytes, size, written);
    *written = 0;
    setLastSystemError(FailingSystem::reasonOf(Fail::WriteFile));
    return 0;
}
int closeFile(FileHandle file) {
    ++counted.closes;
    const int closed = native().closeFile(file);  // a failed close still ends the handle
    const bool failed = fails(Fail::CloseFile);
    setLastSystemError(failed ? FailingSystem::reasonOf(Fail::CloseFile) : Disturbed);
    return failed ? 0 : closed;
}
FileHandle openFileToRead(const char* path, uint64_t* size) {
    if (!fails(Fail::OpenToRead)) return native().openFileToRead(path, size);
    setLastSystemError(FailingSystem::reasonOf(Fail::OpenToRead));
    return InvalidFile;
}
int readFile(FileHandle file, void* bytes, uint32_t size, uint32_t* read) {
    if (failing == Fail::ShortRead) return native().readFile(file, bytes, size != 0 ? 1 : 0, read);
    if (!fails(Fail::ReadFile)) return native().readFile(file, bytes, size, read);
    *read = 0;
    setLastSystemError(FailingSystem::reasonOf(Fail::ReadFile));
    return 0;
}
int removeFile(const char* path) {
    const int removed = native().removeFile(path);
    setLastSystemError(Disturbed);
    return removed;
}
uint32_t registerClipboardFormat(const char* name) {
    ++counted.registrations;
    if (failing == Fail::RegisterOutOfMemory) throw std::bad_alloc();
    return failing == Fail::Register ? 0u : native().registerClipboardFormat(name);
}
int openClipboard() {
    ++counted.opens;
    return fails(Fail::Open) ? 0 : native().openClipboard();
}
int emptyClipboard() {
    return fails(Fail::Empty) ? 0 : native().emptyClipboard();
}
int setClipboardData(uint32_t format, MemoryHandle block) {
    ++counted.sets;
    return fails(Fail::Set) ? 0 : native().setClipboardData(format, block);
}
int closeClipboard() {
    const int closed = native().closeClipboard();
    return fails(Fail::None) ? 0 : closed;
}
MemoryHandle globalAlloc(uint32_t size) {
    if (fails(Fail::Alloc)) return nullptr;
    ++counted.allocations;
    MemoryHandle block = native().globalAlloc(size);
    if (block != nullptr && blockCount < blocks.size()) blocks[blockCount++] = block;
    return block;
}
void* globalLock(MemoryHandle block) {
    return fails(Fail::Lock) ? nullptr : native().globalLock(block);
}
int globalUnlock(MemoryHandle block) {
    const int unlocked = native().globalUnlock(block);
    return fails(Fail::None) ? 0 : unlocked;
}
MemoryHandle globalFree(MemoryHandle block) {
    ++counted.frees;
    const auto end = blocks.begin() + static_cast<long>(blockCount);
    const auto found = std::find(blocks.begin(), end, block);
    if (found != end) *found = blocks[--blockCount];
    return native().globalFree(block);
}

}  // namespace

FailingSystem::FailingSystem(Fail kind) {
    failing = kind;
    counted = {};
    SystemCalls& table = systemCalls();
    table = native();
    table.createFile = createFile;
    table.writeFile = writeFile;
    table.closeFile = closeFile;
    table.removeFile = removeFile;
    table.openFileToRead = openFileToRead;
    table.readFile = readFile;
    table.registerClipboardFormat = registerClipboardFormat;
    table.openClipboard = openClipboard;
    table.emptyClipboard = emptyClipboard;
    table.setClipboardData = setClipboardData;
    table.closeClipboard = closeClipboard;
    table.globalAlloc = globalAlloc;
    table.globalLock = globalLock;
    table.globalUnlock = globalUnlock;
    table.globalFree = globalFree;
}

FailingSystem::~FailingSystem() {
    failing = Fail::None;
    countdown = 0;
    systemCalls() = native();
}

SystemCounts& FailingSystem::counts() {
    return counted;
}

uint32_t FailingSystem::reasonOf(Fail kind) {
    switch (kind) {
        case Fail::CreateFile:
            return EACCES;
        case Fail::WriteFile:
            return ENOSPC;
        case Fail::CloseFile:
            return EIO;
        case Fail::OpenToRead:
            return EACCES;
        case Fail::ReadFile:
            return EIO;
        default:
            return 0;
    }
}

void FailingSystem::failNth(long n) {
    countdown = n;
    failures = 0;
    blockCount = 0;
}

long FailingSystem::stopFailingNth() {
    countdown = 0;
    return failures;
}

bool FailingSystem::clipboardBlocksAccountedFor() {
    if (blockCount == 0) return true;
    if (blockCount > 1 || !xemidi_clipboard_open()) return false;
    const void* held =
        xemidi_clipboard_data(xemidi_clipboard_format("Standard MIDI File"), nullptr);
    xemidi_clipboard_close();
    return held != nullptr && native().globalLock(blocks[0]) == held;
}

}  // namespace smftest
