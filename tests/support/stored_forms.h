// The tests' own account of how events are stored and written, for
// predicting stored bytes and images: variable-length quantities and
// length-prefixed events (system-exclusive, meta), written out by hand and
// never with the library's code. support/smf_reader.h reads them back.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace smftest {

using Bytes = std::vector<uint8_t>;

// 7-bit groups, most significant first, bit 7 set on all but the last.
inline Bytes varLen(uint32_t value) {
    Bytes out{static_cast<uint8_t>(value & 0x7F)};
    while ((value >>= 7) != 0) out.insert(out.begin(), static_cast<uint8_t>(0x80 | (value & 0x7F)));
    return out;
}

// head (F0, or FF and the type), length as a variable-length quantity, then
// length bytes of body.
inline Bytes lengthPrefixed(Bytes head, uint32_t length, const uint8_t* body) {
    const Bytes prefix = varLen(length);
    head.insert(head.end(), prefix.begin(), prefix.end());
    if (length != 0) head.insert(head.end(), body, body + length);
    return head;
}

// A chunk: its four-character tag, its length (32 bits, most significant
// byte first, or as given), then its body.
inline Bytes chunk(const char* tag, const Bytes& body, int64_t length = -1) {
    Bytes out(tag, tag + 4);
    const auto n = static_cast<uint32_t>(length < 0 ? int64_t(body.size()) : length);
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(n >> shift));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

// The header chunk of a file of format, tracks and division.
inline Bytes headerChunk(uint16_t format, uint16_t tracks, uint16_t division) {
    return chunk("MThd", {uint8_t(format >> 8), uint8_t(format), uint8_t(tracks >> 8),
                          uint8_t(tracks), uint8_t(division >> 8), uint8_t(division)});
}

inline Bytes joined(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

}  // namespace smftest
