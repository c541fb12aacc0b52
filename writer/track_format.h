// The two rules of the track chunk that decide how many bytes an event
// takes: variable-length delta times and running status. The writer and the
// event list's running size both follow them, so both live here.
#pragma once

#include <cstdint>

namespace xemidi {

// The largest value a variable-length quantity of at most four bytes holds.
constexpr uint32_t MaxVarLen = 0x0FFFFFFF;

// Bytes of the variable-length quantity of value: 1 to 4 (never more, so
// callers keep values within MaxVarLen).
inline uint32_t varLenSize(uint32_t value) {
    return value < (1u << 7) ? 1 : value < (1u << 14) ? 2 : value < (1u << 21) ? 3 : 4;
}

// Writes the variable-length quantity of value (at most MaxVarLen) at out:
// its 7-bit groups, most significant first, each byte but the last with bit
// 7 set. Returns how many bytes it wrote, varLenSize(value).
inline uint32_t writeVarLen(uint8_t* out, uint32_t value) {
    if (value < 0x80) {  // most delta times
        out[0] = static_cast<uint8_t>(value);
        return 1;
    }
    const uint32_t count = varLenSize(value);
    for (uint32_t i = count; i-- > 0; value >>= 7) {
        out[i] = static_cast<uint8_t>((value & 0x7F) | (i + 1 < count ? 0x80 : 0x00));
    }
    return count;
}

// Write the low 16 bits, or all 32 bits, of value at out, most significant
// byte first: derived from the value, so the result never depends on the
// host. Return the end of what they wrote.
inline uint8_t* writeBigEndian16(uint8_t* out, uint32_t value) {
    out[0] = static_cast<uint8_t>(value >> 8);
    out[1] = static_cast<uint8_t>(value);
    return out + 2;
}
inline uint8_t* writeBigEndian32(uint8_t* out, uint32_t value) {
    return writeBigEndian16(writeBigEndian16(out, value >> 16), value);
}

// Running status: a channel status byte equal to the previous event's first
// byte is left out. System-exclusive and meta events are always written in
// full and, being remembered too, cancel running status. The remembered
// byte is 0 before the first event.
inline bool omitsStatus(uint8_t status, uint8_t remembered) {
    return status == remembered && status >= 0x80 && status < 0xF0;
}

}  // namespace xemidi
