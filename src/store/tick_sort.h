// Sorting records by tick for the merge of waiting events.
#pragma once

#include <cstddef>

#include "store/record.h"

namespace xemidi {

// How a sort leaves records of equal ticks: as they stood, or reversed.
enum class Ties { InInsertionOrder, NewestFirst };

// Sorts the count records at records by tick, records of equal ticks as
// ties says, in place, with room for as many records at spare as working
// space (its contents overwritten). Throws std::bad_alloc with the records
// unchanged.
void sortByTick(Record* records, Record* spare, size_t count, Ties ties);

}  // namespace xemidi
