#include "writer/smf_writer.h"

#include <cstring>

#include "format/numbers.h"
#include "format/track.h"

namespace xemidi {

namespace {

// Writes what encodeTrackEvent gives, unchecked: the caller has made sure
// of room for a delta time, the event's bytes and three more, since short
// byte runs are copied three at a time (from the event's four bytes in its
// record, or a long event's block) and a call to memcpy costs more.
class FastWriter {
  public:
    explicit FastWriter(uint8_t* at) : at_(at) {}
    void varLen(uint32_t value) { at_ += writeVarLen(at_, value); }
    void bytes(const uint8_t* from, uint32_t count) {
        if (count <= 3) {
            at_[0] = from[0], at_[1] = from[1], at_[2] = from[2];
        } else {
            std::memcpy(at_, from, count);
        }
        at_ += count;
    }
    uint8_t* at() const { return at_; }

  private:
    uint8_t* at_;
};

// Writes what encodeTrackEvent gives into [at, end) and never past end: an
// event that does not fit stops the writer, which then reports failure.
class BoundedWriter {
  public:
    BoundedWriter(uint8_t* at, uint8_t* end) : at_(at), end_(end) {}
    void varLen(uint32_t value) {
        if (room() < varLenSize(value)) return stop();
        at_ += writeVarLen(at_, value);
    }
    void bytes(const uint8_t* from, uint32_t count) {
        if (room() < count) return stop();
        std::memcpy(at_, from, count);
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

// The room FastWriter needs for an event of size stored bytes.
constexpr size_t fastRoom(uint32_t size) {
    return size_t{4} + size + 3;
}

// The header chunk: its tag, its length 6, format, track count, division.
uint8_t* writeHeaderChunk(uint8_t* out, uint32_t format, uint32_t tracks, uint16_t division) {
    std::memcpy(out, "MThd", 4);
    out = writeBigEndian32(out + 4, HeaderChunkSize - 8);
    out = writeBigEndian16(out, format);
    out = writeBigEndian16(out, tracks);
    return writeBigEndian16(out, division);
}

// Writes the track chunk of events, whose trackDataSize is trackSize, into
// [out, end): its tag, its length, the events and the end of track. Never
// writes at or past end; false when the chunk does not fill it exactly.
bool writeTrackChunk(EventList& events, uint32_t trackSize, uint8_t* out, uint8_t* end) {
    if (static_cast<size_t>(end - out) < TrackTagSize + TrackFraming) return false;
    std::memcpy(out, "MTrk", 4);
    out = writeBigEndian32(out + 4, trackSize - 4);

    uint8_t* const eventsEnd = end - sizeof EndOfTrack;
    uint32_t previousTick = 0;
    uint8_t remembered = 0;
    for (const Record& record : events.inOrder()) {
        uint32_t size = 0;
        const uint8_t* bytes = events.bytesOf(record, size);
        const uint32_t delta = record.tick - previousTick;
        if (static_cast<size_t>(eventsEnd - out) >= fastRoom(size)) {
            FastWriter writer(out);
            encodeTrackEvent(writer, delta, bytes, size, remembered);
            out = writer.at();
        } else {  // near the end: every byte checked
            BoundedWriter writer(out, eventsEnd);
            encodeTrackEvent(writer, delta, bytes, size, remembered);
            if (writer.stopped()) return false;
            out = writer.at();
        }
        remembered = bytes[0];
        previousTick = record.tick;
    }
    // The events must fill the room before the end of track exactly.
    if (out != eventsEnd) return false;
    std::memcpy(out, EndOfTrack, sizeof EndOfTrack);
    return true;
}

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
    out = writeHeaderChunk(out, 0, 1, object.division);
    return writeTrackChunk(object.events, trackSize, out, end);
}

uint32_t tracksImageSize(const Tracks& tracks) {
    uint64_t size = HeaderChunkSize;
    for (uint32_t i = 0; i < tracks.count; ++i) {
        const uint32_t track = trackDataSize(tracks.objects[i]->events);
        if (track == 0) return 0;
        size += TrackTagSize + uint64_t{track};
    }
    return size > UINT32_MAX ? 0 : static_cast<uint32_t>(size);
}

bool writeTracksImage(const Tracks& tracks, uint8_t* out, uint32_t size) {
    uint8_t* const end = out + size;
    if (size < HeaderChunkSize) return false;
    out = writeHeaderChunk(out, 1, tracks.count, tracks.objects[0]->division);
    for (uint32_t i = 0; i < tracks.count; ++i) {
        EventList& events = tracks.objects[i]->events;
        const uint32_t track = trackDataSize(events);  // known since tracksImageSize
        if (track == 0 || static_cast<size_t>(end - out) < TrackTagSize + uint64_t{track}) {
            return false;
        }
        uint8_t* const chunkEnd = out + TrackTagSize + track;
        if (!writeTrackChunk(events, track, out, chunkEnd)) return false;
        out = chunkEnd;
    }
    return out == end;
}

int serializeTracks(const Tracks& tracks, ByteBuffer& out) {
    const uint32_t size = tracksImageSize(tracks);
    if (size == 0) return 0;
    out.resize(size);
    return writeTracksImage(tracks, out.data(), size) ? 1 : 0;
}

}  // namespace xemidi
