#include "writer/smf_writer.h"

#include <cstring>

namespace xemidi {

namespace {

constexpr uint8_t EndOfTrack[] = {0x00, 0xFF, 0x2F, 0x00};

// Running status: a channel status byte equal to the previous event's first
// byte is left out. System-exclusive and meta events are always written in
// full and, being remembered too, cancel running status.
bool omitsStatus(uint8_t status, uint8_t remembered) {
    return status == remembered && status >= 0x80 && status < 0xF0;
}

}  // namespace

uint32_t varLenSize(uint32_t value) {
    uint32_t count = 1;
    while ((value >>= 7) != 0 && count < 4) ++count;
    return count;
}

void appendBytes(ByteBuffer& buffer, uint32_t& position, const void* bytes, uint32_t count) {
    buffer.resize(position + count);
    if (count != 0) std::memcpy(buffer.data() + position, bytes, count);
    position += count;
}

void writeVarLen(ByteBuffer& buffer, uint32_t& position, uint32_t value) {
    if (value < 0x80) {  // most delta times
        const uint8_t byte = static_cast<uint8_t>(value);
        appendBytes(buffer, position, &byte, 1);
        return;
    }
    uint8_t groups[4];
    const uint32_t count = varLenSize(value);
    for (uint32_t i = count; i-- > 0; value >>= 7) {
        groups[i] = static_cast<uint8_t>((value & 0x7F) | (i + 1 < count ? 0x80 : 0x00));
    }
    appendBytes(buffer, position, groups, count);
}

void writeBigEndian16(ByteBuffer& buffer, uint32_t& position, uint32_t value) {
    const uint8_t bytes[2] = {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    appendBytes(buffer, position, bytes, 2);
}

void writeBigEndian32(ByteBuffer& buffer, uint32_t& position, uint32_t value) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                              static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    appendBytes(buffer, position, bytes, 4);
}

uint32_t trackDataSize(const EventList& events) {
    uint64_t size = 8;  // the track length field and the end of track
    uint32_t previousTick = 0;
    uint8_t remembered = 0;
    for (const Event& event : events) {
        const uint32_t delta = event.tick - previousTick;
        if (delta > MaxVarLen) return 0;
        const uint8_t status = event.bytes.data()[0];
        size += varLenSize(delta) + event.bytes.size() - (omitsStatus(status, remembered) ? 1 : 0);
        remembered = status;
        previousTick = event.tick;
    }
    if (size > UINT32_MAX - ImageOverhead) return 0;
    return static_cast<uint32_t>(size);
}

uint32_t imageSize(const SmfObject& object) {
    const uint32_t track = trackDataSize(object.events);
    return track == 0 ? 0 : track + ImageOverhead;
}

int serializeSmf(SmfHandle handle, ByteBuffer& out) {
    const SmfObject* object = validateHandle(handle);
    if (object == nullptr) return 0;
    const uint32_t track = trackDataSize(object->events);
    if (track == 0) return 0;
    writeImage(*object, track, out);
    return 1;
}

void writeImage(const SmfObject& object, uint32_t trackSize, ByteBuffer& out) {
    out.resize(trackSize + ImageOverhead);

    uint32_t position = 0;
    appendBytes(out, position, "MThd", 4);
    writeBigEndian32(out, position, 6);
    writeBigEndian16(out, position, 0);  // format 0
    writeBigEndian16(out, position, 1);  // one track
    writeBigEndian16(out, position, object.division);
    appendBytes(out, position, "MTrk", 4);
    writeBigEndian32(out, position, trackSize - 4);

    uint32_t previousTick = 0;
    uint8_t remembered = 0;
    for (const Event& event : object.events) {
        writeVarLen(out, position, event.tick - previousTick);
        const uint8_t* bytes = event.bytes.data();
        const uint32_t skip = omitsStatus(bytes[0], remembered) ? 1 : 0;
        appendBytes(out, position, bytes + skip, event.bytes.size() - skip);
        remembered = bytes[0];
        previousTick = event.tick;
    }
    appendBytes(out, position, EndOfTrack, sizeof EndOfTrack);
}

}  // namespace xemidi
