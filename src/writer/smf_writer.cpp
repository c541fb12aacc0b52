#include "writer/smf_writer.h"

#include <cstring>

#include "format/numbers.h"
#include "format/track.h"

namespace xemidi {

namespace {

// Writes what encodeTrackEvent gives into [at, end) and never past end: an
// event that would not fit stops the writer, which then reports failure.
class BoundedWriter {
  public:
    BoundedWriter(uint8_t* at, uint8_t* end) : at_(at), end_(end) {}

    void varLen(uint32_t value) {
        if (room() < varLenSize(value)) return stop();
        at_ += writeVarLen(at_, value);
    }
    void bytes(const uint8_t* from, uint32_t count) {
        if (room() < count) return stop();
        if (count <= 4) {  // channel messages: a call to memcpy costs more than the copy
            for (uint32_t i = 0; i < count; ++i) at_[i] = from[i];
        } else {
            std::memcpy(at_, from, count);
        }
        at_ += count;
    }
    bool stopped() const { return at_ == nullptr; }
    uint8_t* at() const { return at_; }

  private:
    size_t room() const { return at_ == nullptr ? 0 : static_cast<size_t>(end_ - at_); }
    void stop() { at_ = nullptr; }

    uint8_t* at_;
    uint8_t* end_;
};

}  // namespace

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
    return writeImage(object, track, out.data(), out.data() + out.size()) ? 1 : 0;
}

bool writeImage(SmfObject& object, uint32_t trackSize, uint8_t* out, uint8_t* end) {
    if (static_cast<size_t>(end - out) < ImageOverhead + TrackFraming) return false;
    std::memcpy(out, "MThd", 4);
    out = writeBigEndian32(out + 4, 6);
    out = writeBigEndian16(out, 0);  // format 0
    out = writeBigEndian16(out, 1);  // one track
    out = writeBigEndian16(out, object.division);
    std::memcpy(out, "MTrk", 4);
    out = writeBigEndian32(out + 4, trackSize - 4);

    EventList& events = object.events;
    BoundedWriter writer(out, end - sizeof EndOfTrack);
    uint32_t previousTick = 0;
    uint8_t remembered = 0;
    for (const Record& record : events.inOrder()) {
        uint32_t size = 0;
        const uint8_t* bytes = events.bytesOf(record, size);
        encodeTrackEvent(writer, record.tick - previousTick, bytes, size, remembered);
        remembered = bytes[0];
        previousTick = record.tick;
    }
    // The events must fill the room before the end of track exactly.
    if (writer.stopped() || writer.at() != end - sizeof EndOfTrack) return false;
    std::memcpy(writer.at(), EndOfTrack, sizeof EndOfTrack);
    return true;
}

}  // namespace xemidi
