#include "shorthand/hex_text.h"

#include <cstring>

namespace xemidi {
namespace {

constexpr char Delimiters[] = " \f\n\r\t\v";

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Calls visit(token, length) for each token in text order; stops early when
// visit returns false. Reads the text in place, so it never needs a copy.
template <typename Visit>
bool forEachToken(const char* text, Visit visit) {
    for (const char* next = text + std::strspn(text, Delimiters); *next != '\0';) {
        const size_t length = std::strcspn(next, Delimiters);
        if (!visit(next, length)) return false;
        next += length;
        next += std::strspn(next, Delimiters);
    }
    return true;
}

}  // namespace

bool readHexBytes(const char* text, ByteBuffer& out) {
    uint32_t count = 0;
    forEachToken(text, [&](const char*, size_t) {
        ++count;
        return true;
    });
    out.resize(count);
    uint32_t position = 0;
    const bool read = forEachToken(text, [&](const char* token, size_t length) {
        const int high = hexDigit(token[0]);
        if (high < 0) return false;
        const int low = length > 1 ? hexDigit(token[1]) : -1;
        out.data()[position++] = static_cast<uint8_t>(low < 0 ? high : high * 16 + low);
        return true;
    });
    if (!read) out.resize(0);
    return read && count != 0;
}

}  // namespace xemidi
