// Channel messages given as raw bytes, singly (InsertMidiEvent) or as a
// group that goes in whole (the multi-message shorthands).
#pragma once

#include <cstdint>

#include "events/event_list.h"
#include "xemidi.h"

namespace xemidi {

struct ChannelMessage {
    uint32_t tick;
    const uint8_t* bytes;
    int32_t length;
    Placement placement = Placement::First;
};

// Inserts the messages in order, with the result of as many InsertMidiEvent
// calls, but all or none: the handle and every message are checked, and every
// event is built, before the first is linked. 0 for a bad handle or message;
// std::bad_alloc when memory runs out, with nothing inserted.
int insertMidiEvents(SmfHandle smf, const ChannelMessage* messages, int count);

}  // namespace xemidi
