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
};

// The most messages a group may hold (a shorthand's messages at one tick).
constexpr int MaxGroup = 4;

// Stores the messages in order, as as many single insertions would, but
// all or none: every message is checked before the first goes in. 0 when a
// message is not one the library stores (status 0x80..0xEF, the data bytes
// its kind needs below 0x80; bytes is not read when length is below 2), or
// when a group (more than one message) has more than MaxGroup messages or
// one longer than 3 bytes. Throws std::bad_alloc with nothing stored.
int storeChannelMessages(EventList& list, const ChannelMessage* messages, int count);

// Stores a note, both events or neither: its note-off at end, then its
// note-on at tick, which follows its key's release at that tick when the
// two ticks differ (Placement). The caller composes the bytes: a 3-byte
// note-off and note-on of one channel and key. Throws std::bad_alloc with
// nothing stored.
void storeNote(EventList& list, uint32_t tick, uint32_t end, const uint8_t* noteOn,
               const uint8_t* noteOff);

}  // namespace xemidi
