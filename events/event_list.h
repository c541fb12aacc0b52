// An object's events, kept in the order they are written to the track:
// ascending tick, and among events at one tick the one inserted last first.
#pragma once

#include <cstdint>
#include <list>

#include "events/node_pool.h"
#include "frame/byte_buffer.h"

namespace xemidi {

struct Event {
    Event() = default;
    // Copies the bytes in use of another event's buffer, exactly sized.
    Event(uint32_t at, const ByteBuffer& from);

    uint32_t tick = 0;  // absolute, compared unsigned
    ByteBuffer bytes;   // as written after the delta time, status byte first
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

// An object's events. Besides the nodes it keeps what its events take in
// the track chunk, brought up to date by every insertion, so that the size
// of the file image is known without a walk of the list.
class EventList : public EventNodes {
  public:
    explicit EventList(EventNodePool& pool) : EventNodes(allocator_type(&pool)) {}

    // Bytes of the events in the track, delta times included and running
    // status applied (without the track's length field and end of track).
    uint64_t eventBytes() const { return eventBytes_; }
    // How many delta times between neighbours exceed MaxVarLen: while there
    // is one, the list has no image.
    uint32_t longDeltas() const { return longDeltas_; }

    // Brings both counts up to date after the node at inserted was linked:
    // only the new event and the one after it change what they take.
    void countInserted(const_iterator inserted);

  private:
    uint64_t eventBytes_ = 0;
    uint32_t longDeltas_ = 0;
};

// Which end the next search of insertEvent starts from: 1 the back, 0 the
// front. Shared by every object; insertEvent flips it after a walk that
// passed more than half of a list. Never decides where an event goes.
extern int32_t SearchHint;

// Every insertion stages its event here; insertEvent then copies it into
// the list. Keeps the last staged event between insertions.
extern Event ScratchEvent;

// Where a new event goes among the events already at its tick.
enum class Placement {
    First,  // before them all: the rule of every insertion but a note's note-on
    // Directly after the last release of the same channel and key (a
    // note-off, or a note-on with velocity 0), so that a note struck where
    // the previous one on its key ends is not cut off at once by that
    // note-off; first when the tick holds no such release.
    AfterRelease,
};

// Places a copy of event before the first stored event whose tick is >= its
// tick (at the end when there is none). On std::bad_alloc the list and
// SearchHint are left as they were.
void insertEvent(EventList& list, const Event& event);

// Stages tick and bytes in ScratchEvent and inserts them with insertEvent.
void stageAndInsert(EventList& list, uint32_t tick, const uint8_t* bytes, uint32_t size);

// Stages tick and bytes in ScratchEvent and appends a copy of it to nodes, a
// group of events not linked into the object's list yet (made with that
// list's allocator).
void stageInto(EventNodes& nodes, uint32_t tick, const uint8_t* bytes, uint32_t size);

// Moves the first of nodes into list where placement puts it (First: where
// insertEvent would). It allocates nothing, so a group built with stageInto
// goes in whole when its nodes are linked one after another.
void linkFirstOf(EventNodes& nodes, EventList& list, Placement placement);

}  // namespace xemidi
