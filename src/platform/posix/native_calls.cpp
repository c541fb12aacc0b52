#include <cerrno>

#include "platform/posix/posix_system.h"

namespace xemidi::sys {

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
        posixCreateFile,
        posixWriteFile,
        posixCloseFile,
        posixRemoveFile,
        posixOpenFileToRead,
        posixReadFile,
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
