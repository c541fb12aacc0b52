// An object's events, kept in the order they are written to the track:
// ascending tick, and among events at one tick the one inserted last first.
#pragma once

#include <cstdint>
#include <list>

#include "frame/byte_buffer.h"

namespace xemidi {

struct Event {
    Event() = default;
    // Copies size bytes into a block of exactly that size.
    Event(uint32_t at, const uint8_t* data, uint32_t size);

    uint32_t tick = 0;  // absolute, compared unsigned
    ByteBuffer bytes;   // as written after the delta time, status byte first
};

// A circular doubly linked list with a sentinel and a count.
using EventList = std::list<Event>;

// Which end the next search of insertEvent starts from: 1 the back, 0 the
// front. Shared by every object; insertEvent flips it after a walk that
// passed more than half of a list. Never decides where an event goes.
extern int32_t SearchHint;

// Every insertion stages its event here; insertEvent then copies it into
// the list. Keeps the last staged event between insertions.
extern Event ScratchEvent;

// Places a copy of event before the first stored event whose tick is >= its
// tick (at the end when there is none). On std::bad_alloc the list and
// SearchHint are left as they were.
void insertEvent(EventList& list, const Event& event);

// Stages tick and bytes in ScratchEvent and inserts them with insertEvent.
void stageAndInsert(EventList& list, uint32_t tick, const uint8_t* bytes, uint32_t size);

// Stages tick and bytes in ScratchEvent and appends a copy of it to nodes, a
// list of events not linked into any object yet.
void stageInto(EventList& nodes, uint32_t tick, const uint8_t* bytes, uint32_t size);

// Moves the nodes into list one by one, front first, each where insertEvent
// would place it: the result is that of inserting them in that order. It
// allocates nothing, so a group built with stageInto goes in whole.
void linkEvents(EventList& list, EventList& nodes);

}  // namespace xemidi
