// System-exclusive and meta events, stored with a variable-length length
// prefix exactly as they are written to the track.
#pragma once

#include <cstdint>

#include "events/event_list.h"
#include "writer/track_format.h"

namespace xemidi {

// Whether a system-exclusive message of length bytes that begins with first
// and ends with last can be stored: F0 ... F7, with at least one byte
// between, and a length prefix (length - 1) that a variable-length quantity
// holds. Only the first and the last byte are tested.
inline bool isStorableSysex(uint8_t first, uint8_t last, int64_t length) {
    return length >= 3 && length - 1 <= MaxVarLen && first == 0xF0 && last == 0xF7;
}

// Stores a system-exclusive message of length bytes that isStorableSysex
// accepts as F0, then length - 1 as a variable-length quantity, then the
// length - 1 bytes after the F0, which writeRest(uint8_t* out) writes into
// the event itself. Throws std::bad_alloc with nothing stored.
template <class WriteRest>
void storeSysexWritten(EventList& list, uint32_t tick, uint32_t length, WriteRest writeRest) {
    const uint32_t rest = length - 1;
    list.insertWritten(tick, 1 + varLenSize(rest) + rest, [&](uint8_t* out) {
        out[0] = 0xF0;
        writeRest(out + 1 + writeVarLen(out + 1, rest));
    });
}

// Stores the system-exclusive message data[0..len); 0 when it breaks a rule
// (data is read only once len is at least 3).
int storeSysex(EventList& list, uint32_t tick, const uint8_t* data, int32_t len);

// Stores a meta event of the low 8 bits of type with len data bytes as FF,
// type, len as a variable-length quantity, then the data; 0 when the length
// breaks the rule of the type (see xemidi.h) or the type is end of track.
int storeMeta(EventList& list, uint32_t tick, uint32_t type, const uint8_t* data, int32_t len);

}  // namespace xemidi
