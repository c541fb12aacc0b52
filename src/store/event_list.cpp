#include "store/event_list.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "format/messages.h"
#include "format/numbers.h"
#include "format/track.h"

namespace xemidi {

EventList::EventList(EventNodePool& pool)
    : nodes_(EventNodes::allocator_type(&pool)), waiting_(EventNodes::allocator_type(&pool)) {}

namespace {

// Events a search walks from the back before the new event waits for the
// next merge instead: an event at or near the last tick (a chord, a
// note-off just ahead) is placed at once.
constexpr uint32_t ShortWalk = 128;

// How far ahead a sort fetches the events it is about to move.
constexpr size_t Ahead = 16;

// Runs in time order that waiting events may form and still be merged run
// by run: reading a few runs side by side reads memory forwards.
constexpr size_t FewRuns = 64;

struct Keyed {
    uint32_t tick;
    EventPosition node;
};

// Sorts by tick, keeping the order of equal ticks: a radix sort, one pass
// per byte of the ticks that is not the same in all of them.
void sortByTick(std::vector<Keyed>& items) {
    const auto earlier = [](const Keyed& a, const Keyed& b) { return a.tick < b.tick; };
    if (std::is_sorted(items.begin(), items.end(), earlier)) return;
    std::vector<Keyed> spare(items.size());
    for (uint32_t shift = 0; shift < 32; shift += 8) {
        size_t start[256] = {};
        for (const Keyed& item : items) ++start[(item.tick >> shift) & 0xFF];
        if (std::find(start, start + 256, items.size()) != start + 256) continue;
        size_t total = 0;
        for (size_t& count : start) total += std::exchange(count, total);
        for (const Keyed& item : items) spare[start[(item.tick >> shift) & 0xFF]++] = item;
        items.swap(spare);
    }
}

}  // namespace

// Where a new event at tick goes before the events already there: at an
// end of the list, or within a short walk from the back; false when the
// event must wait (the walk would be long, or events already wait).
bool EventList::findPlaceNearEnds(uint32_t tick, EventPosition& at) {
    if (!waiting_.empty()) return false;
    if (nodes_.empty() || nodes_.back().tick < tick) {
        at = nodes_.end();
    } else if (tick <= nodes_.front().tick) {
        at = nodes_.begin();
    } else {
        at = nodes_.end();
        for (uint32_t steps = 0; std::prev(at)->tick >= tick; ++steps) {
            if (steps == ShortWalk) return false;
            --at;
        }
    }
    return true;
}

// Past the events at the note-on's tick, from first, up to the last release
// of its channel and key; first itself when there is none.
EventPosition EventList::afterLastRelease(EventPosition first, const Event& noteOn) {
    const uint8_t channel = noteOn.bytes.front() & 0x0F, key = noteOn.bytes.data()[1];
    EventPosition position = first;
    for (EventPosition at = first; at != nodes_.end() && at->tick == noteOn.tick; ++at) {
        if (releasesKey(at->bytes.data(), at->bytes.size(), channel, key)) position = std::next(at);
    }
    return position;
}

// A node is linked only once it is complete: if memory runs out, the list
// is as it was.
void EventList::insert(uint32_t tick, const uint8_t* bytes, uint32_t size) {
    EventPosition at;
    if (findPlaceNearEnds(tick, at)) {
        countInserted(nodes_.emplace(at, tick, bytes, size));
    } else {
        waiting_.emplace_back(tick, bytes, size);
    }
}

void EventList::moveIn(EventNodes& group, Placement placement) {
    const EventPosition node = group.begin();
    node->placement = placement;
    EventPosition at;
    if (findPlaceNearEnds(node->tick, at)) {
        if (placement == Placement::AfterRelease) at = afterLastRelease(at, *node);
        nodes_.splice(at, group, node);
        countInserted(node);
    } else {
        waiting_.splice(waiting_.end(), group, node);
    }
}

const EventNodes& EventList::inOrder() {
    if (waiting_.empty()) return nodes_;
    // One pass over the list, taking the waiting events in tick order, of
    // equal ticks in insertion order: each goes where it would have gone at
    // its insertion.
    EventPosition cursor = nodes_.begin();
    std::vector<Run> runs = runsOfWaiting();
    if (!runs.empty()) {
        mergeRuns(runs, cursor);
    } else {
        sortWaiting();
        while (!waiting_.empty()) placeWaiting(waiting_.begin(), cursor);
    }
    return nodes_;
}

// The runs in time order that the waiting events form (parts written one
// after another, say), when there are at most FewRuns of them.
std::vector<EventList::Run> EventList::runsOfWaiting() {
    std::vector<Run> runs;
    runs.reserve(FewRuns);
    for (EventPosition node = waiting_.begin(); node != waiting_.end(); ++node) {
        if (runs.empty() || node->tick < std::prev(node)->tick) {
            if (runs.size() == FewRuns) return {};
            runs.push_back({node, 0});
        }
        ++runs.back().length;
    }
    return runs;
}

// Takes the runs' events in order by merging them: the next event is the
// earliest of the runs' next ones, of equal ticks the one of the earliest
// run, which was inserted first. A tournament over the runs finds it: each
// inner entry holds the smaller of its two below, a leaf its run's next
// event as tick and run, or Done when the run is used up.
void EventList::mergeRuns(std::vector<Run>& runs, EventPosition& cursor) {
    constexpr uint64_t Done = UINT64_MAX;
    const auto keyOf = [&](uint32_t r) { return uint64_t{runs[r].next->tick} << 32 | r; };
    size_t width = 1;
    while (width < runs.size()) width *= 2;
    std::vector<uint64_t> tree(2 * width, Done);
    for (uint32_t r = 0; r < runs.size(); ++r) tree[width + r] = keyOf(r);
    for (size_t i = width - 1; i > 0; --i) tree[i] = std::min(tree[2 * i], tree[2 * i + 1]);
    while (tree[1] != Done) {
        const auto r = static_cast<uint32_t>(tree[1]);
        const EventPosition node = runs[r].next;
        size_t i = width + r;
        if (--runs[r].length != 0) {
            runs[r].next = std::next(node);
            tree[i] = keyOf(r);
        } else {
            tree[i] = Done;
        }
        for (i /= 2; i > 0; i /= 2) tree[i] = std::min(tree[2 * i], tree[2 * i + 1]);
        placeWaiting(node, cursor);
    }
}

// Links a waiting event in. cursor is the first listed event at or after
// the tick of the event linked before, whose tick is not larger.
void EventList::placeWaiting(EventPosition node, EventPosition& cursor) {
    while (cursor != nodes_.end() && cursor->tick < node->tick) ++cursor;
    const EventPosition at =
        node->placement == Placement::AfterRelease ? afterLastRelease(cursor, *node) : cursor;
    nodes_.splice(at, waiting_, node);
    if (at == cursor) cursor = node;
    countInserted(node);
}

// Puts the waiting events in tick order, equal ticks in insertion order.
// The events move, not the nodes: the nodes keep their order, which is
// that of their memory, so that the merge and every later walk of the list
// read memory forwards instead of all over it.
void EventList::sortWaiting() {
    std::vector<Keyed> order;
    order.reserve(waiting_.size());
    for (EventPosition node = waiting_.begin(); node != waiting_.end(); ++node) {
        order.push_back({node->tick, node});
    }
    sortByTick(order);
    std::vector<Event> sorted(order.size());
    for (size_t i = 0; i < order.size(); ++i) {
        if (i + Ahead < order.size()) __builtin_prefetch(&*order[i + Ahead].node);
        sorted[i].swap(*order[i].node);
    }
    auto next = sorted.begin();
    for (Event& event : waiting_) event.swap(*next++);
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

// Only the new event and the one after it change what they take.
void EventList::countInserted(EventPosition inserted) {
    const Event* previous = inserted == nodes_.begin() ? nullptr : &*std::prev(inserted);
    const TrackStep step = stepOf(*inserted, previous);
    eventBytes_ += step.bytes;
    longDeltas_ += step.longDelta;
    const EventPosition next = std::next(inserted);
    if (next == nodes_.end()) return;
    const TrackStep before = stepOf(*next, previous), after = stepOf(*next, &*inserted);
    eventBytes_ = eventBytes_ - before.bytes + after.bytes;
    longDeltas_ = longDeltas_ - before.longDelta + after.longDelta;
}

}  // namespace xemidi
