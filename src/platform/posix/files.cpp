// Files for SaveSmf with the meaning of the Win32 creation dispositions, and
// files to read for LoadSmf.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/posix_system.h"

namespace xemidi::sys {

namespace {

constexpr uint32_t FileAttributeReadonly = 0x00000001;
constexpr uint32_t FileFlagWriteThrough = 0x80000000;

// Opens an existing file or creates a new one, as the disposition allows,
// and tells which it did. Opening never blocks (a FIFO without a reader
// fails at once); a file that appears or goes between the two attempts is
// tried again.
int openOrCreate(const char* path, int mode, bool mayOpen, bool mayCreate, mode_t permissions,
                 bool& created) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        if (mayOpen) {
            const int fd = ::open(path, mode | O_NONBLOCK);
            if (fd >= 0 || errno != ENOENT || !mayCreate) return fd;
        }
        const int fd = ::open(path, mode | O_NONBLOCK | O_CREAT | O_EXCL, permissions);
        if (fd >= 0) {
            created = true;
            return fd;
        }
        if (errno != EEXIST || !mayOpen) return -1;
    }
    return -1;
}

// Regular files and character devices (such as /dev/null) only: a FIFO or
// a socket could block the writer, or end the host with SIGPIPE when its
// reader goes away (ENOTSUP says so). Writes then block as usual. regular
// tells which it is.
bool writable(int fd, bool& regular) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) return false;
    if (!(S_ISREG(info.st_mode) || S_ISCHR(info.st_mode))) {
        errno = ENOTSUP;
        return false;
    }
    regular = S_ISREG(info.st_mode);
    const int status = ::fcntl(fd, F_GETFL);
    return status >= 0 && ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) == 0;
}

}  // namespace

// Truncation waits until the exclusive lock is held, so a file that another
// writer has locked (the nearest thing to a sharing violation) is left as
// it was; only a regular file is truncated (a device has no length). A file
// this call made and could not prepare is removed again.
FileHandle posixCreateFile(const char* path, uint32_t disposition, uint32_t flags, bool* created) {
    *created = false;
    bool mayOpen = true, mayCreate = false, truncate = false;
    switch (disposition) {
        case CreateNew:
            mayOpen = false;
            mayCreate = true;
            break;
        case CreateAlways:
            mayCreate = truncate = true;
            break;
        case OpenExisting:
            break;
        case OpenAlways:
            mayCreate = true;
            break;
        case TruncateExisting:
            truncate = true;
            break;
        default:
            errno = EINVAL;  // as CreateFileA's ERROR_INVALID_PARAMETER
            return InvalidFile;
    }
    int mode = O_WRONLY | O_CLOEXEC | O_NOCTTY;
    if (flags & FileFlagWriteThrough) mode |= O_DSYNC;
    const mode_t permissions = (flags & FileAttributeReadonly) ? 0444 : 0666;
    bool made = false;
    const int fd = openOrCreate(path, mode, mayOpen, mayCreate, permissions, made);
    if (fd < 0) return InvalidFile;
    bool regular = false;
    if (!writable(fd, regular) || ::flock(fd, LOCK_EX | LOCK_NB) != 0 ||
        (truncate && regular && ::ftruncate(fd, 0) != 0)) {
        const int reason = errno;  // the host's answer; the clean-up keeps it
        ::close(fd);
        if (made) ::unlink(path);
        errno = reason;
        return InvalidFile;
    }
    *created = made;
    return fd;
}

int posixWriteFile(FileHandle file, const void* bytes, uint32_t size, uint32_t* written) {
    const auto* next = static_cast<const char*>(bytes);
    uint32_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(static_cast<int>(file), next + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) errno = EIO;  // nothing written and no reason given
        if (n <= 0) break;
        done += static_cast<uint32_t>(n);
    }
    *written = done;
    return done == size ? 1 : 0;
}

int posixCloseFile(FileHandle file) {
    return ::close(static_cast<int>(file)) == 0 ? 1 : 0;
}

int posixRemoveFile(const char* path) {
    return ::unlink(path) == 0 ? 1 : 0;
}

// Opened without blocking: a FIFO opens at once, with or without a writer,
// and is then refused as what it is.
FileHandle posixOpenFileToRead(const char* path, uint64_t* size) {
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return InvalidFile;
    struct stat info {};
    int reason = 0;
    if (::fstat(fd, &info) != 0) {
        reason = errno;
    } else if (S_ISDIR(info.st_mode)) {
        reason = EISDIR;
    } else if (!S_ISREG(info.st_mode)) {
        reason = ENOTSUP;
    }
    if (reason != 0) {
        ::close(fd);
        errno = reason;
        return InvalidFile;
    }
    *size = static_cast<uint64_t>(info.st_size);
    return fd;
}

int posixReadFile(FileHandle file, void* bytes, uint32_t size, uint32_t* read) {
    *read = 0;
    for (;;) {
        const ssize_t n = ::read(static_cast<int>(file), bytes, size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return 0;
        *read = static_cast<uint32_t>(n);
        return 1;
    }
}

}  // namespace xemidi::sys
