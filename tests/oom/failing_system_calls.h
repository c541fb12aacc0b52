// The library's system-call table, routed through wrappers that can make the
// n-th call from now fail the way the real call reports failure, and that
// keep track of the clipboard memory blocks handed out.
#pragma once

namespace oomtest {

// Installs the wrappers in xemidi::sys::systemCalls(); nothing fails until
// failSystemCall is called.
void installFailingSystemCalls();

// Arms a failure of the n-th system call from now (format registration and
// freeing a block never fail: both are final in the library's use). Also
// starts a new count of the clipboard blocks allocated.
void failSystemCall(long n);

// Disarms; returns how many calls failed since failSystemCall.
long stopFailingSystemCalls();

// True when every clipboard block allocated since failSystemCall has been
// freed, or is the block that the clipboard now holds.
bool clipboardBlocksAccountedFor();

}  // namespace oomtest
