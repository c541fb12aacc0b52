// One stored event as an object keeps it: its tick and four bytes, eight in
// all, packed one after another in track order (EventList). An event of up
// to three bytes (every channel message that hosts send, and the shortest
// meta events) lives in its record; a longer one lives out of line, once, in
// the object's LongEvents, and its record holds its number there.
#pragma once

#include <cstdint>
#include <cstring>

namespace xemidi {

// Where a new event goes among the events already at its tick.
enum class Placement : uint8_t {
    First,  // before them all: the rule of every insertion but a note's note-on
    // Directly after the last release of the same channel and key (a
    // note-off, or a note-on with velocity 0), so that a note struck where
    // the previous one on its key ends is not cut off at once by that
    // note-off; first when the tick holds no such release.
    AfterRelease,
};

struct Record {
    uint32_t tick;  // absolute, compared unsigned
    // Inline: the event's bytes, status byte first (a third byte 0 for a
    // two-byte event), then its size, 2 or 3, with bit 7 set while a note-on
    // waits to be placed after its key's release. Out of line: the event's
    // number in LongEvents, 31 bits, most significant byte first; that byte
    // is below 0x80, as no status byte is.
    uint8_t data[4];

    bool isInline() const { return data[0] >= 0x80; }
    uint32_t inlineSize() const { return data[3] & SizeBits; }
    bool waitsAfterRelease() const { return isInline() && (data[3] & AfterReleaseBit) != 0; }
    uint32_t longIndex() const {
        return uint32_t{data[0]} << 24 | uint32_t{data[1]} << 16 | uint32_t{data[2]} << 8 | data[3];
    }

    static constexpr uint32_t MaxInline = 3;
    static constexpr uint8_t SizeBits = 0x03;
    static constexpr uint8_t AfterReleaseBit = 0x80;
};
static_assert(sizeof(Record) == 8, "records are packed eight bytes apiece");

// How many events can live out of line in one object.
constexpr uint32_t MaxLongEvents = 0x80000000u;

// How many events one object may hold, a note counting two. The merges
// number the events of a tick with uint32_t and keep UINT32_MAX for none,
// and a host may hold a count or an index in a signed 32-bit integer (VBA's
// Long): 2^31 - 1 fits them all. It is also more than the memory of a
// 32-bit process could hold, at eight bytes an event.
constexpr uint32_t MaxEvents = 0x7FFFFFFFu;

// A record holding size bytes (2 or 3, the first a status byte) itself.
inline Record inlineRecord(uint32_t tick, const uint8_t* bytes, uint32_t size,
                           Placement placement = Placement::First) {
    Record record{tick, {bytes[0], bytes[1], size == 3 ? bytes[2] : uint8_t{0}, 0}};
    const uint8_t flag = placement == Placement::AfterRelease ? Record::AfterReleaseBit : 0;
    record.data[3] = static_cast<uint8_t>(size | flag);
    return record;
}

// A record naming the event of number index (below MaxLongEvents).
inline Record longRecord(uint32_t tick, uint32_t index) {
    return {tick,
            {static_cast<uint8_t>(index >> 24), static_cast<uint8_t>(index >> 16),
             static_cast<uint8_t>(index >> 8), static_cast<uint8_t>(index)}};
}

// The record as it stands once placed: no longer waiting for a release.
inline Record placed(Record record) {
    if (record.isInline()) record.data[3] &= Record::SizeBits;
    return record;
}

}  // namespace xemidi
