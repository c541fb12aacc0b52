// The few operating-system services the library uses, behind one table: the
// file and clipboard calls of Win32 on Windows, and small equivalents of our
// own elsewhere. The library calls them only through systemCalls(), so a
// test can replace an entry to make one call fail on purpose.
#pragma once

#include <cstdint>

#include "xemidi.h"

namespace xemidi::sys {

using FileHandle = intptr_t;
constexpr FileHandle InvalidFile = -1;

using MemoryHandle = void*;

// Win32 creation dispositions, the values SaveSmf takes on every system.
enum : uint32_t {
    CreateNew = XEMIDI_CREATE_NEW,
    CreateAlways = XEMIDI_CREATE_ALWAYS,
    OpenExisting = XEMIDI_OPEN_EXISTING,
    OpenAlways = XEMIDI_OPEN_ALWAYS,
    TruncateExisting = XEMIDI_TRUNCATE_EXISTING,
};

// The calling thread's last system error, errno or GetLastError(): read
// after a call fails and set again once the clean-up after it is done, so
// that the host learns the first failure's reason.
uint32_t lastSystemError();
void setLastSystemError(uint32_t error);
// The system's reason for a file too large to read: EFBIG, ERROR_FILE_TOO_LARGE.
uint32_t fileTooLargeError();

struct SystemCalls {
    // Opens path for writing with share mode 0, positioned at its start;
    // *created tells whether this call made the file. Only a file on disk or
    // a character device (such as /dev/null or NUL) opens: a pipe, FIFO or
    // socket, whose writer could block or be ended by a reader that goes
    // away, is refused without blocking. On failure the last system error
    // says why (see xemidi.h).
    FileHandle (*createFile)(const char* path, uint32_t disposition, uint32_t flagsAndAttributes,
                             bool* created);
    // Non-zero on success; *written receives the bytes written.
    int (*writeFile)(FileHandle file, const void* bytes, uint32_t size, uint32_t* written);
    int (*closeFile)(FileHandle file);  // a file opened to write or to read
    // Deletes the file at path (one that createFile made); non-zero on success.
    int (*removeFile)(const char* path);
    // Opens an existing regular file for reading, shared with other readers,
    // and stores its size in *size. Anything else (a directory, device, pipe,
    // FIFO or socket) is refused without blocking: ENOTSUP or EISDIR
    // (ERROR_NOT_SUPPORTED). On failure the last system error says why.
    FileHandle (*openFileToRead)(const char* path, uint64_t* size);
    // Reads up to size bytes; non-zero on success, *read receiving the count
    // (0 at the end of the file).
    int (*readFile)(FileHandle file, void* bytes, uint32_t size, uint32_t* read);

    // The identifier of a format registered by name (the same for the same
    // name, in any case of its ASCII letters), 0 on failure.
    uint32_t (*registerClipboardFormat)(const char* name);
    int (*openClipboard)();  // fails while another owner holds it open
    int (*emptyClipboard)();
    int (*setClipboardData)(uint32_t format, MemoryHandle block);  // takes the block on success
    int (*closeClipboard)();

    // A movable, zero-initialised block that the clipboard can own.
    MemoryHandle (*globalAlloc)(uint32_t size);
    void* (*globalLock)(MemoryHandle block);
    int (*globalUnlock)(MemoryHandle block);
    MemoryHandle (*globalFree)(MemoryHandle block);
};

// The table the library calls through: the native one unless a test swapped
// an entry.
SystemCalls& systemCalls();
const SystemCalls& nativeSystemCalls();

}  // namespace xemidi::sys
