// Handing the image to the host: its size, a copy in caller memory, a disk
// file, the clipboard. Each call builds its own image and frees it.
#include <cstring>

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

int saveSmf(SmfHandle smf, const char* path, uint32_t disposition, uint32_t flags) {
    SmfObject* object = validateHandle(smf);
    if (object == nullptr || path == nullptr) return 0;
    int saved = 0;
    uint32_t reason = 0;
    {
        ByteBuffer image;
        if (!serializeSmf(*object, image)) return 0;
        saved = saveImage(image, path, disposition, flags);
        reason = sys::lastSystemError();
    }
    if (!saved) sys::setLastSystemError(reason);  // freeing the image may not change it
    return saved;
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
