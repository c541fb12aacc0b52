// Reading system-exclusive bytes written as hexadecimal text.
#pragma once

#include <cstdint>

namespace xemidi {

namespace hex {

// The six separators: space, and tab, line feed, vertical tab, form feed
// and carriage return (9 to 13). Nothing else separates tokens.
inline bool isDelimiter(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

inline int digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace hex

// Reads text as tokens separated by runs of the delimiters, one byte per
// token: up to two hex digits of either case, up to the token's first other
// character. Calls byte(uint8_t) for each in text order, reading the text
// in place, once; stops and returns false at a token that does not begin
// with a hex digit.
template <class Visit>
bool forEachHexByte(const char* text, Visit byte) {
    for (const char* at = text; *at != '\0';) {
        if (hex::isDelimiter(*at)) {
            ++at;
            continue;
        }
        const int high = hex::digit(at[0]);
        if (high < 0) return false;
        const int low = hex::digit(at[1]);  // the terminator or a delimiter is no digit
        byte(static_cast<uint8_t>(low < 0 ? high : high * 16 + low));
        while (*at != '\0' && !hex::isDelimiter(*at)) ++at;
    }
    return true;
}

}  // namespace xemidi
