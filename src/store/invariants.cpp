// What an event list promises, checked after each of its operations in the
// code built for the tests, the sanitizers and the fuzzer
// (XEMIDI_CHECK_INVARIANTS), in the spirit of an integrity check: a broken
// promise ends the process with a message that names it, at the operation
// that broke it or soon after. Never built into the shared library.
//
// A full check walks every record. A list of up to FullCheckShare records
// is checked fully after every operation; a larger one after as many
// operations as it holds FullCheckShares of records, so that the checks
// cost a walk of about FullCheckShare records an operation, however large
// the list grows. The operations between get the checks that take no walk.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>

#include "store/event_list.h"

namespace xemidi {

namespace {

constexpr size_t FullCheckShare = 256;

[[noreturn]] void broken(const char* promise) noexcept {
    std::fprintf(stderr, "xemidi: an event list breaks its invariants: %s\n", promise);
    std::abort();
}

void require(bool kept, const char* promise) noexcept {
    if (!kept) broken(promise);
}

// The placed events: in tick order up to the open group, whose events, in
// insertion order while they are the last, are all those at the last tick.
void checkOrder(const RecordArray& placed, size_t groupStart) noexcept {
    for (size_t i = 1; i < groupStart; ++i)
        require(placed[i - 1].tick <= placed[i].tick, "the placed events are out of tick order");
    if (groupStart == placed.size()) return;
    for (size_t i = groupStart; i < placed.size(); ++i)
        require(placed[i].tick == placed.back().tick,
                "the open group holds an event before the last tick");
    require(groupStart == 0 || placed[groupStart - 1].tick < placed.back().tick,
            "an event at the last tick stands outside the open group");
}

// Every long event is named by one record, and every record that names one
// names a live block: as many names as blocks, each below their count, the
// numbers plus one summing as 1, 2, 3, ... do.
void checkLongEvents(std::initializer_list<const RecordArray*> runs, uint64_t blocks) noexcept {
    uint64_t named = 0, sum = 0;
    for (const RecordArray* run : runs) {
        for (const Record& record : *run) {
            if (record.isInline()) {
                require(record.inlineSize() >= 2,
                        "an event in its record holds fewer than 2 bytes");
                continue;
            }
            require(record.longIndex() < blocks, "a record names a long event that is not there");
            ++named;
            sum += record.longIndex() + uint64_t{1};
        }
    }
    require(named == blocks && sum == blocks * (blocks + 1) / 2,
            "the long events are not named once each");
}

}  // namespace

void EventList::afterOperation() const noexcept {
    if (++uncheckedOperations_ * FullCheckShare < eventCount() + longs_.count()) {
        return checkBounds();
    }
    uncheckedOperations_ = 0;
    checkInvariants();
}

// The checks that take no walk.
void EventList::checkBounds() const noexcept {
    require(eventCount() <= limit_, "it holds more events than its limit");
    require(groupStart_ <= placed_.size(), "the open group starts past the placed events");
    require(groupStart_ == placed_.size() || placed_[groupStart_].tick == placed_.back().tick,
            "the open group holds an event before the last tick");
}

void EventList::checkInvariants() const noexcept {
    checkBounds();
    checkOrder(placed_, groupStart_);
    checkLongEvents({&placed_, &ahead_, &waiting_}, longs_.count());
    // While nothing waits or is ahead, the counts kept are those of the
    // events before the open group.
    if (counting()) {
        const Step counted = countTo(groupStart_);
        require(counted.bytes == eventBytes_, "the byte count kept differs from a recount");
        require(counted.longDelta == longDeltas_,
                "the count of long delta times differs from a recount");
    }
}

}  // namespace xemidi
