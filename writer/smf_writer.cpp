#include "writer/smf_writer.h"

#include <cstring>

namespace xemidi {

namespace {

constexpr uint8_t EndOfTrack[] = {0x00, 0xFF, 0x2F, 0x00};

// The one variable-length encoder: writes value's 7-bit groups, most
// significant first, at out and returns how many (1 to 4).
uint32_t encodeVarLen(uint8_t* out, uint32_t value) {
    if (value < 0x80) {  // most delta times
        out[0] = static_cast<uint8_t>(value);
        return 1;
    }
    const uint32_t count = varLenSize(value);
    for (uint32_t i = count; i-- > 0; value >>= 7) {
        out[i] = static_cast<uint8_t>((value & 0x7F) | (i + 1 < count ? 0x80 : 0x00));
    }
    return count;
}

// Writes the low `count` bytes of value at out, most significant first:
// derived from the value, so the result never depends on the host.
uint8_t* putBigEndian(uint8_t* out, uint32_t value, int count) {
    for (int i = count; i-- > 0;) *out++ = static_cast<uint8_t>(value >> (8 * i));
    return out;
}

}  // namespace

void appendBytes(ByteBuffer& buffer, uint32_t& position, const void* bytes, uint32_t count) {
    buffer.resize(position + count);
    if (count != 0) std::memcpy(buffer.data() + position, bytes, count);
    position += count;
}

void writeVarLen(ByteBuffer& buffer, uint32_t& position, uint32_t value) {
    uint8_t groups[4];
    appendBytes(buffer, position, groups, encodeVarLen(groups, value));
}

void writeBigEndian16(ByteBuffer& buffer, uint32_t& position, uint32_t value) {
    uint8_t bytes[2];
    putBigEndian(bytes, value, 2);
    appendBytes(buffer, position, bytes, 2);
}

void writeBigEndian32(ByteBuffer& buffer, uint32_t& position, uint32_t value) {
    uint8_t bytes[4];
    putBigEndian(bytes, value, 4);
    appendBytes(buffer, position, bytes, 4);
}

uint32_t trackDataSize(EventList& events) {
    events.inOrder();
    if (events.longDeltas() != 0) return 0;
    const uint64_t size = 8 + events.eventBytes();  // the track length field and the end of track
    if (size > UINT32_MAX - ImageOverhead) return 0;
    return static_cast<uint32_t>(size);
}

uint32_t imageSize(SmfObject& object) {
    const uint32_t track = trackDataSize(object.events);
    return track == 0 ? 0 : track + ImageOverhead;
}

int serializeSmf(SmfHandle handle, ByteBuffer& out) {
    SmfObject* object = validateHandle(handle);
    if (object == nullptr) return 0;
    const uint32_t track = trackDataSize(object->events);
    if (track == 0) return 0;
    out.resize(track + ImageOverhead);  // one allocation, before anything is written
    writeImage(*object, track, out.data());
    return 1;
}

void writeImage(SmfObject& object, uint32_t trackSize, uint8_t* out) {
    std::memcpy(out, "MThd", 4);
    out = putBigEndian(out + 4, 6, 4);
    out = putBigEndian(out, 0, 2);  // format 0
    out = putBigEndian(out, 1, 2);  // one track
    out = putBigEndian(out, object.division, 2);
    std::memcpy(out, "MTrk", 4);
    out = putBigEndian(out + 4, trackSize - 4, 4);

    uint32_t previousTick = 0;
    uint8_t remembered = 0;
    for (const Event& event : object.events.inOrder()) {
        out += encodeVarLen(out, event.tick - previousTick);
        const uint8_t* bytes = event.bytes.data();
        const uint32_t skip = omitsStatus(bytes[0], remembered) ? 1 : 0;
        const uint32_t count = event.bytes.size() - skip;
        if (count <= 4) {  // channel messages: a call to memcpy costs more than the copy
            for (uint32_t i = 0; i < count; ++i) out[i] = bytes[skip + i];
        } else {
            std::memcpy(out, bytes + skip, count);
        }
        out += count;
        remembered = bytes[0];
        previousTick = event.tick;
    }
    std::memcpy(out, EndOfTrack, sizeof EndOfTrack);
}

}  // namespace xemidi
