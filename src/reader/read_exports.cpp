// The exports that read a file, from memory or from disk, into new objects,
// and the texts of their reasons.
#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <vector>

#include "core/byte_buffer.h"
#include "core/c_boundary.h"
#include "objects/registry.h"
#include "platform/system.h"
#include "reader/smf_reader.h"

namespace xemidi {
namespace {

using Objects = std::vector<std::unique_ptr<SmfObject>>;

// The texts of XEMIDI_READ_*, by number.
constexpr const char* ReasonTexts[] = {
    "the file was read",
    "not a Standard MIDI File: no MThd chunk at its start",
    "bad header chunk: shorter than 6 bytes, no track, or format 0 with several",
    "format 2 or above: only formats 0 and 1 are read",
    "SMPTE division (bit 15 set) or a division of 0",
    "a chunk or an event cut short, or fewer tracks than the header says",
    "a variable-length quantity longer than 4 bytes",
    "a data byte with no status byte to run on",
    "a status byte that no track holds, or one among a message's data bytes",
    "an event past tick 2^32 - 1",
    "more tracks than the array for them holds",
    "out of memory",
    "the file could not be opened or read",
    "a NULL pointer where data, a path or a count is needed",
};

void report(const ReadOutcome& outcome, uint32_t* reason, uint32_t* offset) {
    if (reason != nullptr) *reason = outcome.reason;
    if (offset != nullptr) *offset = outcome.offset;
}

// Registers every object read, or none: those registered before a failure
// are unregistered and freed with the rest.
bool registerAll(Objects& objects, SmfHandle* handles) {
    size_t done = 0;
    try {
        for (; done < objects.size(); ++done) {
            SmfObject* object = objects[done].get();
            if (registerObject(objects[done]) == nullptr) break;
            handles[done] = handleOf(object);
        }
    } catch (...) {
    }
    if (done == objects.size()) return true;
    for (size_t i = 0; i < done; ++i) discardObject(validateHandle(handles[i]));
    objects.clear();
    return false;
}

// Reads the image into objects and registers them: the outcome, and the
// handles in handles[0..count).
ReadOutcome readAndRegister(const uint8_t* data, uint32_t size, TrackLayout layout,
                            uint32_t capacity, SmfHandle* handles, uint32_t& count) {
    if (data == nullptr && size != 0) return {XEMIDI_READ_ARGUMENT, 0};
    Objects objects;
    uint32_t tracks = 0;
    ReadOutcome outcome = readImage(data, size, layout, capacity, objects, tracks);
    if (outcome.reason == XEMIDI_READ_TOO_MANY_TRACKS) count = tracks;
    if (outcome.reason != XEMIDI_READ_OK) return outcome;
    std::vector<SmfHandle> made;
    try {
        made.resize(objects.size());
    } catch (...) {
        return {XEMIDI_READ_NO_MEMORY, 0};
    }
    if (!registerAll(objects, made.data())) return {XEMIDI_READ_NO_MEMORY, 0};
    std::copy(made.begin(), made.end(), handles);
    count = tracks;
    return outcome;
}

// The whole file at path in image, or the refusal (XEMIDI_READ_FILE with
// the system's reason as the last error). Throws std::bad_alloc.
ReadOutcome loadFile(const char* path, ByteBuffer& image) {
    const sys::SystemCalls& os = sys::systemCalls();
    uint64_t length = 0;
    const sys::FileHandle file = os.openFileToRead(path, &length);
    if (file == sys::InvalidFile) return {XEMIDI_READ_FILE, 0};
    uint32_t reason = 0;
    uint32_t done = 0;
    try {
        if (length > UINT32_MAX) {
            reason = sys::fileTooLargeError();
        } else {
            image.resize(static_cast<uint32_t>(length));
            // A file that grows while it is read is read to its size then,
            // and one that shrinks to its new end.
            for (uint32_t read = 1; done < image.size() && read != 0; done += read) {
                if (!os.readFile(file, image.data() + done, image.size() - done, &read)) {
                    reason = sys::lastSystemError();
                    break;
                }
            }
        }
    } catch (...) {
        os.closeFile(file);
        throw;
    }
    const bool closed = os.closeFile(file) != 0;
    if (reason == 0 && !closed) reason = sys::lastSystemError();
    if (reason != 0) {
        sys::setLastSystemError(reason);
        return {XEMIDI_READ_FILE, done};
    }
    image.resize(done);
    return {};
}

// Reads the file at path as readAndRegister reads an image. The last
// system error changes only when the file fails.
ReadOutcome loadAndRegister(const char* path, TrackLayout layout, uint32_t capacity,
                            SmfHandle* handles, uint32_t& count) {
    if (path == nullptr) return {XEMIDI_READ_ARGUMENT, 0};
    const uint32_t before = sys::lastSystemError();
    ReadOutcome outcome;
    try {
        ByteBuffer image;
        outcome = loadFile(path, image);
        if (outcome.reason == XEMIDI_READ_FILE) {
            const uint32_t reason = sys::lastSystemError();
            image.resize(0);
            sys::setLastSystemError(reason);
            return outcome;
        }
        outcome = readAndRegister(image.data(), image.size(), layout, capacity, handles, count);
    } catch (...) {
        outcome = {XEMIDI_READ_NO_MEMORY, 0};
    }
    sys::setLastSystemError(before);
    return outcome;
}

SmfHandle readOne(const ReadOutcome& outcome, SmfHandle handle, uint32_t* reason,
                  uint32_t* offset) {
    report(outcome, reason, offset);
    return outcome.reason == XEMIDI_READ_OK ? handle : nullptr;
}

int readMany(const ReadOutcome& outcome, uint32_t* reason, uint32_t* offset) {
    report(outcome, reason, offset);
    return outcome.reason == XEMIDI_READ_OK ? 1 : 0;
}

// Tracks into the caller's array: checked, and filled only on success.
bool tracksArgumentsBad(const SmfHandle* tracks, uint32_t capacity, const uint32_t* count) {
    return count == nullptr || (tracks == nullptr && capacity != 0);
}

int getSmfReadErrorText(uint32_t reason, char* buffer, uint32_t size) {
    if (reason >= std::size(ReasonTexts) || buffer == nullptr) return 0;
    const size_t length = std::strlen(ReasonTexts[reason]) + 1;
    if (size < length) return 0;
    std::memcpy(buffer, ReasonTexts[reason], length);
    return 1;
}

static_assert(std::size(ReasonTexts) == XEMIDI_READ_ARGUMENT + 1, "a text for every reason");

}  // namespace
}  // namespace xemidi

using namespace xemidi;

SmfHandle XEMIDI_CALL ReadSmf(const void* data, uint32_t size, uint32_t* reason, uint32_t* offset) {
    return guarded([&] {
        SmfHandle handle = nullptr;
        uint32_t count = 0;
        const ReadOutcome outcome = readAndRegister(static_cast<const uint8_t*>(data), size,
                                                    TrackLayout::Merged, 1, &handle, count);
        return readOne(outcome, handle, reason, offset);
    });
}

SmfHandle XEMIDI_CALL LoadSmf(const char* path, uint32_t* reason, uint32_t* offset) {
    return guarded([&] {
        SmfHandle handle = nullptr;
        uint32_t count = 0;
        const ReadOutcome outcome = loadAndRegister(path, TrackLayout::Merged, 1, &handle, count);
        return readOne(outcome, handle, reason, offset);
    });
}

int XEMIDI_CALL ReadSmfTracks(const void* data, uint32_t size, SmfHandle* tracks, uint32_t capacity,
                              uint32_t* count, uint32_t* reason, uint32_t* offset) {
    return guarded([&] {
        if (tracksArgumentsBad(tracks, capacity, count))
            return readMany({XEMIDI_READ_ARGUMENT, 0}, reason, offset);
        const ReadOutcome outcome =
            readAndRegister(static_cast<const uint8_t*>(data), size, TrackLayout::OnePerTrack,
                            capacity, tracks, *count);
        return readMany(outcome, reason, offset);
    });
}

int XEMIDI_CALL LoadSmfTracks(const char* path, SmfHandle* tracks, uint32_t capacity,
                              uint32_t* count, uint32_t* reason, uint32_t* offset) {
    return guarded([&] {
        if (tracksArgumentsBad(tracks, capacity, count))
            return readMany({XEMIDI_READ_ARGUMENT, 0}, reason, offset);
        const ReadOutcome outcome =
            loadAndRegister(path, TrackLayout::OnePerTrack, capacity, tracks, *count);
        return readMany(outcome, reason, offset);
    });
}

int XEMIDI_CALL GetSmfReadErrorText(uint32_t reason, char* buffer, uint32_t size) {
    return guarded([&] { return getSmfReadErrorText(reason, buffer, size); });
}
