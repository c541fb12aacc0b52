// Channel messages given as raw bytes.
#include <cstdint>

#include "events/event_list.h"
#include "frame/c_boundary.h"
#include "frame/registry.h"

namespace xemidi {
namespace {

// A stored event must open with a channel status byte (0x80..0xEF: running
// status, system-exclusive, meta and system messages are refused) and carry
// the data bytes its kind needs, each below 0x80. Bytes past those are
// stored as given.
bool isChannelMessage(const uint8_t* data, int32_t len) {
    const uint8_t status = data[0];
    if (status < 0x80 || status >= 0xF0) return false;
    const int kind = status >> 4;
    if (kind == 0xC || kind == 0xD) return data[1] < 0x80;  // program, channel pressure
    return len >= 3 && data[1] < 0x80 && data[2] < 0x80;
}

int insertMidiEvent(SmfHandle smf, uint32_t tick, const void* data, int32_t len) {
    SmfObject* object = validateHandle(smf);
    if (object == nullptr || len < 2 || data == nullptr) return 0;
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (!isChannelMessage(bytes, len)) return 0;
    stageAndInsert(object->events, tick, bytes, static_cast<uint32_t>(len));
    return 1;
}

}  // namespace
}  // namespace xemidi

int XEMIDI_CALL InsertMidiEvent(SmfHandle smf, uint32_t tick, const void* data, int32_t len) {
    return xemidi::guarded([&] { return xemidi::insertMidiEvent(smf, tick, data, len); });
}
