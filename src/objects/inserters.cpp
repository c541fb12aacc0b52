// The core inserters: a channel message as raw bytes, a system-exclusive
// message and a meta event, each into the object its handle names.
#include "core/c_boundary.h"
#include "objects/registry.h"
#include "store/channel_messages.h"
#include "store/length_prefixed.h"

using xemidi::guarded;
using xemidi::SmfObject;
using xemidi::validateHandle;

int XEMIDI_CALL InsertMidiEvent(SmfHandle smf, uint32_t tick, const void* data, int32_t len) {
    return guarded([&] {
        SmfObject* object = validateHandle(smf);
        const xemidi::ChannelMessage message = {tick, static_cast<const uint8_t*>(data), len};
        return object == nullptr ? 0 : xemidi::storeChannelMessages(object->events, &message, 1);
    });
}

int XEMIDI_CALL InsertSysexEvent(SmfHandle smf, uint32_t tick, const void* data, int32_t len) {
    return guarded([&] {
        SmfObject* object = validateHandle(smf);
        const auto* bytes = static_cast<const uint8_t*>(data);
        return object == nullptr ? 0 : xemidi::storeSysex(object->events, tick, bytes, len);
    });
}

int XEMIDI_CALL InsertMetaEvent(SmfHandle smf, uint32_t tick, uint32_t type, const void* data,
                                int32_t len) {
    return guarded([&] {
        SmfObject* object = validateHandle(smf);
        const auto* bytes = static_cast<const uint8_t*>(data);
        return object == nullptr ? 0 : xemidi::storeMeta(object->events, tick, type, bytes, len);
    });
}
