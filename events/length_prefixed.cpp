#include "events/length_prefixed.h"

#include <cstring>

#include "frame/c_boundary.h"
#include "frame/registry.h"

namespace xemidi {

namespace {

// Fixed data lengths of the meta types that have one; -1: any length.
int32_t requiredMetaLength(uint8_t type) {
    switch (type) {
        case 0x00:
            return 2;  // sequence number
        case 0x20:
            return 1;  // channel prefix
        case 0x21:
            return 1;  // port
        case 0x51:
            return 3;  // tempo
        case 0x54:
            return 5;  // SMPTE offset
        case 0x58:
            return 4;  // time signature
        case 0x59:
            return 2;  // key signature
        default:
            return -1;
    }
}

constexpr uint8_t EndOfTrackType = 0x2F;

}  // namespace

int storeSysex(EventList& list, uint32_t tick, const uint8_t* data, int32_t len) {
    // The length is judged before any byte is read.
    if (len < 3 || data == nullptr || static_cast<uint32_t>(len) - 1 > MaxVarLen) return 0;
    if (!isStorableSysex(data[0], data[len - 1], len)) return 0;
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

using xemidi::guarded;
using xemidi::SmfObject;

int XEMIDI_CALL InsertSysexEvent(SmfHandle smf, uint32_t tick, const void* data, int32_t len) {
    return guarded([&] {
        SmfObject* object = xemidi::validateHandle(smf);
        return object == nullptr ? 0
                                 : xemidi::storeSysex(object->events, tick,
                                                      static_cast<const uint8_t*>(data), len);
    });
}

int XEMIDI_CALL InsertMetaEvent(SmfHandle smf, uint32_t tick, uint32_t type, const void* data,
                                int32_t len) {
    return guarded([&] {
        SmfObject* object = xemidi::validateHandle(smf);
        return object == nullptr ? 0
                                 : xemidi::storeMeta(object->events, tick, type,
                                                     static_cast<const uint8_t*>(data), len);
    });
}
