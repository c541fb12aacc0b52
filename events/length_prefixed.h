// System-exclusive and meta events, stored with a variable-length length
// prefix exactly as they are written to the track.
#pragma once

#include "frame/byte_buffer.h"

namespace xemidi {

// Each of the two inserters keeps a length buffer (the encoded length) and
// an event buffer (the stored form being assembled). They keep their blocks
// between calls, so a run of similar events reuses them.
struct WorkingBuffers {
    ByteBuffer length;
    ByteBuffer event;
};

extern WorkingBuffers SysexBuffers;
extern WorkingBuffers MetaBuffers;

}  // namespace xemidi
