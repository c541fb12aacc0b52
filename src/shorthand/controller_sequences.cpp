// Multi-message controller groups at one tick: program change with bank
// select, RPN and NRPN writes. A new event goes before those already at its
// tick, so each group is inserted last message first and stands in playing
// order. A group goes in whole or not at all, even when memory runs out.
#include <cstdint>

#include "core/c_boundary.h"
#include "shorthand/ranges.h"
#include "xemidi.h"

namespace xemidi {
namespace {

struct Message {
    uint8_t bytes[3];
    int32_t length;
};

// Inserts messages[count - 1] first and messages[0] last, so that they stand
// at the tick in array order.
int insertInPlayingOrder(SmfHandle smf, uint32_t tick, const Message* messages, int count) {
    ChannelMessage group[4];
    for (int i = 0; i < count; ++i) {
        const Message& message = messages[count - 1 - i];
        group[i] = {tick, message.bytes, message.length};
    }
    return insertChannelMessages(smf, group, count);
}

Message controller(int32_t channel, uint8_t number, uint8_t value) {
    return {{statusByte(0xB0, channel), number, value}, 3};
}

int insertPatch(SmfHandle smf, uint32_t tick, int32_t channel, int32_t program, int32_t bank) {
    if (!isChannel(channel) || !isDataByte(program) || !inRange(bank, -1, 16383)) return 0;
    const Message change = {{statusByte(0xC0, channel), dataByte(program), 0}, 2};
    if (bank == -1) return insertInPlayingOrder(smf, tick, &change, 1);
    const Message group[3] = {controller(channel, 0x00, highSeven(bank)),
                              controller(channel, 0x20, lowSeven(bank)), change};
    return insertInPlayingOrder(smf, tick, group, 3);
}

// Parameter number (most significant, then least significant controller),
// then data entry 6 and 38.
int insertParameter(SmfHandle smf, uint32_t tick, int32_t channel, int32_t parameter, int32_t value,
                    uint8_t numberMsb, uint8_t numberLsb) {
    if (!isChannel(channel) || !isFourteenBits(parameter) || !isFourteenBits(value)) return 0;
    const Message group[4] = {controller(channel, numberMsb, highSeven(parameter)),
                              controller(channel, numberLsb, lowSeven(parameter)),
                              controller(channel, 0x06, highSeven(value)),
                              controller(channel, 0x26, lowSeven(value))};
    return insertInPlayingOrder(smf, tick, group, 4);
}

}  // namespace
}  // namespace xemidi

using xemidi::guarded;

int XEMIDI_CALL cal_insert_Patch(SmfHandle smf, uint32_t tick, int32_t channel, int32_t program,
                                 int32_t bank) {
    return guarded([&] { return xemidi::insertPatch(smf, tick, channel, program, bank); });
}

int XEMIDI_CALL calex_insert_RPN(SmfHandle smf, uint32_t tick, int32_t channel, int32_t parameter,
                                 int32_t value) {
    return guarded(
        [&] { return xemidi::insertParameter(smf, tick, channel, parameter, value, 0x65, 0x64); });
}

int XEMIDI_CALL calex_insert_NRPN(SmfHandle smf, uint32_t tick, int32_t channel, int32_t parameter,
                                  int32_t value) {
    return guarded(
        [&] { return xemidi::insertParameter(smf, tick, channel, parameter, value, 0x63, 0x62); });
}
