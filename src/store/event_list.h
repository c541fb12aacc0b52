// An object's events, kept in the order they are written to the track:
// ascending tick, and among events at one tick the one inserted last first
// (a note's note-on excepted, see Placement).
#pragma once

#include <cstdint>
#include <vector>

#include "core/byte_buffer.h"
#include "store/event.h"

namespace xemidi {

// The events of one object. An event that goes at or near an end of the
// list (time order, a prepend, a chord at the last tick) is linked in its
// place at once. Any other waits, with those inserted after it, until the
// list is read: they are then sorted by tick and merged in one pass, each
// placed exactly where it would have gone at its insertion. A host that
// inserts in any order thus pays for one sort, not for a search per event.
//
// The list also keeps what its events take in the track chunk, brought up
// to date as each event takes its place, so that the size of the file
// image is known without a walk.
class EventList {
  public:
    explicit EventList(EventNodePool& pool);
    EventList(const EventList&) = delete;
    EventList& operator=(const EventList&) = delete;

    // Inserts an event at tick holding a copy of size bytes, before the
    // events already at its tick. On std::bad_alloc the list is as it was.
    void insert(uint32_t tick, const uint8_t* bytes, uint32_t size);
    // Inserts an event at tick of size bytes, which write(uint8_t* out)
    // writes: the event's bytes are written once, in the node that keeps
    // them. On std::bad_alloc the list is as it was.
    template <class Write>
    void insertWritten(uint32_t tick, uint32_t size, Write write) {
        EventNodes group(allocator());
        Event& event = group.emplace_back();
        event.tick = tick;
        event.bytes.resize(size);
        write(event.bytes.data());
        moveIn(group, Placement::First);
    }
    // Moves the first node of group (made with allocator()) in, where
    // placement puts it among the events at its tick. Allocates nothing:
    // the nodes of a group built beforehand go in whole.
    void moveIn(EventNodes& group, Placement placement);

    // The events in track order, once every waiting event has its place.
    // Throws std::bad_alloc with nothing changed.
    const EventNodes& inOrder();

    // Bytes of the events in the track, delta times included and running
    // status applied (without the track's length field and end of track),
    // and how many delta times between neighbours exceed MaxVarLen (while
    // there is one, the list has no image). Both count the events in their
    // places, which are all of them once inOrder() has been called.
    uint64_t eventBytes() const { return eventBytes_; }
    uint32_t longDeltas() const { return longDeltas_; }
    // Events waiting for their place.
    size_t waiting() const { return waiting_.size(); }

    EventNodes::allocator_type allocator() const { return nodes_.get_allocator(); }

  private:
    bool findPlaceNearEnds(uint32_t tick, EventPosition& at);
    // A run of waiting events in time order: its next event, how many left.
    struct Run {
        EventPosition next;
        size_t length;
    };

    EventPosition afterLastRelease(EventPosition first, const Event& noteOn);
    std::vector<Run> runsOfWaiting();
    void mergeRuns(std::vector<Run>& runs, EventPosition& cursor);
    void sortWaiting();
    void placeWaiting(EventPosition node, EventPosition& cursor);
    void countInserted(EventPosition inserted);

    EventNodes nodes_;    // in track order
    EventNodes waiting_;  // in insertion order
    uint64_t eventBytes_ = 0;
    uint32_t longDeltas_ = 0;
};

}  // namespace xemidi
