// Range checks, byte composition and insertion shared by the shorthand
// inserters.
#pragma once

#include <cstdint>

#include "objects/registry.h"
#include "store/channel_messages.h"

namespace xemidi {

constexpr bool inRange(int32_t value, int32_t low, int32_t high) {
    return value >= low && value <= high;
}
constexpr bool isChannel(int32_t value) {
    return inRange(value, 0, 15);
}
constexpr bool isDataByte(int32_t value) {
    return inRange(value, 0, 127);
}
constexpr bool isFourteenBits(int32_t value) {
    return inRange(value, 0, 16383);
}

// Callers have checked the ranges, so these only narrow.
constexpr uint8_t statusByte(uint8_t base, int32_t channel) {
    return static_cast<uint8_t>(base | channel);
}
constexpr uint8_t dataByte(int32_t value) {
    return static_cast<uint8_t>(value);
}
constexpr uint8_t lowSeven(int32_t value) {
    return static_cast<uint8_t>(value & 0x7F);
}
constexpr uint8_t highSeven(int32_t value) {
    return static_cast<uint8_t>(value >> 7);
}

// Checks the handle and stores the messages, all or none (their bytes are
// composed within range, so only the handle can refuse them).
inline int insertChannelMessages(SmfHandle smf, const ChannelMessage* messages, int count) {
    SmfObject* object = validateHandle(smf);
    return object == nullptr ? 0 : storeChannelMessages(object->events, messages, count);
}

}  // namespace xemidi
