// Channel messages given as raw bytes.
#include "store/channel_messages.h"

#include "format/messages.h"

namespace xemidi {

namespace {

bool storable(const ChannelMessage& m) {
    return m.length >= 2 && m.bytes != nullptr && isChannelMessage(m.bytes, m.length);
}

}  // namespace

int storeChannelMessages(EventList& list, const ChannelMessage* messages, int count) {
    if (count == 1 && messages[0].placement == Placement::First) {  // no group to hold back
        const ChannelMessage& m = messages[0];
        if (!storable(m)) return 0;
        list.insert(m.tick, m.bytes, static_cast<uint32_t>(m.length));
        return 1;
    }
    for (int i = 0; i < count; ++i) {
        if (!storable(messages[i])) return 0;
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
