// The merges of the events ahead and of the waiting events into the placed
// ones, at the first read after they came: the only place that knows both
// orders. Each builds the merged run in a new block, so that running out of
// memory leaves the list as it was (only the run merged in may be left
// sorted, with the insertion order kept at every tick, all that a merge
// reads).
#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "store/event_list.h"
#include "store/tick_sort.h"

namespace xemidi {

namespace {

// A run of waiting events keeps its block for the next ones when it is
// this small, and gives it back when it is larger.
constexpr size_t KeptWaitingRoom = 64;

constexpr uint32_t None = UINT32_MAX;

}  // namespace

// The working memory of the ticks where a note-on that follows its key's
// release may follow one merged in. The events that may be followed are
// numbered; for each channel and key the table knows the release that such
// a note-on follows (the anchor), and each anchor the note-ons that follow
// it, newest first.
class EventList::Groups {
  public:
    void start(size_t events, size_t waitingEvents) {
        if (table_ == nullptr) table_ = std::make_unique<Anchor[]>(16 * 128);
        if (++group_ == 0) {  // the stamps wrapped: forget them all
            for (size_t i = 0; i < 16 * 128; ++i) table_[i].group = 0;
            group_ = 1;
        }
        followers_.assign(events, None);
        last_.resize(events);
        next_.resize(waitingEvents);
        first_.clear();
    }
    bool hasAnchor(int key) const { return table_[slot(key)].group == group_; }
    uint32_t anchor(int key) const { return table_[slot(key)].event; }
    void setAnchor(int key, uint32_t event) { table_[slot(key)] = {group_, event}; }
    // Waiting event w (numbered event) follows the anchor, directly.
    void follow(uint32_t anchor, uint32_t w, uint32_t event) {
        next_[w] = followers_[anchor];
        followers_[anchor] = event;
    }
    // Placed event p follows the anchor, after those that followed it before.
    void followLast(uint32_t anchor, uint32_t p) {
        next_[p] = None;
        (followers_[anchor] == None ? followers_[anchor] : next_[last_[anchor]]) = p;
        last_[anchor] = p;
    }
    uint32_t followers(uint32_t event) const { return followers_[event]; }
    uint32_t next(size_t w) const { return next_[w]; }
    // Waiting events that go before the placed ones, in insertion order.
    std::vector<uint32_t>& first() { return first_; }

  private:
    static size_t slot(int key) { return static_cast<size_t>(key); }
    struct Anchor {
        uint32_t group;
        uint32_t event;
    };
    std::unique_ptr<Anchor[]> table_;
    uint32_t group_ = 0;
    std::vector<uint32_t> followers_, last_, next_, first_;
};

// The events ahead are older than the placed events at their tick: they go
// after them, newest first among themselves, as the sort leaves them. Only
// a note-on that follows its key's release, at a tick where events ahead
// lie, needs a look at the whole tick.
void EventList::mergeAhead() {
    const size_t placedCount = placed_.size(), aheadCount = ahead_.size();
    RecordArray merged;
    merged.reallocate(placedCount + aheadCount);
    // The merged run's last records are the sort's working space until the
    // merge writes them.
    sortByTick(ahead_.begin(), merged.begin() + placedCount, aheadCount, Ties::NewestFirst);
    try {
        mergeAheadSorted(merged);
    } catch (...) {
        // The merge of a tick ran out of memory: the run ahead is sorted,
        // the newest first at each tick, and the next sort would reverse its
        // ties again. Each tick's events go back to insertion order.
        for (Record *r = ahead_.begin(), *end = ahead_.end(); r != end;) {
            Record* tickEnd = r + 1;
            while (tickEnd != end && tickEnd->tick == r->tick) ++tickEnd;
            std::reverse(r, tickEnd);
            r = tickEnd;
        }
        throw;
    }
    placed_.swap(merged);
    ahead_.clear();
    ahead_.releaseIfEmpty(KeptWaitingRoom);
}

// Merges the sorted run ahead and the placed run into merged, which has
// room for both.
void EventList::mergeAheadSorted(RecordArray& merged) const {
    const size_t placedCount = placed_.size(), aheadCount = ahead_.size();
    Groups groups;
    const Record* p = placed_.begin();
    const Record* a = ahead_.begin();
    Record* out = merged.begin();
    size_t i = 0, j = 0;
    while (i < placedCount && j < aheadCount) {
        const Record next = p[i], early = a[j];
        if (early.tick == next.tick && next.waitsAfterRelease()) {
            size_t iEnd = i + 1, jEnd = j + 1;
            while (iEnd < placedCount && p[iEnd].tick == next.tick) ++iEnd;
            while (jEnd < aheadCount && a[jEnd].tick == next.tick) ++jEnd;
            out = mergeAheadGroup(out, p + i, iEnd - i, a + j, jEnd - j, groups);
            i = iEnd;
            j = jEnd;
            continue;
        }
        // Which run the next record comes from is hard to foresee: it is
        // chosen without a branch.
        const bool fromAhead = early.tick < next.tick;
        const Record both[2] = {placed(next), early};
        *out++ = both[fromAhead];
        j += fromAhead;
        i += !fromAhead;
    }
    while (i < placedCount) *out++ = placed(p[i++]);
    while (j < aheadCount) *out++ = a[j++];
    merged.setSize(placedCount + aheadCount);
}

// The rest of one tick's events, placed and ahead (newest first), from the
// first placed note-on that follows its key's release; the placed events
// before it stand first, where they are. All that is ahead is older, so the
// last release of a key at the tick is the oldest one ahead when there is
// one ahead: a placed note-on of that key goes directly after it (with the
// other such note-ons, newest first, as they stand). Every other placed
// event stands before the events ahead.
Record* EventList::mergeAheadGroup(Record* out, const Record* p, size_t placedCount,
                                   const Record* a, size_t aheadCount, Groups& groups) const {
    groups.start(aheadCount, placedCount);
    for (size_t k = 0; k < aheadCount; ++k) {  // the oldest release of each key last
        const int key = releasedKey(a[k]);
        if (key >= 0) groups.setAnchor(key, static_cast<uint32_t>(k));
    }
    for (size_t q = 0; q < placedCount; ++q) {
        if (p[q].waitsAfterRelease()) {
            const int key = (p[q].data[0] & 0x0F) * 128 + p[q].data[1];
            if (groups.hasAnchor(key)) {
                groups.followLast(groups.anchor(key), static_cast<uint32_t>(q));
                continue;
            }
        }
        *out++ = placed(p[q]);
    }
    for (size_t k = 0; k < aheadCount; ++k) {
        *out++ = a[k];
        for (uint32_t f = groups.followers(static_cast<uint32_t>(k)); f != None; f = groups.next(f))
            *out++ = placed(p[f]);
    }
    return out;
}

void EventList::mergeWaiting() {
    const size_t placedCount = placed_.size(), waitingCount = waiting_.size();
    RecordArray merged;
    merged.reallocate(placedCount + waitingCount);
    sortByTick(waiting_.begin(), merged.begin() + placedCount, waitingCount,
               Ties::InInsertionOrder);
    Groups groups;
    const Record* p = placed_.begin();
    const Record* w = waiting_.begin();
    Record* out = merged.begin();
    size_t i = 0;
    for (size_t j = 0; j < waitingCount;) {
        const uint32_t tick = w[j].tick;
        size_t jEnd = j + 1, iEnd = 0;
        bool afterRelease = w[j].waitsAfterRelease();
        for (; jEnd < waitingCount && w[jEnd].tick == tick; ++jEnd)
            afterRelease = afterRelease || w[jEnd].waitsAfterRelease();
        while (i < placedCount && p[i].tick < tick) *out++ = placed(p[i++]);
        for (iEnd = i; iEnd < placedCount && p[iEnd].tick == tick;) ++iEnd;
        if (afterRelease) {
            out = mergeGroup(out, p + i, iEnd - i, w + j, jEnd - j, groups);
        } else {  // the newest first, before the placed ones
            for (size_t k = jEnd; k-- > j;) *out++ = placed(w[k]);
            while (i < iEnd) *out++ = placed(p[i++]);
        }
        i = iEnd;
        j = jEnd;
    }
    while (i < placedCount) *out++ = placed(p[i++]);
    merged.setSize(placedCount + waitingCount);
    placed_.swap(merged);
    waiting_.clear();
    waiting_.releaseIfEmpty(KeptWaitingRoom);
}

// One tick's events, placed and waiting, as inserting the waiting ones one
// by one would leave them. Waiting events are newer than placed ones. A
// release is only ever inserted first, so the last release of a key at the
// tick is the oldest one there: a placed one if any (the last of them),
// else the first waiting one. A note-on that finds it goes directly after
// it, before the note-ons that followed it earlier; any other event goes
// before every older one.
Record* EventList::mergeGroup(Record* out, const Record* p, size_t placedCount, const Record* w,
                              size_t waitingCount, Groups& groups) const {
    groups.start(placedCount + waitingCount, waitingCount);
    for (size_t k = 0; k < placedCount; ++k) {
        const int key = releasedKey(p[k]);
        if (key >= 0) groups.setAnchor(key, static_cast<uint32_t>(k));
    }
    for (size_t q = 0; q < waitingCount; ++q) {
        const auto event = static_cast<uint32_t>(placedCount + q);
        if (w[q].waitsAfterRelease()) {
            const int key = (w[q].data[0] & 0x0F) * 128 + w[q].data[1];
            if (groups.hasAnchor(key)) {
                groups.follow(groups.anchor(key), static_cast<uint32_t>(q), event);
                continue;
            }
        }
        groups.first().push_back(static_cast<uint32_t>(q));
        const int key = releasedKey(w[q]);
        if (key >= 0 && !groups.hasAnchor(key)) groups.setAnchor(key, event);
    }
    const auto withFollowers = [&](const Record& record, uint32_t event) {
        *out++ = placed(record);
        for (uint32_t f = groups.followers(event); f != None; f = groups.next(f - placedCount))
            *out++ = placed(w[f - placedCount]);
    };
    const std::vector<uint32_t>& first = groups.first();
    for (size_t k = first.size(); k-- > 0;)
        withFollowers(w[first[k]], static_cast<uint32_t>(placedCount + first[k]));
    for (size_t k = 0; k < placedCount; ++k) withFollowers(p[k], static_cast<uint32_t>(k));
    return out;
}

}  // namespace xemidi
