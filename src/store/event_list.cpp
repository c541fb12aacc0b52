#include "store/event_list.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "format/messages.h"
#include "format/numbers.h"
#include "format/track.h"

namespace xemidi {

void EventList::insertLong(uint32_t tick, const uint8_t* bytes, uint32_t size) {
    insertWritten(tick, size, [&](uint8_t* out) { std::memcpy(out, bytes, size); });
}

void EventList::insertGroup(const Entry* entries, int count) {
    [[maybe_unused]] const Checked checked{*this};
    reserveFor(static_cast<size_t>(count), false);
    for (int i = 0; i < count; ++i) {
        const Entry& e = entries[i];
        place(inlineRecord(e.tick, e.bytes, e.size), Placement::First, false);
    }
}

// The two events lie at different ticks, so which goes in first changes
// nothing: each is placed among the events at its own tick. The note-on
// goes first, where a host writing in time order is, and the note-off
// after it, ahead of it. In time order with room in both runs, that is two
// records stored and nothing counted: the note-off ahead makes the next
// read count afresh.
void EventList::insertNote(uint32_t tick, uint32_t end, const uint8_t* noteOn,
                           const uint8_t* noteOff) {
    [[maybe_unused]] const Checked checked{*this};
    const Record on = inlineRecord(tick, noteOn, 3, Placement::AfterRelease);
    const Record off = inlineRecord(end, noteOff, 3);
    if (waiting_.empty() && !placed_.empty() && placed_.back().tick < tick && tick < end &&
        placed_.spare() != 0 && ahead_.spare() != 0 && hasRoomFor(2)) {
        append(on);
        ahead_.push(off);
        return;
    }
    reserveFor(2, true);
    place(on, Placement::AfterRelease, false);
    place(off, Placement::First, true);
}

// Makes room for count events in every run they may take, so that placing
// them cannot fail. Throws std::bad_alloc with nothing changed (a run may
// have grown, which changes no event).
void EventList::grow(size_t count, bool ahead) {
    if (!waiting_.empty()) {
        waiting_.reserveMore(count);
        return;
    }
    placed_.reserveMore(count);
    if (ahead) ahead_.reserveMore(count);
    if (placed_.size() + count > ShortWalk) waiting_.reserveMore(count);
}

// An event at or before the last placed tick, within a short walk from
// the back, or else it waits.
void EventList::placeFromBack(Record record, Placement placement) {
    if (record.tick == placed_.back().tick) {
        if (!placeAtLastTick(record, placement)) waiting_.push(record);
        return;
    }
    size_t at = 0;
    if (!findPlaceFromBack(record, placement, at)) return waiting_.push(record);
    insertClosed(at, record);
}

// At the last tick, whose events stand in insertion order: a new first
// event goes at the end; a note-on that follows its key's release goes
// before the oldest release of its key there, the last one in track order.
bool EventList::placeAtLastTick(Record record, Placement placement) {
    if (groupStart_ == placed_.size() && !reopenGroup()) return false;
    size_t at = placed_.size();
    if (placement == Placement::AfterRelease) {
        const uint8_t channel = record.data[0] & 0x0F, key = record.data[1];
        for (size_t i = groupStart_; i < placed_.size(); ++i) {
            if (i - groupStart_ == ShortWalk) return false;
            uint32_t size = 0;
            const uint8_t* bytes = bytesOf(placed_[i], size);
            if (releasesKey(bytes, size, channel, key)) {
                at = i;
                break;
            }
        }
    }
    placed_.insert(at, record);
    return true;
}

// Where an event before the last placed tick goes, within a short walk
// from the back: before the events at its tick, or directly after the last
// release of its key among them. False when the walk would be long.
bool EventList::findPlaceFromBack(const Record& record, Placement placement, size_t& at) const {
    const uint32_t tick = record.tick;
    at = groupStart_;
    size_t steps = placed_.size() - at;  // the events at the last tick
    if (steps > ShortWalk) return false;
    for (; at > 0 && placed_[at - 1].tick >= tick; --at) {
        if (++steps > ShortWalk) return false;
    }
    if (placement != Placement::AfterRelease) return true;
    const uint8_t channel = record.data[0] & 0x0F, key = record.data[1];
    for (size_t i = at; i < groupStart_ && placed_[i].tick == tick; ++i) {
        uint32_t size = 0;
        const uint8_t* bytes = bytesOf(placed_[i], size);
        if (releasesKey(bytes, size, channel, key)) at = i + 1;
    }
    return true;
}

// Puts the events at the last tick in track order and counts them.
void EventList::closeGroup() {
    const size_t end = placed_.size();
    if (end - groupStart_ > 1) std::reverse(placed_.begin() + groupStart_, placed_.end());
    if (counting()) {
        for (size_t i = groupStart_; i < end; ++i)
            add(stepOf(placed_[i], i == 0 ? nullptr : &placed_[i - 1]));
    }
    groupStart_ = end;
}

// Takes the events at the last tick, in track order after a read, back
// into insertion order, and out of the counts; false when they are more
// than a short walk.
bool EventList::reopenGroup() {
    const uint32_t tick = placed_.back().tick;
    size_t start = placed_.size();
    while (start > 0 && placed_[start - 1].tick == tick) {
        if (placed_.size() - start == ShortWalk) return false;
        --start;
    }
    if (counting()) {
        for (size_t i = start; i < placed_.size(); ++i)
            subtract(stepOf(placed_[i], i == 0 ? nullptr : &placed_[i - 1]));
    }
    std::reverse(placed_.begin() + start, placed_.end());
    groupStart_ = start;
    return true;
}

// Before the events at the last tick: only the new event and the one after
// it change what they take, and only a counted one after it counts.
void EventList::insertClosed(size_t at, Record record) {
    if (counting()) {
        const Record* previous = at == 0 ? nullptr : &placed_[at - 1];
        add(stepOf(record, previous));
        if (at < groupStart_) {
            const Record& next = placed_[at];
            subtract(stepOf(next, previous));
            add(stepOf(next, &record));
        }
    }
    placed_.insert(at, record);
    ++groupStart_;
}

EventList::Step EventList::countTo(size_t end) const {
    TrackCounter counter;
    size_t longDeltas = 0;
    uint32_t previousTick = 0;
    uint8_t remembered = 0;
    for (size_t i = 0; i < end; ++i) {
        const Record& record = placed_[i];
        uint32_t size = 0;
        const uint8_t* bytes = bytesOf(record, size);
        const uint32_t delta = record.tick - previousTick;
        longDeltas += delta > MaxVarLen ? 1 : 0;
        encodeTrackEvent(counter, delta, bytes, size, remembered);
        remembered = bytes[0];
        previousTick = record.tick;
    }
    return {counter.total, longDeltas};
}

void EventList::recount() {
    const Step all = countTo(placed_.size());
    eventBytes_ = all.bytes;
    longDeltas_ = all.longDelta;
}

// The channel and key (channel * 128 + key) that a record releases, or -1.
int EventList::releasedKey(const Record& record) const {
    uint32_t size = 0;
    const uint8_t* bytes = bytesOf(record, size);
    if (size < 3) return -1;
    const uint8_t channel = bytes[0] & 0x0F, key = bytes[1];
    return releasesKey(bytes, size, channel, key) ? channel * 128 + key : -1;
}

const RecordArray& EventList::inOrder() {
    [[maybe_unused]] const Checked checked{*this};
    closeGroup();
    if (counting()) return placed_;
    if (!ahead_.empty()) mergeAhead();
    groupStart_ = placed_.size();
    if (!waiting_.empty()) mergeWaiting();
    groupStart_ = placed_.size();
    recount();
    return placed_;
}

void EventList::finishRuns(const size_t* runEnds, size_t runs) {
    const auto byTick = [](const Record& a, const Record& b) { return a.tick < b.tick; };
    if (runs > 1) {
        // Neighbouring runs merged pairwise, the earlier one first at a
        // tick, until one is left: log2(runs) passes over the records.
        std::vector<size_t> ends(runEnds, runEnds + runs);
        RecordArray spare;
        spare.reallocate(placed_.size());
        while (ends.size() > 1) {
            size_t start = 0, kept = 0;
            for (size_t i = 0; i < ends.size(); i += 2) {
                const size_t middle = ends[i], end = i + 1 < ends.size() ? ends[i + 1] : middle;
                std::merge(placed_.begin() + start, placed_.begin() + middle,
                           placed_.begin() + middle, placed_.begin() + end, spare.begin() + start,
                           byTick);
                ends[kept++] = start = end;
            }
            ends.resize(kept);
            spare.setSize(placed_.size());
            placed_.swap(spare);
        }
    }
    if (placed_.empty()) {
        placed_.releaseIfEmpty(0);
    } else if (placed_.spare() > placed_.size() / 2) {
        placed_.reallocate(placed_.size());
    }
    groupStart_ = placed_.size();
    if (runs > 1) recount();
    afterOperation();  // not on a failure: the list is then only freed
}

void EventList::copyFrom(EventList& source) {
    [[maybe_unused]] const Checked checked{*this};
    const RecordArray& records = source.inOrder();
    if (records.size() > limit_) throw std::bad_alloc();
    RecordArray copy;
    if (!records.empty()) {
        copy.reallocate(records.size());
        std::memcpy(copy.begin(), records.begin(), records.size() * sizeof(Record));
        copy.setSize(records.size());
    }
    longs_.copyFrom(source.longs_);
    placed_.swap(copy);
    groupStart_ = placed_.size();
    eventBytes_ = source.eventBytes_;
    longDeltas_ = source.longDeltas_;
}

}  // namespace xemidi
