// An object's events, kept in the order they are written to the track:
// ascending tick, and among events at one tick the one inserted last first
// (a note's note-on excepted, see Placement).
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

#include "format/numbers.h"
#include "format/track.h"
#include "store/long_events.h"
#include "store/record.h"
#include "store/record_array.h"

namespace xemidi {

// The events live as packed records (record.h) in three runs:
//
//   placed   the events in their places, in track order: what the image is
//            written from. An event after, at or near its end (time order, a
//            chord at the last tick) goes straight in. The events at the
//            last tick stand in insertion order, the reverse of track order,
//            while it is the last: each new one is then a record added at
//            the end, and they are turned round once, when a later tick
//            comes or the list is read.
//   ahead    the note-offs of notes written at their start, which lie after
//            every placed event when they come, in insertion order. Each is
//            older than every event placed at its tick later on, so that
//            the next read sorts them and merges them in behind those.
//   waiting  every other event (far from the end, or at a tick holding many
//            events), with every event inserted after it, in insertion
//            order, until the list is next read: they are then sorted by
//            tick and merged into placed in one pass, each where it would
//            have gone at its insertion.
//
// A host that inserts in any order thus pays for one sort, not for a search
// per event, and a host writing notes in time order for one sort of its
// note-offs. While nothing is ahead or waiting, the list also keeps what its
// events take in the track chunk, brought up to date as each is placed, so
// that the size of the file image is known without a walk; a read that
// merges counts it afresh.
class EventList {
  public:
    // A list of at most limit events (MaxEvents; a test may set fewer).
    explicit EventList(uint32_t limit = MaxEvents) : limit_(limit) {}
    EventList(const EventList&) = delete;
    EventList& operator=(const EventList&) = delete;

    // One event of a group (insertGroup), of 2 or 3 bytes.
    struct Entry {
        uint32_t tick;
        const uint8_t* bytes;
        uint32_t size;
    };

    // Every insertion throws std::bad_alloc with the list as it was when
    // memory runs out, and as well when the list would hold more than its
    // limit of events.

    // Inserts an event at tick holding a copy of size bytes (at least 2, the
    // first a status byte), before the events already at its tick. On
    // std::bad_alloc the list is as it was.
    void insert(uint32_t tick, const uint8_t* bytes, uint32_t size) {
        [[maybe_unused]] const Checked checked{*this};
        if (size > Record::MaxInline) return insertLong(tick, bytes, size);
        reserveFor(1, false);
        place(inlineRecord(tick, bytes, size), Placement::First, false);
    }
    // Inserts an event at tick of size bytes (at least 2), which
    // write(uint8_t* out) writes: a long event's bytes are written once,
    // where they are kept. On std::bad_alloc the list is as it was.
    template <class Write>
    void insertWritten(uint32_t tick, uint32_t size, Write write);
    // Inserts the entries in order, all or none: on std::bad_alloc the list
    // is as it was.
    void insertGroup(const Entry* entries, int count);
    // Inserts a note's note-off (3 bytes) at end and then its note-on (3
    // bytes) at tick, end != tick, the note-on placed after its key's release
    // (Placement::AfterRelease); both or neither.
    void insertNote(uint32_t tick, uint32_t end, const uint8_t* noteOn, const uint8_t* noteOff);

    // The events in track order, once every event has its place. Throws
    // std::bad_alloc with nothing changed.
    const RecordArray& inOrder();
    // The stored bytes of one of this list's records (status byte first),
    // and their count.
    const uint8_t* bytesOf(const Record& record, uint32_t& size) const {
        if (record.isInline()) {
            size = record.inlineSize();
            return record.data;
        }
        size = longs_.size(record.longIndex());
        return longs_.bytes(record.longIndex());
    }

    // Makes this empty list a copy of source, in the same order: the records
    // copied as one block, each long event's bytes once. On std::bad_alloc
    // this list is left empty.
    void copyFrom(EventList& source);

    // Building an empty list in bulk from events already in order, a run at
    // a time (a file's tracks): each run's ticks never decrease. Nothing is
    // placed by the insertion rule: finishRuns() merges the runs by tick,
    // stably, so that at a shared tick an earlier run's events come first
    // and each run keeps its own order; until then the list is not read.
    // What the events take in the track is counted as they come, which is
    // right for the first run alone; several runs are counted once merged.
    // Room for count more events, as many as the limit leaves; throws
    // std::bad_alloc with nothing changed, and when the list is at its limit.
    void reserveRun(size_t count) {
        const size_t left = limit_ - eventCount();
        if (left == 0) throw std::bad_alloc();  // as if memory ran out
        placed_.reserveMore(count < left ? count : left);
    }
    size_t runRoom() const { return placed_.spare(); }
    // Appends an event of 2 or 3 bytes (the first a status byte) to the
    // current run, into reserved room.
    void appendToRun(uint32_t tick, const uint8_t* bytes, uint32_t size) {
        countInRun(tick, bytes[0], size);
        placed_.push(inlineRecord(tick, bytes, size));
    }
    // Appends an event of more than 3 bytes, adopting its block, into
    // reserved room. Throws std::bad_alloc, the block still the caller's.
    void appendToRun(uint32_t tick, LongBlock& block) {
        const uint8_t first = block.bytes()[0];
        const uint32_t size = block.size();
        placed_.push(longRecord(tick, longs_.adopt(block)));
        countInRun(tick, first, size);
    }
    // Events appended so far, the end of the current run.
    size_t appended() const { return placed_.size(); }
    // Merges the runs that end at runEnds[0..runs) (the last at appended())
    // and counts them afresh when there are several; spare room beyond a
    // half of the events is given back. Throws std::bad_alloc, the list
    // then fit only to be freed. The list keeps its invariants again from
    // here on, and this is where they are checked (the appends are not).
    void finishRuns(const size_t* runEnds, size_t runs);

    // Bytes of the events in the track, delta times included and running
    // status applied (without the track's length field and end of track),
    // and how many delta times between neighbours exceed MaxVarLen (while
    // there is one, the list has no image). Both are up to date once
    // inOrder() has been called.
    uint64_t eventBytes() const { return eventBytes_; }
    size_t longDeltas() const { return longDeltas_; }

    // How many events the list holds, at most its limit.
    size_t eventCount() const { return placed_.size() + ahead_.size() + waiting_.size(); }
    size_t waiting() const { return waiting_.size(); }
    size_t ahead() const { return ahead_.size(); }
    // Whether one more event would be stored without taking memory.
    bool hasSpare() const { return !needsMemory(1, false); }

  private:
    // Events a search walks from the back of the placed run before the new
    // event waits for the next merge instead: an event at or near the last
    // tick (a chord, a controller just behind) is placed at once, and no
    // insertion moves more than this many records.
    static constexpr size_t ShortWalk = 128;

    struct Step {
        uint64_t bytes;
        size_t longDelta;  // 1 when the delta time has no variable-length form
    };

    // Every public operation opens with one: where invariants are checked
    // (XEMIDI_CHECK_INVARIANTS), it looks at them as the operation ends,
    // failed or not; elsewhere it does nothing.
    struct Checked {
        const EventList& list;
        ~Checked() { list.afterOperation(); }
    };

    bool needsMemory(size_t count, bool ahead) const {
        if (!waiting_.empty()) return waiting_.spare() < count;  // everything waits
        if (placed_.spare() < count || (ahead && ahead_.spare() < count)) return true;
        // An event can wait only after a walk of more than ShortWalk records.
        return placed_.size() + count > ShortWalk && waiting_.spare() < count;
    }
    bool hasRoomFor(size_t count) const { return limit_ - eventCount() >= count; }
    // Room for count more events, or std::bad_alloc with nothing changed.
    void reserveFor(size_t count, bool ahead) {
        if (!hasRoomFor(count)) throw std::bad_alloc();  // as if memory ran out
        if (needsMemory(count, ahead)) grow(count, ahead);
    }
    void grow(size_t count, bool ahead);
    void insertLong(uint32_t tick, const uint8_t* bytes, uint32_t size);
    void place(Record record, Placement placement, bool ahead);
    void placeFromBack(Record record, Placement placement);
    bool placeAtLastTick(Record record, Placement placement);
    bool findPlaceFromBack(const Record& record, Placement placement, size_t& at) const;
    bool counting() const { return ahead_.empty() && waiting_.empty(); }
    void append(Record record);
    void closeGroup();
    bool reopenGroup();
    void insertClosed(size_t at, Record record);
    // What record takes in the track after previous (nullptr: it comes first).
    Step stepOf(const Record& record, const Record* previous) const {
        uint32_t size = 0, previousSize = 0;
        const uint8_t* bytes = bytesOf(record, size);
        const uint32_t delta = record.tick - (previous != nullptr ? previous->tick : 0);
        const uint8_t remembered = previous != nullptr ? bytesOf(*previous, previousSize)[0] : 0;
        TrackCounter counter;
        encodeTrackEvent(counter, delta, bytes, size, remembered);
        return {counter.total, delta > MaxVarLen ? 1u : 0u};
    }
    // What an appended event takes after the one appended before it.
    void countInRun(uint32_t tick, uint8_t first, uint32_t size) {
        const uint32_t delta = tick - runTick_;
        eventBytes_ += varLenSize(delta) + size - (omitsStatus(first, runStatus_) ? 1 : 0);
        longDeltas_ += delta > MaxVarLen ? 1 : 0;
        runTick_ = tick;
        runStatus_ = first;
    }
    void add(const Step& step) {
        eventBytes_ += step.bytes;
        longDeltas_ += step.longDelta;
    }
    void subtract(const Step& step) {
        eventBytes_ -= step.bytes;
        longDeltas_ -= step.longDelta;
    }
    // What placed_[0, end) takes in the track.
    Step countTo(size_t end) const;
    void recount();
    int releasedKey(const Record& record) const;

    // The merges (event_merge.cpp).
    class Groups;
    void mergeAhead();
    void mergeAheadSorted(RecordArray& merged) const;
    Record* mergeAheadGroup(Record* out, const Record* placed, size_t placedCount,
                            const Record* ahead, size_t aheadCount, Groups& groups) const;
    void mergeWaiting();
    Record* mergeGroup(Record* out, const Record* placed, size_t placedCount, const Record* waiting,
                       size_t waitingCount, Groups& groups) const;

    RecordArray placed_;     // in track order, but for the events at the last tick
    size_t groupStart_ = 0;  // where those begin: placed_'s size when they are in order
    RecordArray ahead_;      // in insertion order
    RecordArray waiting_;    // in insertion order
    LongEvents longs_;
    uint64_t eventBytes_ = 0;
    size_t longDeltas_ = 0;
    uint32_t limit_;
    uint32_t runTick_ = 0;  // the last appended event's tick and first byte
    uint8_t runStatus_ = 0;

#ifdef XEMIDI_CHECK_INVARIANTS
  public:
    // Aborts, naming what is broken, when the list breaks a promise of its
    // own (invariants.cpp). Built only for the tests, the sanitizers and
    // the fuzzer, where every operation ends with it.
    void checkInvariants() const noexcept;
    // The tests break a list through it on purpose, to see each check fire.
    friend struct Tampering;

  private:
    void afterOperation() const noexcept;
    void checkBounds() const noexcept;
    mutable size_t uncheckedOperations_ = 0;  // since the last full check
#else
    void afterOperation() const noexcept {}
#endif
};

// Places one event; the room is reserved. Inline: time order and notes
// pass here once per event.
inline void EventList::place(Record record, Placement placement, bool ahead) {
    if (!waiting_.empty()) return waiting_.push(record);
    if (placed_.empty() || placed_.back().tick < record.tick) {
        if (ahead && !placed_.empty()) return ahead_.push(record);
        return append(record);
    }
    placeFromBack(record, placement);
}

// At a tick after every placed event: the events at the last tick are put
// in track order first (and counted), unless there is one alone. A placed
// note-on keeps its mark of following its key's release until the merge of
// the events ahead, which may hold an older release at its tick.
inline void EventList::append(Record record) {
    const size_t n = placed_.size();
    if (n - groupStart_ > 1) {
        closeGroup();
    } else if (n != groupStart_ && counting()) {
        add(stepOf(placed_[n - 1], n > 1 ? &placed_[n - 2] : nullptr));
    }
    groupStart_ = n;
    placed_.push(record);
}

template <class Write>
void EventList::insertWritten(uint32_t tick, uint32_t size, Write write) {
    [[maybe_unused]] const Checked checked{*this};
    if (size <= Record::MaxInline) {
        uint8_t bytes[Record::MaxInline] = {};
        write(bytes);
        reserveFor(1, false);
        place(inlineRecord(tick, bytes, size), Placement::First, false);
        return;
    }
    LongBlock block(size);
    write(block.bytes());
    reserveFor(1, false);
    const uint32_t index = longs_.adopt(block);
    place(longRecord(tick, index), Placement::First, false);
}

}  // namespace xemidi
