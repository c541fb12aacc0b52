// Channel messages by value: notes, key pressure, controllers, channel
// pressure, pitch wheel. Every range is inclusive and tested on the whole
// 32-bit value; the handle is left to the insertion.
#include <cstdint>

#include "core/c_boundary.h"
#include "shorthand/ranges.h"
#include "xemidi.h"

namespace xemidi {
namespace {

int insertNote(SmfHandle smf, uint32_t tick, int32_t channel, int32_t key, int32_t velocity,
               int32_t duration) {
    if (!isChannel(channel) || !isDataByte(key) || !inRange(velocity, 1, 127)) return 0;
    const uint8_t noteOff[3] = {statusByte(0x80, channel), dataByte(key), 0x40};
    const uint8_t noteOn[3] = {statusByte(0x90, channel), dataByte(key), dataByte(velocity)};
    // The note-off goes in first, so that with duration 0 the note-on,
    // inserted last, stands before it at the shared tick. Otherwise the
    // note-on follows a release of its key already at its tick: a repeated
    // note starts after the previous one ends. Both or neither.
    const uint32_t end = tick + static_cast<uint32_t>(duration);
    SmfObject* object = validateHandle(smf);
    if (object == nullptr) return 0;
    storeNote(object->events, tick, end, noteOn, noteOff);
    return 1;
}

int insertThreeBytes(SmfHandle smf, uint32_t tick, uint8_t base, int32_t channel, int32_t first,
                     int32_t second) {
    if (!isChannel(channel) || !isDataByte(first) || !isDataByte(second)) return 0;
    const uint8_t message[3] = {statusByte(base, channel), dataByte(first), dataByte(second)};
    const ChannelMessage single = {tick, message, 3};
    return insertChannelMessages(smf, &single, 1);
}

int insertChannelPressure(SmfHandle smf, uint32_t tick, int32_t channel, int32_t pressure) {
    if (!isChannel(channel) || !isDataByte(pressure)) return 0;
    const uint8_t message[2] = {statusByte(0xD0, channel), dataByte(pressure)};
    const ChannelMessage single = {tick, message, 2};
    return insertChannelMessages(smf, &single, 1);
}

int insertWheel(SmfHandle smf, uint32_t tick, int32_t channel, int32_t value) {
    if (!isChannel(channel) || !inRange(value, -8192, 8191)) return 0;
    const int32_t position = value + 8192;
    const uint8_t message[3] = {statusByte(0xE0, channel), lowSeven(position), highSeven(position)};
    const ChannelMessage single = {tick, message, 3};
    return insertChannelMessages(smf, &single, 1);
}

}  // namespace
}  // namespace xemidi

using xemidi::guarded;

int XEMIDI_CALL cal_insert_Note(SmfHandle smf, uint32_t tick, int32_t channel, int32_t key,
                                int32_t velocity, int32_t duration) {
    return guarded([&] { return xemidi::insertNote(smf, tick, channel, key, velocity, duration); });
}

int XEMIDI_CALL cal_insert_KeyAft(SmfHandle smf, uint32_t tick, int32_t channel, int32_t key,
                                  int32_t pressure) {
    return guarded(
        [&] { return xemidi::insertThreeBytes(smf, tick, 0xA0, channel, key, pressure); });
}

int XEMIDI_CALL cal_insert_Control(SmfHandle smf, uint32_t tick, int32_t channel,
                                   int32_t controller, int32_t value) {
    return guarded(
        [&] { return xemidi::insertThreeBytes(smf, tick, 0xB0, channel, controller, value); });
}

int XEMIDI_CALL cal_insert_ChanAft(SmfHandle smf, uint32_t tick, int32_t channel,
                                   int32_t pressure) {
    return guarded([&] { return xemidi::insertChannelPressure(smf, tick, channel, pressure); });
}

int XEMIDI_CALL cal_insert_Wheel(SmfHandle smf, uint32_t tick, int32_t channel, int32_t value) {
    return guarded([&] { return xemidi::insertWheel(smf, tick, channel, value); });
}
