// Handing the image to the host: its size, a copy in caller memory, a disk
// file, the clipboard; and the format-1 image of several objects, its size,
// a copy and a file. Each call builds its own image and frees it.
#include <cstring>
#include <vector>

#include "core/c_boundary.h"
#include "format/track.h"
#include "platform/system.h"
#include "writer/clipboard_format.h"
#include "writer/smf_writer.h"

namespace xemidi {

uint32_t smfClipboardFormat = 0;
bool smfClipboardFormatRegistered = false;

namespace {

constexpr char ClipboardFormatName[] = "Standard MIDI File";

int getSmfDataSize(SmfHandle smf, uint32_t* size) {
    SmfObject* object = validateHandle(smf);
    if (object == nullptr || size == nullptr) return 0;
    const uint32_t image = imageSize(*object);
    if (image == 0) return 0;
    *size = image;
    return 1;
}

int getSmfData(SmfHandle smf, void* buffer, uint32_t size) {
    SmfObject* object = validateHandle(smf);
    if (object == nullptr || buffer == nullptr) return 0;
    const uint32_t track = trackDataSize(object->events);
    if (track == 0 || size < track + ImageOverhead) return 0;
    // The size is known and the caller's block holds it: write there
    // directly, never past the image's end.
    auto* out = static_cast<uint8_t*>(buffer);
    return writeImage(*object, track, out, out + track + ImageOverhead) ? 1 : 0;
}

// Writes image to a file at path. On failure the last system error is the
// first failure's reason, kept across the clean-up that follows it.
int saveImage(const ByteBuffer& image, const char* path, uint32_t disposition, uint32_t flags) {
    const sys::SystemCalls& os = sys::systemCalls();
    bool created = false;
    const sys::FileHandle file = os.createFile(path, disposition, flags, &created);
    if (file == sys::InvalidFile) return 0;
    uint32_t written = 0;
    const bool wrote =
        os.writeFile(file, image.data(), image.size(), &written) != 0 && written == image.size();
    uint32_t reason = sys::lastSystemError();
    const bool closed = os.closeFile(file) != 0;
    if (wrote && closed) return 1;
    if (wrote) reason = sys::lastSystemError();  // the close failed
    // A failed save leaves no file of its own behind (a full disk, say), so
    // that the host can try again; a file that was there keeps what was
    // written into it, as the disposition decided.
    if (created) os.removeFile(path);
    sys::setLastSystemError(reason);
    return 0;
}

// Saves the image that build(ByteBuffer&) makes; 0, touching no file, when
// it makes none.
template <class Build>
int saveBuilt(Build build, const char* path, uint32_t disposition, uint32_t flags) {
    int saved = 0;
    uint32_t reason = 0;
    {
        ByteBuffer image;
        if (!build(image)) return 0;
        saved = saveImage(image, path, disposition, flags);
        reason = sys::lastSystemError();
    }
    if (!saved) sys::setLastSystemError(reason);  // freeing the image may not change it
    return saved;
}

int saveSmf(SmfHandle smf, const char* path, uint32_t disposition, uint32_t flags) {
    SmfObject* object = validateHandle(smf);
    if (object == nullptr || path == nullptr) return 0;
    return saveBuilt([&](ByteBuffer& image) { return serializeSmf(*object, image); }, path,
                     disposition, flags);
}

// The objects that handles[0..count) name, as the tracks of one file: empty
// for a NULL array, a count outside 1..MaxTracks, a handle that names no
// live object, or objects of different divisions.
std::vector<SmfObject*> tracksOf(const SmfHandle* handles, uint32_t count) {
    std::vector<SmfObject*> objects;
    if (handles == nullptr || count == 0 || count > MaxTracks) return objects;
    objects.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        SmfObject* object = validateHandle(handles[i]);
        if (object == nullptr || (i != 0 && object->division != objects[0]->division)) return {};
        objects.push_back(object);
    }
    return objects;
}

int getSmfTracksDataSize(const SmfHandle* handles, uint32_t count, uint32_t* size) {
    const std::vector<SmfObject*> objects = tracksOf(handles, count);
    if (objects.empty() || size == nullptr) return 0;
    const uint32_t image = tracksImageSize({objects.data(), count});
    if (image == 0) return 0;
    *size = image;
    return 1;
}

int getSmfTracksData(const SmfHandle* handles, uint32_t count, void* buffer, uint32_t size) {
    const std::vector<SmfObject*> objects = tracksOf(handles, count);
    if (objects.empty() || buffer == nullptr) return 0;
    const Tracks tracks = {objects.data(), count};
    const uint32_t image = tracksImageSize(tracks);
    if (image == 0 || size < image) return 0;
    return writeTracksImage(tracks, static_cast<uint8_t*>(buffer), image) ? 1 : 0;
}

int saveSmfTracks(const SmfHandle* handles, uint32_t count, const char* path, uint32_t disposition,
                  uint32_t flags) {
    const std::vector<SmfObject*> objects = tracksOf(handles, count);
    if (objects.empty() || path == nullptr) return 0;
    const Tracks tracks = {objects.data(), count};
    return saveBuilt([&](ByteBuffer& image) { return serializeTracks(tracks, image); }, path,
                     disposition, flags);
}

// A clipboard block holding the image, or nullptr.
sys::MemoryHandle imageBlock(const ByteBuffer& image) {
    const sys::SystemCalls& os = sys::systemCalls();
    sys::MemoryHandle block = os.globalAlloc(image.size());
    if (block == nullptr) return nullptr;
    void* bytes = os.globalLock(block);
    if (bytes == nullptr) {
        os.globalFree(block);
        return nullptr;
    }
    std::memcpy(bytes, image.data(), image.size());
    os.globalUnlock(block);
    return block;
}

int copyToClipboard(SmfHandle smf) {
    SmfObject* object = validateHandle(smf);
    if (object == nullptr) return 0;
    const sys::SystemCalls& os = sys::systemCalls();
    if (!smfClipboardFormatRegistered) {
        // Attempted once per process; a 0 answer stays. Running out of memory
        // in the registration (std::bad_alloc) is no answer: the flag stays
        // clear and the next call tries again.
        smfClipboardFormat = os.registerClipboardFormat(ClipboardFormatName);
        smfClipboardFormatRegistered = true;
    }
    if (smfClipboardFormat == 0) return 0;

    // Prepare the data before the clipboard is opened and emptied, so that a
    // failure here leaves the clipboard as it was.
    sys::MemoryHandle block = nullptr;
    {
        ByteBuffer image;
        if (!serializeSmf(*object, image)) return 0;
        block = imageBlock(image);
    }
    if (block == nullptr) return 0;
    if (!os.openClipboard()) {
        os.globalFree(block);
        return 0;
    }
    // A clipboard that cannot be emptied keeps what it holds and is given
    // nothing; one that refuses the block once emptied is left empty.
    const int result =
        os.emptyClipboard() != 0 && os.setClipboardData(smfClipboardFormat, block) != 0 ? 1 : 0;
    if (result == 0) os.globalFree(block);
    os.closeClipboard();
    return result;
}

}  // namespace
}  // namespace xemidi

using xemidi::guarded;

int XEMIDI_CALL GetSmfDataSize(SmfHandle smf, uint32_t* size) {
    return guarded([&] { return xemidi::getSmfDataSize(smf, size); });
}

int XEMIDI_CALL GetSmfData(SmfHandle smf, void* buffer, uint32_t size) {
    return guarded([&] { return xemidi::getSmfData(smf, buffer, size); });
}

int XEMIDI_CALL SaveSmf(SmfHandle smf, const char* path, uint32_t creation_disposition,
                        uint32_t flags_and_attributes) {
    return guarded(
        [&] { return xemidi::saveSmf(smf, path, creation_disposition, flags_and_attributes); });
}

int XEMIDI_CALL CopyToClipboard(SmfHandle smf) {
    return guarded([&] { return xemidi::copyToClipboard(smf); });
}

int XEMIDI_CALL GetSmfTracksDataSize(const SmfHandle* tracks, uint32_t count, uint32_t* size) {
    return guarded([&] { return xemidi::getSmfTracksDataSize(tracks, count, size); });
}

int XEMIDI_CALL GetSmfTracksData(const SmfHandle* tracks, uint32_t count, void* buffer,
                                 uint32_t size) {
    return guarded([&] { return xemidi::getSmfTracksData(tracks, count, buffer, size); });
}

int XEMIDI_CALL SaveSmfTracks(const SmfHandle* tracks, uint32_t count, const char* path,
                              uint32_t creation_disposition, uint32_t flags_and_attributes) {
    return guarded([&] {
        return xemidi::saveSmfTracks(tracks, count, path, creation_disposition,
                                     flags_and_attributes);
    });
}
