// Text inserters: a system-exclusive message from hexadecimal text, and
// text and lyric meta events holding the caller's bytes unchanged.
#include <cstring>
#include <utility>

#include "core/c_boundary.h"
#include "objects/registry.h"
#include "shorthand/hex_text.h"
#include "store/length_prefixed.h"
#include "xemidi.h"

namespace xemidi {
namespace {

constexpr uint32_t TextType = 0x01;
constexpr uint32_t LyricType = 0x05;

// The text is read twice, to check the message and then into the event
// itself: its bytes are never held anywhere else.
int insertSysx(SmfHandle smf, uint32_t tick, const char* text) {
    if (text == nullptr || *text == '\0') return 0;
    uint64_t count = 0;
    uint8_t first = 0, last = 0;
    const bool read = forEachHexByte(text, [&](uint8_t byte) {
        if (count++ == 0) first = byte;
        last = byte;
    });
    SmfObject* object = validateHandle(smf);
    if (!read || object == nullptr || !isSysexMessage(first, last, static_cast<int64_t>(count)))
        return 0;
    storeSysexWritten(object->events, tick, static_cast<uint32_t>(count), [&](uint8_t* rest) {
        bool opening = true;  // the F0 is written already
        forEachHexByte(text, [&](uint8_t byte) {
            if (!std::exchange(opening, false)) *rest++ = byte;
        });
    });
    return 1;
}

int insertText(SmfHandle smf, uint32_t tick, uint32_t type, const char* text) {
    const size_t length = text == nullptr ? 0 : std::strlen(text);
    SmfObject* object = validateHandle(smf);
    if (object == nullptr || length > INT32_MAX) return 0;
    return storeMeta(object->events, tick, type, reinterpret_cast<const uint8_t*>(text),
                     static_cast<int32_t>(length));
}

}  // namespace
}  // namespace xemidi

using xemidi::guarded;

int XEMIDI_CALL calex_insert_Sysx(SmfHandle smf, uint32_t tick, const char* text) {
    return guarded([&] { return xemidi::insertSysx(smf, tick, text); });
}

int XEMIDI_CALL calex_insert_Text(SmfHandle smf, uint32_t tick, const char* text) {
    return guarded([&] { return xemidi::insertText(smf, tick, xemidi::TextType, text); });
}

int XEMIDI_CALL calex_insert_Lyric(SmfHandle smf, uint32_t tick, const char* text) {
    return guarded([&] { return xemidi::insertText(smf, tick, xemidi::LyricType, text); });
}
