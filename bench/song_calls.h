// The benchmarks' calls into the library that more than one program makes:
// a song written call by call, and the heap its stored events hold.
#pragma once

#include <cstddef>
#include <vector>

#include "event_stream.h"
#include "xemidi.h"

namespace bench {

// Makes the calls in order (cal_insert_Note for a note, cal_insert_Control
// for a controller) and returns how many were accepted.
size_t insertCalls(SmfHandle smf, const std::vector<Call>& calls);

// What heap the process uses (counted by the caller's own means).
using HeapInUse = long long (*)();

// The heap an object of 1,000,000 three-byte events holds once built and
// read, per event: order 0 inserts them in time order, 1 in random order,
// 2 as notes and controllers written in time order.
double heapPerStoredEvent(int order, HeapInUse heapInUse);

}  // namespace bench
