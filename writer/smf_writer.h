// The Standard MIDI File image of an object: header chunk, one track chunk
// with delta times and running status, end of track. Built afresh on every
// request and never kept.
#pragma once

#include <cstdint>

#include "events/event_list.h"
#include "frame/byte_buffer.h"
#include "frame/registry.h"
#include "writer/track_format.h"
#include "xemidi.h"

namespace xemidi {

// Bytes of the header chunk and the "MTrk" tag that precede trackDataSize.
constexpr uint32_t ImageOverhead = 18;

// The track chunk's byte count from its length field to the end of the
// image, running status applied; 0 when the events have no image: a delta
// time above MaxVarLen, or an image that would not fit 32 bits. Read from
// the counts the list keeps once every event has its place. Throws
// std::bad_alloc when the waiting events cannot be merged in.
uint32_t trackDataSize(EventList& events);

// The size of the object's image, or 0 when it has none.
uint32_t imageSize(SmfObject& object);

// Writes the image of object, whose trackDataSize is trackSize (not 0), to
// out, which holds trackSize + ImageOverhead bytes.
void writeImage(SmfObject& object, uint32_t trackSize, uint8_t* out);

// Builds the image of a live object into out. 0 when the handle is bad or
// the object has no image; out is then untouched.
int serializeSmf(SmfHandle handle, ByteBuffer& out);

}  // namespace xemidi
