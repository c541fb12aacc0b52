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
    if (count == 1) {  // no group to hold back
        const ChannelMessage& m = messages[0];
        if (!storable(m)) return 0;
        list.insert(m.tick, m.bytes, static_cast<uint32_t>(m.length));
        return 1;
    }
    EventList::Entry entries[MaxGroup];
    if (count > MaxGroup) return 0;
    for (int i = 0; i < count; ++i) {
        const ChannelMessage& m = messages[i];
        if (!storable(m) || m.length > 3) return 0;
        entries[i] = {m.tick, m.bytes, static_cast<uint32_t>(m.length)};
    }
    list.insertGroup(entries, count);
    return 1;
}

void storeNote(EventList& list, uint32_t tick, uint32_t end, const uint8_t* noteOn,
               const uint8_t* noteOff) {
    if (end == tick) {  // the note-on, inserted last, stands first
        const EventList::Entry entries[2] = {{end, noteOff, 3}, {tick, noteOn, 3}};
        list.insertGroup(entries, 2);
    } else {
        list.insertNote(tick, end, noteOn, noteOff);
    }
}

}  // namespace xemidi
