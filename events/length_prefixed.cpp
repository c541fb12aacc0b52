#include "events/length_prefixed.h"

#include "events/event_list.h"
#include "frame/c_boundary.h"
#include "frame/registry.h"
#include "writer/smf_writer.h"

namespace xemidi {

WorkingBuffers SysexBuffers;
WorkingBuffers MetaBuffers;

namespace {

// Fixed data lengths of the meta types that have one; -1: any length.
int32_t requiredMetaLength(uint8_t type) {
    switch (type) {
        case 0x00:
            return 2;  // sequence number
        case 0x20:
            return 1;  // channel prefix
        case 0x21:
            return 1;  // port
        case 0x51:
            return 3;  // tempo
        case 0x54:
            return 5;  // SMPTE offset
        case 0x58:
            return 4;  // time signature
        case 0x59:
            return 2;  // key signature
        default:
            return -1;
    }
}

constexpr uint8_t EndOfTrackType = 0x2F;

// Assembles head, the length prefix and body in buffers.event, then stages
// and inserts the result.
void storeWithLength(WorkingBuffers& buffers, EventList& list, uint32_t tick, const uint8_t* head,
                     uint32_t headSize, uint32_t length, const uint8_t* body) {
    uint32_t position = 0;
    buffers.length.resize(0);
    writeVarLen(buffers.length, position, length);
    buffers.event.resize(headSize + buffers.length.size() + length);  // one growth at most
    position = 0;
    appendBytes(buffers.event, position, head, headSize);
    appendBytes(buffers.event, position, buffers.length.data(), buffers.length.size());
    appendBytes(buffers.event, position, body, length);
    stageAndInsert(list, tick, buffers.event.data(), buffers.event.size());
}

int insertSysexEvent(SmfHandle smf, uint32_t tick, const void* data, int32_t len) {
    SmfObject* object = validateHandle(smf);
    if (object == nullptr || len < 3 || data == nullptr) return 0;
    if (static_cast<uint32_t>(len) - 1 > MaxVarLen) return 0;
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (bytes[0] != 0xF0 || bytes[len - 1] != 0xF7) return 0;
    storeWithLength(SysexBuffers, object->events, tick, bytes, 1, static_cast<uint32_t>(len) - 1,
                    bytes + 1);
    return 1;
}

int insertMetaEvent(SmfHandle smf, uint32_t tick, uint32_t typeArgument, const void* data,
                    int32_t len) {
    SmfObject* object = validateHandle(smf);
    if (object == nullptr || len < 0 || static_cast<uint32_t>(len) > MaxVarLen) return 0;
    const auto type = static_cast<uint8_t>(typeArgument);
    const int32_t required = requiredMetaLength(type);
    if (type == EndOfTrackType || (required >= 0 && len != required)) return 0;
    if (len > 0 && data == nullptr) return 0;
    const uint8_t head[2] = {0xFF, type};
    storeWithLength(MetaBuffers, object->events, tick, head, 2, static_cast<uint32_t>(len),
                    static_cast<const uint8_t*>(data));
    return 1;
}

}  // namespace
}  // namespace xemidi

int XEMIDI_CALL InsertSysexEvent(SmfHandle smf, uint32_t tick, const void* data, int32_t len) {
    return xemidi::guarded([&] { return xemidi::insertSysexEvent(smf, tick, data, len); });
}

int XEMIDI_CALL InsertMetaEvent(SmfHandle smf, uint32_t tick, uint32_t type, const void* data,
                                int32_t len) {
    return xemidi::guarded([&] { return xemidi::insertMetaEvent(smf, tick, type, data, len); });
}
