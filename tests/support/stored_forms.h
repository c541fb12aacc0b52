// The tests' own account of how events are stored and written, for
// predicting stored bytes and images: variable-length quantities and
// length-prefixed events (system-exclusive, meta), written out by hand and
// never with the library's code. support/smf_reader.h reads them back.
#pragma once

#include <cstdint>
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

}  // namespace smftest
