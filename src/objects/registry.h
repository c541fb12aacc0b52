// SMF objects and the process-wide registry of live ones. A handle is the
// address of its object; it is valid exactly while that address is
// registered.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "store/event_list.h"
#include "xemidi.h"

namespace xemidi {

struct SmfObject {
    explicit SmfObject(uint16_t ticksPerQuarter);

    char signature[8];  // "xeMidi", its terminator and a spare byte of 0
    uint16_t division;  // ticks per quarter note, 1..32767
    EventList events;
};

// The live object named by handle, or nullptr. Only registered addresses are
// ever read, so a wild, stale or foreign value is refused without touching
// the memory it points at.
SmfObject* validateHandle(SmfHandle handle);

// Creates and registers an object; nullptr for a division that is 0 or has
// bit 15 set in its low 16 bits. Throws std::bad_alloc with nothing
// registered when memory runs out.
SmfObject* createObject(int32_t division);

// Registers an object made outside the registry (a file read into it).
// Throws std::bad_alloc, or returns nullptr once the library is torn down,
// with nothing registered and the object still the caller's.
SmfObject* registerObject(std::unique_ptr<SmfObject>& object);

// How many deleted objects keep their memory back from the heap, so that
// no new object takes the address of one of them.
constexpr size_t RetiredObjects = 256;

// Unregisters and frees a live object with its events. Its memory goes back
// to the heap once RetiredObjects more objects have been deleted.
void destroyObject(SmfObject* object);

// Unregisters and frees at once, outside the RetiredObjects, a live object
// whose handle was never handed out (a copy that failed halfway).
void discardObject(SmfObject* object);

// Frees every live object, the memory kept back and the registry itself;
// from then on no handle is valid and no object is made, so every export
// returns 0. The platform calls it when the library is unloaded.
void tearDownRegistry();

uint32_t liveObjectCount();

// Deleted objects whose memory is kept back (at most RetiredObjects).
size_t retiredObjectCount();

inline SmfHandle handleOf(SmfObject* object) {
    return reinterpret_cast<SmfHandle>(object);
}

}  // namespace xemidi
