// Sorting records by tick for the merge of waiting events.
#pragma once

#include "store/record_array.h"

namespace xemidi {

// Sorts records by tick, keeping the order of equal ticks, with spare (room
// for as many records, its contents overwritten) as working space; the two
// may trade blocks. Throws std::bad_alloc with records unchanged.
void sortByTick(RecordArray& records, RecordArray& spare);

}  // namespace xemidi
