// Reading system-exclusive bytes written as hexadecimal text.
#pragma once

#include <cstdint>
#include <cstring>

namespace xemidi {

namespace hex {

constexpr char Delimiters[] = " \f\n\r\t\v";

inline int digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace hex

// Reads text as tokens separated by runs of space, tab, line feed, vertical
// tab, form feed and carriage return, one byte per token: up to two hex
// digits of either case, up to the token's first other character. Calls
// byte(uint8_t) for each in text order, reading the text in place; stops
// and returns false at a token that does not begin with a hex digit.
template <class Visit>
bool forEachHexByte(const char* text, Visit byte) {
    for (const char* token = text + std::strspn(text, hex::Delimiters); *token != '\0';) {
        const size_t length = std::strcspn(token, hex::Delimiters);
        const int high = hex::digit(token[0]);
        if (high < 0) return false;
        const int low = length > 1 ? hex::digit(token[1]) : -1;
        byte(static_cast<uint8_t>(low < 0 ? high : high * 16 + low));
        token += length;
        token += std::strspn(token, hex::Delimiters);
    }
    return true;
}

}  // namespace xemidi
