// The Win32 calls behind the system-call table.
#include <windows.h>

#include <utility>

#include "platform/system.h"

namespace xemidi::sys {
namespace {

constexpr DWORD GenericWrite = GENERIC_WRITE;
constexpr UINT ClipboardBlockFlags = GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_DDESHARE;  // 0x2042

// The header's constants are the Win32 ones, which CreateFileA reads.
static_assert(XEMIDI_CREATE_NEW == CREATE_NEW && XEMIDI_CREATE_ALWAYS == CREATE_ALWAYS &&
              XEMIDI_OPEN_EXISTING == OPEN_EXISTING && XEMIDI_OPEN_ALWAYS == OPEN_ALWAYS &&
              XEMIDI_TRUNCATE_EXISTING == TRUNCATE_EXISTING &&
              XEMIDI_FILE_ATTRIBUTE_NORMAL == FILE_ATTRIBUTE_NORMAL);

FileHandle win32CreateFile(const char* path, uint32_t disposition, uint32_t flags, bool* created) {
    *created = false;
    HANDLE file = CreateFileA(path, GenericWrite, 0, nullptr, disposition, flags, nullptr);
    if (file == INVALID_HANDLE_VALUE) return InvalidFile;
    const bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    const bool made = disposition == CREATE_NEW ||
                      ((disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) && !existed);
    // Files on disk and character devices only: a pipe's writer could wait
    // for a reader for ever.
    const DWORD type = GetFileType(file);
    if (type != FILE_TYPE_DISK && type != FILE_TYPE_CHAR) {
        CloseHandle(file);
        if (made) DeleteFileA(path);
        SetLastError(ERROR_NOT_SUPPORTED);
        return InvalidFile;
    }
    *created = made;
    return reinterpret_cast<FileHandle>(file);
}

int win32WriteFile(FileHandle file, const void* bytes, uint32_t size, uint32_t* written) {
    DWORD count = 0;
    const BOOL ok = WriteFile(reinterpret_cast<HANDLE>(file), bytes, size, &count, nullptr);
    *written = count;
    return ok ? 1 : 0;
}

int win32CloseFile(FileHandle file) {
    return CloseHandle(reinterpret_cast<HANDLE>(file)) ? 1 : 0;
}

int win32RemoveFile(const char* path) {
    return DeleteFileA(path) ? 1 : 0;
}

// Files on disk only: a pipe's reader could wait for a writer for ever.
FileHandle win32OpenFileToRead(const char* path, uint64_t* size) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return InvalidFile;
    LARGE_INTEGER length{};
    DWORD reason = 0;
    if (GetFileType(file) != FILE_TYPE_DISK) {
        reason = ERROR_NOT_SUPPORTED;
    } else if (!GetFileSizeEx(file, &length)) {
        reason = GetLastError();
    }
    if (reason != 0) {
        CloseHandle(file);
        SetLastError(reason);
        return InvalidFile;
    }
    *size = static_cast<uint64_t>(length.QuadPart);
    return reinterpret_cast<FileHandle>(file);
}

int win32ReadFile(FileHandle file, void* bytes, uint32_t size, uint32_t* read) {
    DWORD count = 0;
    const BOOL ok = ReadFile(reinterpret_cast<HANDLE>(file), bytes, size, &count, nullptr);
    *read = count;
    return ok ? 1 : 0;
}

// The clipboard is opened by a message-only window of our own, made for the
// one call: opened without a window, EmptyClipboard leaves the clipboard
// without an owner, and SetClipboardData is then documented to fail. The
// data set stays on the clipboard when its owner window is destroyed.
HWND clipboardWindow = nullptr;

uint32_t win32RegisterClipboardFormat(const char* name) {
    return RegisterClipboardFormatA(name);
}
int win32OpenClipboard() {
    HWND window = CreateWindowExA(0, "STATIC", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  nullptr, nullptr);
    if (window == nullptr) return 0;
    if (!OpenClipboard(window)) {
        DestroyWindow(window);
        return 0;
    }
    clipboardWindow = window;
    return 1;
}
int win32EmptyClipboard() {
    return EmptyClipboard() ? 1 : 0;
}
int win32SetClipboardData(uint32_t format, MemoryHandle block) {
    return SetClipboardData(format, static_cast<HANDLE>(block)) != nullptr ? 1 : 0;
}
int win32CloseClipboard() {
    const BOOL closed = CloseClipboard();
    if (clipboardWindow != nullptr) DestroyWindow(std::exchange(clipboardWindow, nullptr));
    return closed ? 1 : 0;
}

MemoryHandle win32GlobalAlloc(uint32_t size) {
    return GlobalAlloc(ClipboardBlockFlags, size);
}
void* win32GlobalLock(MemoryHandle block) {
    return GlobalLock(static_cast<HGLOBAL>(block));
}
int win32GlobalUnlock(MemoryHandle block) {
    return GlobalUnlock(static_cast<HGLOBAL>(block));
}
MemoryHandle win32GlobalFree(MemoryHandle block) {
    return GlobalFree(static_cast<HGLOBAL>(block));
}

}  // namespace

uint32_t lastSystemError() {
    return GetLastError();
}

void setLastSystemError(uint32_t error) {
    SetLastError(error);
}

uint32_t fileTooLargeError() {
    return ERROR_FILE_TOO_LARGE;
}

const SystemCalls& nativeSystemCalls() {
    static const SystemCalls native = {
        win32CreateFile,
        win32WriteFile,
        win32CloseFile,
        win32RemoveFile,
        win32OpenFileToRead,
        win32ReadFile,
        win32RegisterClipboardFormat,
        win32OpenClipboard,
        win32EmptyClipboard,
        win32SetClipboardData,
        win32CloseClipboard,
        win32GlobalAlloc,
        win32GlobalLock,
        win32GlobalUnlock,
        win32GlobalFree,
    };
    return native;
}

}  // namespace xemidi::sys
