#include "writer/smf_writer.h"

#include <cstring>

#include "format/numbers.h"
#include "format/track.h"

namespace xemidi {

uint32_t trackDataSize(EventList& events) {
    events.inOrder();
    if (events.longDeltas() != 0) return 0;
    const uint64_t size = TrackFraming + events.eventBytes();
    if (size > UINT32_MAX - ImageOverhead) return 0;
    return static_cast<uint32_t>(size);
}

uint32_t imageSize(SmfObject& object) {
    const uint32_t track = trackDataSize(object.events);
    return track == 0 ? 0 : track + ImageOverhead;
}

int serializeSmf(SmfObject& object, ByteBuffer& out) {
    const uint32_t track = trackDataSize(object.events);
    if (track == 0) return 0;
    out.resize(track + ImageOverhead);  // one allocation, before anything is written
    writeImage(object, track, out.data());
    return 1;
}

void writeImage(SmfObject& object, uint32_t trackSize, uint8_t* out) {
    std::memcpy(out, "MThd", 4);
    out = writeBigEndian32(out + 4, 6);
    out = writeBigEndian16(out, 0);  // format 0
    out = writeBigEndian16(out, 1);  // one track
    out = writeBigEndian16(out, object.division);
    std::memcpy(out, "MTrk", 4);
    out = writeBigEndian32(out + 4, trackSize - 4);

    uint32_t previousTick = 0;
    uint8_t remembered = 0;
    for (const Event& event : object.events.inOrder()) {
        out += writeVarLen(out, event.tick - previousTick);
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
