// Channel messages given as raw bytes.
#include "store/channel_messages.h"

#include "format/messages.h"

namespace xemidi {

namespace {

bool storable(const ChannelMessage& m) {
    return m.length >= 2 && m.bytes != nullptr && isChannelMessage(m.bytes, m.length);
}

EventList::Entry entryOf(const ChannelMessage& m, bool ahead = false) {
    return {m.tick, m.bytes, static_cast<uint32_t>(m.length), m.placement, ahead};
}

}  // namespace

int storeChannelMessages(EventList& list, const ChannelMessage* messages, int count) {
    if (count == 1 && messages[0].placement == Placement::First) {  // no group to hold back
        const ChannelMessage& m = messages[0];
        if (!storable(m)) return 0;
        list.insert(m.tick, m.bytes, static_cast<uint32_t>(m.length));
        return 1;
    }
    EventList::Entry entries[MaxGroup];
    if (count > MaxGroup) return 0;
    for (int i = 0; i < count; ++i) {
        if (!storable(messages[i]) || messages[i].length > 3) return 0;
        entries[i] = entryOf(messages[i]);
    }
    // A note's two events at different ticks: which goes in first changes
    // nothing, since each is placed among the events at its own tick. The
    // note-on goes first, where a host writing in time order is, and the
    // note-off after it, held ahead of it.
    const bool note = count == 2 && messages[1].placement == Placement::AfterRelease &&
                      messages[0].tick != messages[1].tick;
    if (note) {
        entries[0] = entryOf(messages[1]);
        entries[1] = entryOf(messages[0], true);
    }
    list.insertGroup(entries, count);
    return 1;
}

}  // namespace xemidi
