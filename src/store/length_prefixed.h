// System-exclusive and meta events, stored with a variable-length length
// prefix exactly as they are written to the track.
#pragma once

#include <cstdint>

#include "format/messages.h"
#include "format/numbers.h"
#include "store/event_list.h"

namespace xemidi {

// Stores a system-exclusive message of length bytes that isSysexMessage
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
// breaks the rule of the type (requiredMetaLength), the type is end of
// track, or data is NULL with len above 0.
int storeMeta(EventList& list, uint32_t tick, uint32_t type, const uint8_t* data, int32_t len);

}  // namespace xemidi
