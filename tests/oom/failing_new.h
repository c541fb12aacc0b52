// Every form of the global operator new and delete, replaced for the
// out-of-memory tests: they count the live blocks and bytes and can be told
// to fail the n-th allocation from now on.
#pragma once

#include <cstddef>

namespace oomtest {

// Arms a failure: the n-th allocation from now fails (throws std::bad_alloc,
// or returns nullptr for the nothrow forms). With andAfter, every later one
// fails as well.
void failAllocation(long n, bool andAfter);

// Disarms; returns how many allocations failed since failAllocation.
long stopFailingAllocations();

// Blocks obtained from operator new and not yet deleted, and their bytes.
long liveBlocks();
std::size_t liveBytes();

// The most bytes in use at any moment since the last call.
std::size_t peakBytes();

}  // namespace oomtest
