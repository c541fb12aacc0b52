// The sort of the runs merged at a read, against a stable sort: ticks of
// few and of all 32 bits (two to four passes), ties kept or reversed, all
// records at one tick, and records already in order.
#include "store/tick_sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

namespace {

using xemidi::Record;
using xemidi::Ties;

std::vector<Record> sortedAsReference(std::vector<Record> records, Ties ties) {
    if (ties == Ties::NewestFirst) std::reverse(records.begin(), records.end());
    std::stable_sort(records.begin(), records.end(),
                     [](const Record& a, const Record& b) { return a.tick < b.tick; });
    return records;
}

std::vector<Record> sortedByTick(std::vector<Record> records, Ties ties) {
    std::vector<Record> spare(records.size());
    xemidi::sortByTick(records.data(), spare.data(), records.size(), ties);
    return records;
}

bool same(const std::vector<Record>& a, const std::vector<Record>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(Record)) == 0;
}

TEST(TickSort, SortsAsAStableSortWithTiesEitherWay) {
    std::mt19937 random(26);
    for (const uint32_t span : {1u, 7u, 4000u, 1u << 23, 0xFFFFFFFFu}) {
        for (const size_t count : {size_t{1}, size_t{2}, size_t{50}, size_t{20000}}) {
            std::vector<Record> records(count);
            for (size_t i = 0; i < count; ++i) {
                const uint32_t tick = span == 0xFFFFFFFFu ? uint32_t(random()) : random() % span;
                records[i] = {tick, {0x90, uint8_t(i), uint8_t(i >> 7), uint8_t(i >> 14)}};
            }
            for (const Ties ties : {Ties::InInsertionOrder, Ties::NewestFirst}) {
                EXPECT_TRUE(same(sortedByTick(records, ties), sortedAsReference(records, ties)))
                    << "span " << span << ", " << count << " records";
                const std::vector<Record> inOrder =
                    sortedAsReference(records, Ties::InInsertionOrder);
                EXPECT_TRUE(same(sortedByTick(inOrder, ties), sortedAsReference(inOrder, ties)))
                    << "in order already: span " << span << ", " << count << " records";
            }
        }
    }
}

}  // namespace
