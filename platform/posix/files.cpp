// Files for SaveSmf with the meaning of the Win32 creation dispositions.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/posix_system.h"

namespace xemidi::sys {

namespace {

constexpr uint32_t FileAttributeReadonly = 0x00000001;
constexpr uint32_t FileFlagWriteThrough = 0x80000000;

}  // namespace

// Truncation waits until the exclusive lock is held, so a file that another
// writer has locked (the nearest thing to a sharing violation) is left as
// it was.
FileHandle posixCreateFile(const char* path, uint32_t disposition, uint32_t flags) {
    int mode = O_WRONLY | O_CLOEXEC;
    bool truncate = false;
    switch (disposition) {
        case CreateNew:
            mode |= O_CREAT | O_EXCL;
            break;
        case CreateAlways:
            mode |= O_CREAT;
            truncate = true;
            break;
        case OpenExisting:
            break;
        case OpenAlways:
            mode |= O_CREAT;
            break;
        case TruncateExisting:
            truncate = true;
            break;
        default:
            return InvalidFile;
    }
    if (flags & FileFlagWriteThrough) mode |= O_DSYNC;
    const mode_t permissions = (flags & FileAttributeReadonly) ? 0444 : 0666;
    const int fd = ::open(path, mode, permissions);
    if (fd < 0) return InvalidFile;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || (truncate && ::ftruncate(fd, 0) != 0)) {
        ::close(fd);
        return InvalidFile;
    }
    return fd;
}

int posixWriteFile(FileHandle file, const void* bytes, uint32_t size, uint32_t* written) {
    const auto* next = static_cast<const char*>(bytes);
    uint32_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(static_cast<int>(file), next + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<uint32_t>(n);
    }
    *written = done;
    return done == size ? 1 : 0;
}

int posixCloseFile(FileHandle file) {
    return ::close(static_cast<int>(file)) == 0 ? 1 : 0;
}

}  // namespace xemidi::sys
