#include "platform/posix/posix_system.h"

namespace xemidi::sys {

const SystemCalls& nativeSystemCalls() {
    static const SystemCalls native = {
        posixCreateFile,
        posixWriteFile,
        posixCloseFile,
        posixRemoveFile,
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
