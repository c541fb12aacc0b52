// A stored event and the list nodes that hold an object's events.
#pragma once

#include <cstdint>
#include <list>
#include <utility>

#include "core/byte_buffer.h"
#include "store/node_pool.h"

namespace xemidi {

// Where a new event goes among the events already at its tick.
enum class Placement : uint8_t {
    First,  // before them all: the rule of every insertion but a note's note-on
    // Directly after the last release of the same channel and key (a
    // note-off, or a note-on with velocity 0), so that a note struck where
    // the previous one on its key ends is not cut off at once by that
    // note-off; first when the tick holds no such release.
    AfterRelease,
};

struct Event {
    Event() = default;
    // An event at tick holding a copy of size bytes, exactly sized.
    Event(uint32_t at, const uint8_t* from, uint32_t size) : tick(at) { bytes.assign(from, size); }

    void swap(Event& other) noexcept {
        std::swap(tick, other.tick);
        std::swap(placement, other.placement);
        bytes.swap(other.bytes);
    }

    uint32_t tick = 0;  // absolute, compared unsigned
    // How the event is placed while it waits for its place (EventList).
    Placement placement = Placement::First;
    ByteBuffer bytes;  // as written after the delta time, status byte first
};

// A list node: two links and the event. Sizes the slots of the node pool.
struct EventNodeShape {
    void* links[2];
    Event event;
};
using EventNodePool = NodePool<sizeof(EventNodeShape), alignof(EventNodeShape)>;

// A circular doubly linked list with a sentinel and a count, its nodes drawn
// from one object's pool. A group of events on its way into a list is held
// in one of these too.
using EventNodes = std::list<Event, PoolAllocator<Event, EventNodePool>>;
using EventPosition = EventNodes::iterator;

}  // namespace xemidi
