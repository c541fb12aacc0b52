// The layout of a file: the header chunk, a track chunk's header, running
// status between the events, and the end of track.
#pragma once

#include <cstdint>

#include "format/numbers.h"

namespace xemidi {

// Bytes of the header chunk: "MThd", its length 6, format, track count,
// division.
constexpr uint32_t HeaderChunkSize = 14;

// Bytes of a track chunk's "MTrk" tag, which precedes its length field.
constexpr uint32_t TrackTagSize = 4;

// Bytes of a format-0 image around its one track's data: the header chunk
// and the track's tag.
constexpr uint32_t ImageOverhead = HeaderChunkSize + TrackTagSize;

// The most track chunks a header's 16-bit count names.
constexpr uint32_t MaxTracks = 0xFFFF;

// The track's last event: delta 0, meta type 0x2F, length 0.
constexpr uint8_t EndOfTrack[4] = {0x00, 0xFF, 0x2F, 0x00};

// The track chunk's length field and its end of track, around the events.
constexpr uint32_t TrackFraming = 8;

// Running status: a channel status byte equal to the previous event's first
// byte is left out. System-exclusive and meta events are always written in
// full and, being remembered too, cancel running status. The remembered
// byte is 0 before the first event.
inline bool omitsStatus(uint8_t status, uint8_t remembered) {
    return status == remembered && status >= 0x80 && status < 0xF0;
}

// The one encoding of a track event, which both counts the track's size and
// writes it, so that the two cannot disagree: the delta time as a
// variable-length quantity, then the event's stored bytes (size of them, at
// least one), the status byte left out under running status. out takes
// varLen(value) and bytes(data, count).
template <class Out>
void encodeTrackEvent(Out& out, uint32_t delta, const uint8_t* bytes, uint32_t size,
                      uint8_t remembered) {
    out.varLen(delta);
    const uint32_t skip = omitsStatus(bytes[0], remembered) ? 1 : 0;
    out.bytes(bytes + skip, size - skip);
}

// Counts what encodeTrackEvent writes.
struct TrackCounter {
    uint64_t total = 0;
    void varLen(uint32_t value) { total += varLenSize(value); }
    void bytes(const uint8_t*, uint32_t count) { total += count; }
};

}  // namespace xemidi
