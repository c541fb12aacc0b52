// Text inserters: a system-exclusive message from hexadecimal text, and
// text and lyric meta events holding the caller's bytes unchanged.
#include <cstring>

#include "frame/c_boundary.h"
#include "shorthand/hex_text.h"
#include "xemidi.h"

namespace xemidi {
namespace {

constexpr uint32_t TextType = 0x01;
constexpr uint32_t LyricType = 0x05;

// The bytes read from the last text; emptied when a text fails to read.
ByteBuffer SysxBytes;

int insertSysx(SmfHandle smf, uint32_t tick, const char* text) {
    if (text == nullptr || *text == '\0') return 0;
    if (!readHexBytes(text, SysxBytes)) return 0;
    return InsertSysexEvent(smf, tick, SysxBytes.data(), static_cast<int32_t>(SysxBytes.size()));
}

int insertText(SmfHandle smf, uint32_t tick, uint32_t type, const char* text) {
    const size_t length = text == nullptr ? 0 : std::strlen(text);
    if (length > INT32_MAX) return 0;
    return InsertMetaEvent(smf, tick, type, text, static_cast<int32_t>(length));
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
