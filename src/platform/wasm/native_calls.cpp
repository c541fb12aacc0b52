// The system-call table of the WebAssembly module: a module has no files of
// its own (a host writes the image where it likes, and reads a file's bytes
// itself), so SaveSmf's and LoadSmf's file calls fail with ENOTSUP and create
// nothing; the clipboard is the in-process one
// of the POSIX layer, as outside Windows.
#include <cerrno>

#include "platform/posix/posix_system.h"

namespace xemidi::sys {

namespace {

FileHandle noFile(const char*, uint32_t, uint32_t, bool* created) {
    *created = false;
    errno = ENOTSUP;
    return InvalidFile;
}

int noWrite(FileHandle, const void*, uint32_t, uint32_t* written) {
    *written = 0;
    errno = ENOTSUP;
    return 0;
}

int noClose(FileHandle) {
    errno = EBADF;
    return 0;
}

int noRemove(const char*) {
    errno = ENOTSUP;
    return 0;
}

FileHandle noFileToRead(const char*, uint64_t*) {
    errno = ENOTSUP;
    return InvalidFile;
}

int noRead(FileHandle, void*, uint32_t, uint32_t* read) {
    *read = 0;
    errno = ENOTSUP;
    return 0;
}

}  // namespace

uint32_t lastSystemError() {
    return static_cast<uint32_t>(errno);
}

void setLastSystemError(uint32_t error) {
    errno = static_cast<int>(error);
}

uint32_t fileTooLargeError() {
    return EFBIG;
}

const SystemCalls& nativeSystemCalls() {
    static const SystemCalls native = {
        noFile,
        noWrite,
        noClose,
        noRemove,
        noFileToRead,
        noRead,
        posixRegisterClipboardFormat,
        posixOpenClipboard,
        posixEmptyClipboard,
        posixSetClipboardData,
        posixCloseClipboard,
        posixGlobalAlloc,
        posixGlobalLock,
        posixGlobalUnlock,
        posixGlobalFree,
    };
    return native;
}

}  // namespace xemidi::sys
