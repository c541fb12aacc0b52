#include "store/length_prefixed.h"

#include <cstring>

namespace xemidi {

int storeSysex(EventList& list, uint32_t tick, const uint8_t* data, int32_t len) {
    // The length is judged before any byte is read.
    if (len < 3 || data == nullptr || static_cast<uint32_t>(len) - 1 > MaxVarLen) return 0;
    if (!isSysexMessage(data[0], data[len - 1], len)) return 0;
    storeSysexWritten(list, tick, static_cast<uint32_t>(len), [&](uint8_t* out) {
        std::memcpy(out, data + 1, static_cast<uint32_t>(len) - 1);
    });
    return 1;
}

int storeMeta(EventList& list, uint32_t tick, uint32_t typeArgument, const uint8_t* data,
              int32_t len) {
    if (len < 0 || static_cast<uint32_t>(len) > MaxVarLen) return 0;
    const auto type = static_cast<uint8_t>(typeArgument);
    const int32_t required = requiredMetaLength(type);
    if (type == EndOfTrackType || (required >= 0 && len != required)) return 0;
    if (len > 0 && data == nullptr) return 0;
    const auto length = static_cast<uint32_t>(len);
    list.insertWritten(tick, 2 + varLenSize(length) + length, [&](uint8_t* out) {
        out[0] = 0xFF;
        out[1] = type;
        out += 2 + writeVarLen(out + 2, length);
        if (length != 0) std::memcpy(out, data, length);
    });
    return 1;
}

}  // namespace xemidi
