#include "store/tick_sort.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace xemidi {

namespace {

// A radix sort, least significant digit first, of DigitBits bits a pass:
// three passes cover a tick, and a digit that is the same in every tick
// takes none. Each pass reads the records in order and writes them to
// 2048 places that advance in order, which the caches follow.
constexpr int DigitBits = 11;
constexpr size_t Digits = size_t{1} << DigitBits;
constexpr size_t Passes = (32 + DigitBits - 1) / DigitBits;

size_t digitOf(uint32_t tick, size_t pass) {
    return (tick >> (pass * DigitBits)) & (Digits - 1);
}

}  // namespace

void sortByTick(RecordArray& records, RecordArray& spare) {
    const size_t n = records.size();
    bool sorted = true;
    for (size_t i = 1; i < n && sorted; ++i) sorted = records[i - 1].tick <= records[i].tick;
    if (sorted) return;
    const auto starts = std::make_unique<size_t[]>(Passes * Digits);  // zeroed
    for (const Record& record : records) {
        for (size_t pass = 0; pass < Passes; ++pass)
            ++starts[pass * Digits + digitOf(record.tick, pass)];
    }
    spare.setSize(n);
    for (size_t pass = 0; pass < Passes; ++pass) {
        size_t* start = &starts[pass * Digits];
        if (start[digitOf(records[0].tick, pass)] == n) continue;  // one digit in all
        size_t total = 0;
        for (size_t d = 0; d < Digits; ++d) {
            const size_t count = start[d];
            start[d] = total;
            total += count;
        }
        Record* out = spare.begin();
        for (const Record& record : records) out[start[digitOf(record.tick, pass)]++] = record;
        records.swap(spare);
    }
}

}  // namespace xemidi
