#include "events/event_list.h"

#include "writer/track_format.h"

namespace xemidi {

int32_t SearchHint = 1;
Event ScratchEvent;

Event::Event(uint32_t at, const ByteBuffer& from) : tick(at) {
    bytes.assign(from);
}

namespace {

using Position = EventList::iterator;

// Walks from the back over larger ticks (counted) and then over equal ticks
// (not counted), so a new event at the last tick passes only that tick.
Position walkBackward(EventList& list, uint32_t tick, uint32_t& steps) {
    Position cursor = list.end();
    while (cursor != list.begin()) {
        Position before = std::prev(cursor);
        if (before->tick < tick) break;
        if (before->tick == tick) {
            cursor = before;
            while (cursor != list.begin() && std::prev(cursor)->tick >= tick) --cursor;
            break;
        }
        cursor = before;
        ++steps;
    }
    return cursor;
}

Position walkForward(EventList& list, uint32_t tick, uint32_t& steps) {
    Position cursor = list.begin();
    while (cursor != list.end() && cursor->tick < tick) {
        ++cursor;
        ++steps;
    }
    return cursor;
}

// The first event whose tick is >= tick, or end(). Appends and prepends are
// decided from the two ends alone; otherwise the walk starts where
// SearchHint says and a walk over more than half the list flips the hint.
Position findPosition(EventList& list, uint32_t tick) {
    if (list.empty()) return list.end();
    if (list.back().tick < tick) {
        SearchHint = 1;
        return list.end();
    }
    if (tick <= list.front().tick) {
        SearchHint = 0;
        return list.begin();
    }
    if (list.back().tick == tick) SearchHint = 1;
    const uint32_t half = static_cast<uint32_t>(list.size()) >> 1;
    uint32_t steps = 0;
    if (SearchHint == 1) {
        Position found = walkBackward(list, tick, steps);
        if (steps > half) SearchHint = 0;
        return found;
    }
    Position found = walkForward(list, tick, steps);
    if (steps > half) SearchHint = 1;
    return found;
}

}  // namespace

void insertEvent(EventList& list, const Event& event) {
    const int32_t hint = SearchHint;
    const Position position = findPosition(list, event.tick);
    try {
        // The node is linked only once it is complete: if memory runs out,
        // the list is as it was.
        list.countInserted(list.emplace(position, event.tick, event.bytes));
    } catch (...) {
        SearchHint = hint;
        throw;
    }
}

namespace {

void stage(uint32_t tick, const uint8_t* bytes, uint32_t size) {
    ScratchEvent.bytes.assign(bytes, size);
    ScratchEvent.tick = tick;
}

}  // namespace

void stageAndInsert(EventList& list, uint32_t tick, const uint8_t* bytes, uint32_t size) {
    stage(tick, bytes, size);
    insertEvent(list, ScratchEvent);
}

void stageInto(EventNodes& nodes, uint32_t tick, const uint8_t* bytes, uint32_t size) {
    stage(tick, bytes, size);
    nodes.emplace_back(ScratchEvent.tick, ScratchEvent.bytes);
}

namespace {

// Whether a stored channel message releases key on channel.
bool releases(const Event& event, uint8_t channel, uint8_t key) {
    const uint8_t* bytes = event.bytes.data();
    const uint8_t status = bytes[0];
    if ((status & 0x0F) != channel || event.bytes.size() < 3 || bytes[1] != key) return false;
    return (status & 0xF0) == 0x80 || ((status & 0xF0) == 0x90 && bytes[2] == 0);
}

// After the last release of the note-on's key among the events at its tick,
// which begin at first; first itself when there is none.
Position afterLastRelease(EventList& list, Position first, const Event& noteOn) {
    const uint8_t channel = noteOn.bytes.front() & 0x0F, key = noteOn.bytes.data()[1];
    Position position = first;
    for (Position at = first; at != list.end() && at->tick == noteOn.tick; ++at) {
        if (releases(*at, channel, key)) position = std::next(at);
    }
    return position;
}

}  // namespace

void linkFirstOf(EventNodes& nodes, EventList& list, Placement placement) {
    const Position node = nodes.begin();
    Position position = findPosition(list, node->tick);
    if (placement == Placement::AfterRelease) position = afterLastRelease(list, position, *node);
    list.splice(position, nodes, node);
    list.countInserted(node);
}

namespace {

// What event takes in the track after previous (nullptr: it comes first).
struct TrackStep {
    uint32_t bytes;
    uint32_t longDelta;  // 1 when the delta time has no variable-length form
};

inline TrackStep stepOf(const Event& event, const Event* previous) {
    const uint32_t delta = event.tick - (previous != nullptr ? previous->tick : 0);
    const uint8_t remembered = previous != nullptr ? previous->bytes.front() : 0;
    const uint32_t omitted = omitsStatus(event.bytes.front(), remembered) ? 1 : 0;
    return {varLenSize(delta) + event.bytes.size() - omitted, delta > MaxVarLen ? 1u : 0u};
}

}  // namespace

void EventList::countInserted(const_iterator inserted) {
    const Event* previous = inserted == begin() ? nullptr : &*std::prev(inserted);
    const TrackStep step = stepOf(*inserted, previous);
    eventBytes_ += step.bytes;
    longDeltas_ += step.longDelta;
    const const_iterator next = std::next(inserted);
    if (next == end()) return;
    const TrackStep before = stepOf(*next, previous), after = stepOf(*next, &*inserted);
    eventBytes_ = eventBytes_ - before.bytes + after.bytes;
    longDeltas_ = longDeltas_ - before.longDelta + after.longDelta;
}

}  // namespace xemidi
