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

// Running status: a channel status byte equal to the previous event's first
// byte is left out. System-exclusive and meta events are always written in
// full and, being remembered too, cancel running status. The remembered
// byte is 0 before the first event.
inline bool omitsStatus(uint8_t status, uint8_t remembered) {
    return status == remembered && status >= 0x80 && status < 0xF0;
}

}  // namespace xemidi
