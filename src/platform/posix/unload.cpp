// Outside Windows the library ends with dlclose or with the process's exit;
// both run its static destructors, and this one frees what the library
// holds: every object left alive and the clipboard with its content. A call
// that comes later (from an exit handler that the host registered before it
// loaded the library) finds neither, and every export returns 0.
#include "objects/registry.h"
#include "platform/posix/posix_system.h"

namespace {

struct TearDownAtUnload {
    TearDownAtUnload() = default;
    TearDownAtUnload(const TearDownAtUnload&) = delete;
    TearDownAtUnload& operator=(const TearDownAtUnload&) = delete;
    ~TearDownAtUnload() {
        xemidi::tearDownRegistry();
        xemidi::sys::tearDownClipboard();
    }
};

const TearDownAtUnload AtUnload;

}  // namespace
