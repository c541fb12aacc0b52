// Sorting records by tick for the merge of waiting events.
#pragma once

#include "store/record_array.h"

namespace xemidi {

// How a sort leaves records of equal ticks: as they stood, or reversed.
enum class Ties { InInsertionOrder, NewestFirst };

// Sorts records by tick, records of equal ticks as ties says, with spare
// (room for as many records, its contents overwritten) as working space;
// the two may trade blocks. Throws std::bad_alloc with records unchanged.
void sortByTick(RecordArray& records, RecordArray& spare, Ties ties);

}  // namespace xemidi
