// The fuzz harness's own account of the library's documented behaviour:
// which calls are accepted, the stored form of each event, where a new event
// goes (support/event_order.h), and the
// file image the events make. Written from the public header alone.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "support/event_order.h"
#include "support/stored_forms.h"

namespace fuzzmodel {

using smftest::Bytes;

constexpr uint32_t MaxVarLen = 0x0FFFFFFF;

struct Event {
    uint32_t tick;
    Bytes bytes;  // as stored: status byte first, length prefixes included
    bool operator==(const Event& o) const { return tick == o.tick && bytes == o.bytes; }
};

using smftest::lengthPrefixed;
using smftest::varLen;

// Data bytes a channel message needs after its status byte.
inline int dataBytes(uint8_t status) {
    return (status >> 4) == 0xC || (status >> 4) == 0xD ? 1 : 2;
}

inline bool acceptsChannelMessage(const uint8_t* data, int32_t len) {
    if (len < 2 || data == nullptr || data[0] < 0x80 || data[0] >= 0xF0) return false;
    if (len < 1 + dataBytes(data[0])) return false;
    return data[1] < 0x80 && (dataBytes(data[0]) == 1 || data[2] < 0x80);
}

inline bool acceptsSysex(const uint8_t* data, int32_t len) {
    return len >= 3 && data != nullptr && uint32_t(len) - 1 <= MaxVarLen && data[0] == 0xF0 &&
           data[len - 1] == 0xF7;
}

inline bool acceptsMeta(uint32_t type, const void* data, int32_t len) {
    static const int32_t fixed[][2] = {{0x00, 2}, {0x20, 1}, {0x21, 1}, {0x51, 3},
                                       {0x54, 5}, {0x58, 4}, {0x59, 2}};
    const uint8_t t = static_cast<uint8_t>(type);
    if (len < 0 || uint32_t(len) > MaxVarLen || t == 0x2F || (len > 0 && data == nullptr))
        return false;
    for (const auto& [fixedType, fixedLength] : fixed) {
        if (t == fixedType && len != fixedLength) return false;
    }
    return true;
}

// Hexadecimal text: tokens between runs of the six delimiters, one byte
// each from up to two leading hex digits; a token that does not begin with
// a hex digit fails the text.
inline std::optional<Bytes> readHex(const char* text) {
    const auto hex = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    };
    const auto delimiter = [](char c) { return c != '\0' && std::strchr(" \t\n\v\f\r", c); };
    Bytes out;
    for (const char* p = text; *p != '\0';) {
        if (delimiter(*p)) {
            ++p;
            continue;
        }
        const int high = hex(p[0]);
        if (high < 0) return std::nullopt;
        const int low = hex(p[1]);
        out.push_back(static_cast<uint8_t>(low < 0 ? high : high * 16 + low));
        while (*p != '\0' && !delimiter(*p)) ++p;
    }
    return out;
}

struct Model {
    uint16_t division = 0;
    std::vector<Event> events;  // in track order

    void insert(uint32_t tick, Bytes bytes) { smftest::placeEvent(events, Event{tick, bytes}); }
    void insertNote(const Event& off, const Event& on) { smftest::placeNote(events, off, on); }

    // Every channel message is exactly as long as its kind, so a standard
    // reader recovers the events from the image.
    bool canonical() const {
        return std::all_of(events.begin(), events.end(), [](const Event& e) {
            return e.bytes[0] >= 0xF0 || e.bytes.size() == size_t(1 + dataBytes(e.bytes[0]));
        });
    }

    // The Standard MIDI File image; empty when two consecutive events are
    // further apart than a delta time can say.
    Bytes image() const {
        Bytes track;
        uint32_t previous = 0;
        uint8_t status = 0;
        for (const Event& e : events) {
            if (e.tick - previous > MaxVarLen) return {};
            const Bytes delta = varLen(e.tick - previous);
            track.insert(track.end(), delta.begin(), delta.end());
            const bool running = e.bytes[0] == status && status >= 0x80 && status < 0xF0;
            track.insert(track.end(), e.bytes.begin() + (running ? 1 : 0), e.bytes.end());
            status = e.bytes[0];
            previous = e.tick;
        }
        track.insert(track.end(), {0x00, 0xFF, 0x2F, 0x00});
        const auto n = static_cast<uint32_t>(track.size());
        Bytes image = {'M',
                       'T',
                       'h',
                       'd',
                       0,
                       0,
                       0,
                       6,
                       0,
                       0,
                       0,
                       1,
                       uint8_t(division >> 8),
                       uint8_t(division),
                       'M',
                       'T',
                       'r',
                       'k',
                       uint8_t(n >> 24),
                       uint8_t(n >> 16),
                       uint8_t(n >> 8),
                       uint8_t(n)};
        image.insert(image.end(), track.begin(), track.end());
        return image;
    }
};

}  // namespace fuzzmodel
