// Channel messages given as raw bytes.
#include "events/midi_event.h"

#include "frame/c_boundary.h"
#include "frame/registry.h"

namespace xemidi {
namespace {

// A stored event must open with a channel status byte (0x80..0xEF: running
// status, system-exclusive, meta and system messages are refused) and carry
// the data bytes its kind needs, each below 0x80. Bytes past those are
// stored as given.
bool isChannelMessage(const uint8_t* data, int32_t len) {
    const uint8_t status = data[0];
    if (status < 0x80 || status >= 0xF0) return false;
    const int kind = status >> 4;
    if (kind == 0xC || kind == 0xD) return data[1] < 0x80;  // program, channel pressure
    return len >= 3 && data[1] < 0x80 && data[2] < 0x80;
}

}  // namespace

int storeChannelMessages(EventList& list, const ChannelMessage* messages, int count) {
    for (int i = 0; i < count; ++i) {
        const ChannelMessage& m = messages[i];
        if (m.length < 2 || m.bytes == nullptr || !isChannelMessage(m.bytes, m.length)) return 0;
    }
    if (count == 1 && messages[0].placement == Placement::First) {  // no group to hold back
        list.insert(messages[0].tick, messages[0].bytes, static_cast<uint32_t>(messages[0].length));
        return 1;
    }
    EventNodes group(list.allocator());
    for (int i = 0; i < count; ++i) {
        group.emplace_back(messages[i].tick, messages[i].bytes,
                           static_cast<uint32_t>(messages[i].length));
    }
    for (int i = 0; i < count; ++i) list.moveIn(group, messages[i].placement);
    return 1;
}

}  // namespace xemidi

int XEMIDI_CALL InsertMidiEvent(SmfHandle smf, uint32_t tick, const void* data, int32_t len) {
    const xemidi::ChannelMessage message = {tick, static_cast<const uint8_t*>(data), len};
    return xemidi::guarded([&] {
        xemidi::SmfObject* object = xemidi::validateHandle(smf);
        return object == nullptr ? 0 : xemidi::storeChannelMessages(object->events, &message, 1);
    });
}
