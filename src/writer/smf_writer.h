// The Standard MIDI File images: the format-0 image of one object (header
// chunk, one track chunk with delta times and running status, end of
// track), and the format-1 image of several, one track chunk each. Built
// afresh on every request and never kept.
#pragma once

#include <cstdint>

#include "core/byte_buffer.h"
#include "objects/registry.h"

namespace xemidi {

// The track chunk's byte count from its length field to the end of the
// image, running status applied; 0 when the events have no image: a delta
// time above MaxVarLen, or an image that would not fit 32 bits. Read from
// the counts the list keeps once every event has its place. Throws
// std::bad_alloc when the waiting events cannot be merged in.
uint32_t trackDataSize(EventList& events);

// The size of the object's image, or 0 when it has none.
uint32_t imageSize(SmfObject& object);

// Writes the image of object, whose trackDataSize is trackSize (not 0),
// into [out, end), which should hold trackSize + ImageOverhead bytes. It
// never writes at or past end; false when the image does not fill the room
// exactly (the bytes before end may then have been written).
bool writeImage(SmfObject& object, uint32_t trackSize, uint8_t* out, uint8_t* end);

// Builds the image of object into out; 0 when it has none (out untouched).
int serializeSmf(SmfObject& object, ByteBuffer& out);

// Several objects as the tracks of one format-1 file, in order; the same
// object may stand more than once. They share the header's division: the
// first one's.
struct Tracks {
    SmfObject* const* objects;
    uint32_t count;  // 1..MaxTracks
};

// The size of the format-1 image of tracks, or 0 when one of them has no
// image or the whole would not fit 32 bits. Throws std::bad_alloc as
// trackDataSize does.
uint32_t tracksImageSize(const Tracks& tracks);

// Writes the format-1 image of tracks, whose tracksImageSize is size (not
// 0), into [out, out + size), and never past it; false when the image does
// not fill it exactly.
bool writeTracksImage(const Tracks& tracks, uint8_t* out, uint32_t size);

// Builds the format-1 image of tracks into out; 0 when it has none (out
// untouched).
int serializeTracks(const Tracks& tracks, ByteBuffer& out);

}  // namespace xemidi
