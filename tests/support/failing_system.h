// The library's system-call table, routed through wrappers that make calls
// fail the way the real ones report failure: every call of one kind (for a
// test of that failure), or the n-th call of any kind (for the sweeps). The
// wrappers count the calls and keep track of the clipboard blocks handed out.
// A failed file call leaves its reason as the last system error; closing and
// removing a file leave another value there even when they succeed, as a
// system may.
#pragma once

#include <cstdint>

namespace smftest {

// Which kind of call fails; None fails none.
enum class Fail {
    None,
    CreateFile,
    WriteFile,
    ShortWrite,  // writes one byte less than asked and says so
    CloseFile,
    OpenToRead,
    ReadFile,
    ShortRead,  // each read gives one byte, less than asked, as a read may
    Register,
    RegisterOutOfMemory,  // registration throws std::bad_alloc
    Open,
    Empty,
    Alloc,
    Lock,
    Set
};

struct SystemCounts {
    int registrations = 0, opens = 0, allocations = 0, frees = 0, closes = 0, sets = 0;
};

// Routes the table through the wrappers while it lives, failing every call
// of kind; the counts start at 0.
class FailingSystem {
  public:
    explicit FailingSystem(Fail kind = Fail::None);
    ~FailingSystem();
    FailingSystem(const FailingSystem&) = delete;
    FailingSystem& operator=(const FailingSystem&) = delete;

    static SystemCounts& counts();

    // The last system error that a failed file call of kind leaves (errno
    // values); 0 for a kind that gives no reason.
    static uint32_t reasonOf(Fail kind);

    // Makes the n-th call from now fail, whatever its kind (registering a
    // format and freeing a block never fail: both are final in the
    // library's use), and starts a new account of clipboard blocks.
    static void failNth(long n);
    // Disarms failNth; returns how many calls failed since.
    static long stopFailingNth();

    // True when every clipboard block allocated since failNth has been
    // freed, or is the block that the clipboard now holds.
    static bool clipboardBlocksAccountedFor();
};

}  // namespace smftest
