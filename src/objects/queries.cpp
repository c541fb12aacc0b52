// What an object holds, read back: its division, and its events one by one
// in track order, each as stored.
#include <cstdint>
#include <cstring>

#include "core/c_boundary.h"
#include "objects/registry.h"
#include "store/event_list.h"

namespace xemidi {
namespace {

int getSmfDivision(SmfHandle smf, uint32_t* division) {
    const SmfObject* object = validateHandle(smf);
    if (object == nullptr || division == nullptr) return 0;
    *division = object->division;
    return 1;
}

// The events in order, counted in 32 bits; nullptr for a bad handle.
const RecordArray* eventsOf(SmfObject* object) {
    if (object == nullptr) return nullptr;
    const RecordArray& records = object->events.inOrder();
    return records.size() <= UINT32_MAX ? &records : nullptr;
}

int getSmfEventCount(SmfHandle smf, uint32_t* count) {
    if (count == nullptr) return 0;
    const RecordArray* records = eventsOf(validateHandle(smf));
    if (records == nullptr) return 0;
    *count = static_cast<uint32_t>(records->size());
    return 1;
}

// Once the events have their places, inOrder() hands them out at once and
// the event at an index is its record: the same cost for each.
int getSmfEvent(SmfHandle smf, uint32_t index, uint32_t* tick, void* buffer, uint32_t size,
                uint32_t* needed) {
    SmfObject* object = validateHandle(smf);
    const RecordArray* records = eventsOf(object);
    if (records == nullptr || index >= records->size()) return 0;
    const Record& record = (*records)[index];
    uint32_t length = 0;
    const uint8_t* bytes = object->events.bytesOf(record, length);
    if (needed != nullptr) *needed = length;
    if (buffer == nullptr || size < length) return 0;
    std::memcpy(buffer, bytes, length);
    if (tick != nullptr) *tick = record.tick;
    return 1;
}

}  // namespace
}  // namespace xemidi

using xemidi::guarded;

int XEMIDI_CALL GetSmfDivision(SmfHandle smf, uint32_t* division) {
    return guarded([&] { return xemidi::getSmfDivision(smf, division); });
}

int XEMIDI_CALL GetSmfEventCount(SmfHandle smf, uint32_t* count) {
    return guarded([&] { return xemidi::getSmfEventCount(smf, count); });
}

int XEMIDI_CALL GetSmfEvent(SmfHandle smf, uint32_t index, uint32_t* tick, void* buffer,
                            uint32_t size, uint32_t* needed) {
    return guarded([&] { return xemidi::getSmfEvent(smf, index, tick, buffer, size, needed); });
}
