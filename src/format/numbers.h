// The numbers of a Standard MIDI File: variable-length quantities (delta
// times, length prefixes) and big-endian fields (the chunk headers).
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

// Read a big-endian field of 16 or 32 bits at in.
inline uint32_t readBigEndian16(const uint8_t* in) {
    return uint32_t{in[0]} << 8 | in[1];
}
inline uint32_t readBigEndian32(const uint8_t* in) {
    return readBigEndian16(in) << 16 | readBigEndian16(in + 2);
}

}  // namespace xemidi
