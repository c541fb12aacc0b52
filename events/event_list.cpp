#include "events/event_list.h"

#include <cstring>

namespace xemidi {

int32_t SearchHint = 1;
Event ScratchEvent;

Event::Event(uint32_t at, const uint8_t* data, uint32_t size) : tick(at) {
    bytes.resize(size);
    std::memcpy(bytes.data(), data, size);
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
    // Build the node first: if memory runs out, nothing has changed.
    EventList node;
    node.emplace_back(event.tick, event.bytes.data(), event.bytes.size());
    linkEvents(list, node);
}

namespace {

void stage(uint32_t tick, const uint8_t* bytes, uint32_t size) {
    ScratchEvent.bytes.resize(size);
    std::memcpy(ScratchEvent.bytes.data(), bytes, size);
    ScratchEvent.tick = tick;
}

}  // namespace

void stageAndInsert(EventList& list, uint32_t tick, const uint8_t* bytes, uint32_t size) {
    stage(tick, bytes, size);
    insertEvent(list, ScratchEvent);
}

void stageInto(EventList& nodes, uint32_t tick, const uint8_t* bytes, uint32_t size) {
    stage(tick, bytes, size);
    nodes.emplace_back(ScratchEvent.tick, ScratchEvent.bytes.data(), ScratchEvent.bytes.size());
}

void linkEvents(EventList& list, EventList& nodes) {
    while (!nodes.empty()) {
        list.splice(findPosition(list, nodes.front().tick), nodes, nodes.begin());
    }
}

}  // namespace xemidi
