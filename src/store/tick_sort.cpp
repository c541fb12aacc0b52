#include "store/tick_sort.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

namespace xemidi {

namespace {

// A radix sort, least significant digit first, over the bits in which the
// ticks differ, at most MaxDigitBits a pass: two passes cover 24 bits (a
// song of hours at 480 ticks a quarter note), four any tick. The passes
// are even in number, so that the records end where they started. Each
// pass reads the records in order and writes them to places that advance
// in order, which the caches follow.
constexpr uint32_t MaxDigitBits = 12;

}  // namespace

void sortByTick(Record* records, Record* spare, size_t n, Ties ties) {
    const bool reverse = ties == Ties::NewestFirst;
    bool sorted = true;
    uint32_t differ = 0;
    for (size_t i = 1; i < n; ++i) {  // ties to reverse count as out of order
        sorted = sorted && (reverse ? records[i - 1].tick < records[i].tick
                                    : records[i - 1].tick <= records[i].tick);
        differ |= records[i].tick ^ records[0].tick;
    }
    if (sorted) return;
    if (differ == 0) return std::reverse(records, records + n);  // one tick, reversed
    uint32_t bits = 32;
    while ((differ >> (bits - 1)) == 0) --bits;
    uint32_t passes = (bits + MaxDigitBits - 1) / MaxDigitBits;
    passes += passes % 2;
    const uint32_t digitBits = (bits + passes - 1) / passes;
    const size_t digits = size_t{1} << digitBits;
    const auto digitOf = [&](uint32_t tick, uint32_t pass) {
        return (tick >> (pass * digitBits)) & (digits - 1);
    };
    const auto starts = std::make_unique<size_t[]>(passes * digits);  // zeroed
    for (size_t k = 0; k < n; ++k) {
        for (uint32_t pass = 0; pass < passes; ++pass)
            ++starts[pass * digits + digitOf(records[k].tick, pass)];
    }
    Record* from = records;
    Record* to = spare;
    for (uint32_t pass = 0; pass < passes; ++pass) {
        size_t* start = &starts[pass * digits];
        size_t total = 0;
        for (size_t d = 0; d < digits; ++d) {
            const size_t count = start[d];
            start[d] = total;
            total += count;
        }
        // The first pass reads from the end to reverse the ties; every pass
        // keeps the order that the one before left.
        if (pass == 0 && reverse) {
            for (size_t k = n; k-- > 0;) to[start[digitOf(from[k].tick, 0)]++] = from[k];
        } else {
            for (size_t k = 0; k < n; ++k) to[start[digitOf(from[k].tick, pass)]++] = from[k];
        }
        std::swap(from, to);
    }
}

}  // namespace xemidi
