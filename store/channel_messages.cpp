// Channel messages given as raw bytes.
#include "store/channel_messages.h"

#include "format/messages.h"

namespace xemidi {

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
