// Channel messages given as raw bytes, singly (InsertMidiEvent) or as a
// group that goes in whole (the multi-message shorthands).
#pragma once

#include <cstdint>

#include "store/event_list.h"

namespace xemidi {

struct ChannelMessage {
    uint32_t tick;
    const uint8_t* bytes;
    int32_t length;
    Placement placement = Placement::First;
};

// Stores the messages in order, as as many single insertions would, but
// all or none: every message is checked, and every event built, before the
// first goes in. 0 when a message is not one the library stores (status
// 0x80..0xEF, the data bytes its kind needs below 0x80; bytes is not read
// when length is below 2). Throws std::bad_alloc with nothing stored.
int storeChannelMessages(EventList& list, const ChannelMessage* messages, int count);

}  // namespace xemidi
