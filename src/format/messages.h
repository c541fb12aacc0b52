// Which events a track may hold, as the library stores them: channel
// messages, complete system-exclusive messages and meta events.
#pragma once

#include <cstdint>

#include "format/numbers.h"

namespace xemidi {

// A channel message: a status byte 0x80..0xEF (running status, system
// exclusive, meta and system messages are not), then the data bytes its
// kind needs, each below 0x80: one for program change and channel
// pressure, two for the others. Bytes past those are kept as given.
inline bool isChannelMessage(const uint8_t* data, int32_t len) {
    if (len < 2) return false;
    const uint8_t status = data[0];
    if (status < 0x80 || status >= 0xF0) return false;
    const int kind = status >> 4;
    if (kind == 0xC || kind == 0xD) return data[1] < 0x80;
    return len >= 3 && data[1] < 0x80 && data[2] < 0x80;
}

// Whether a channel message of size bytes releases key on channel: a
// note-off, or a note-on with velocity 0.
inline bool releasesKey(const uint8_t* bytes, uint32_t size, uint8_t channel, uint8_t key) {
    const int kind = bytes[0] >> 4;
    if (size < 3 || (bytes[0] & 0x0F) != channel || bytes[1] != key) return false;
    return kind == 0x8 || (kind == 0x9 && bytes[2] == 0);
}

// A system-exclusive message of length bytes that begins with first and
// ends with last: F0 ... F7, with at least one byte between, and a length
// prefix (length - 1) that a variable-length quantity holds. Only the first
// and the last byte are tested.
inline bool isSysexMessage(uint8_t first, uint8_t last, int64_t length) {
    return length >= 3 && length - 1 <= MaxVarLen && first == 0xF0 && last == 0xF7;
}

// End of track, which the writer adds itself and no one may insert.
constexpr uint8_t EndOfTrackType = 0x2F;

// The data length a meta type requires, or -1 for any length.
inline int32_t requiredMetaLength(uint8_t type) {
    switch (type) {
        case 0x00:
            return 2;  // sequence number
        case 0x20:
        case 0x21:
            return 1;  // channel prefix, port
        case 0x51:
            return 3;  // tempo
        case 0x54:
            return 5;  // SMPTE offset
        case 0x58:
            return 4;  // time signature
        case 0x59:
            return 2;  // key signature
        default:
            return -1;
    }
}

}  // namespace xemidi
