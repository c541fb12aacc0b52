#include "reader/smf_reader.h"

#include <cstring>
#include <new>

#include "format/messages.h"
#include "format/numbers.h"
#include "format/track.h"
#include "store/event_list.h"

namespace xemidi {

namespace {

// A refusal thrown from wherever a rule broke to readImage, which turns it
// into its outcome.
struct Refusal {
    uint32_t reason;
    uint32_t offset;
};

[[noreturn]] void refuse(uint32_t reason, uint32_t offset) {
    throw Refusal{reason, offset};
}

constexpr uint32_t ChunkHeader = 8;  // a tag and a 32-bit length

bool hasTag(const uint8_t* at, const char* tag) {
    return std::memcmp(at, tag, 4) == 0;
}

// What the header chunk says, and where the chunks after it lie.
struct Header {
    uint32_t format = 0;
    uint32_t tracks = 0;
    uint16_t division = 0;
    uint32_t next = 0;  // the first chunk after the header
    uint32_t end = 0;   // the end of the file's chunks: the data, or a RIFF chunk
};

// A file in a RIFF "RMID" wrapper: "RIFF", a little-endian size, "RMID",
// then chunks, each a tag and a little-endian size, padded to an even
// length; the file is the "data" chunk's content.
void unwrapRiff(const uint8_t* data, uint32_t size, Header& header) {
    if (size < 12) refuse(XEMIDI_READ_TRUNCATED, 0);
    if (!hasTag(data + 8, "RMID")) refuse(XEMIDI_READ_NOT_SMF, 8);
    uint32_t at = 12;
    for (;;) {
        if (size - at < ChunkHeader) refuse(XEMIDI_READ_TRUNCATED, at);
        const uint8_t* chunk = data + at;
        const uint32_t length = uint32_t{chunk[4]} | uint32_t{chunk[5]} << 8 |
                                uint32_t{chunk[6]} << 16 | uint32_t{chunk[7]} << 24;
        if (length > size - at - ChunkHeader) refuse(XEMIDI_READ_TRUNCATED, at);
        if (hasTag(chunk, "data")) {
            header.next = at + ChunkHeader;
            header.end = header.next + length;
            return;
        }
        at += ChunkHeader + length;
        if (length % 2 != 0 && at < size) ++at;
    }
}

// The header chunk at header.next, within header.end.
void readHeader(const uint8_t* data, Header& header) {
    const uint32_t at = header.next, room = header.end - at;
    if (room < 4 || !hasTag(data + at, "MThd")) {
        const bool prefix = room < 4 && room != 0 && std::memcmp(data + at, "MThd", room) == 0;
        refuse(prefix ? XEMIDI_READ_TRUNCATED : XEMIDI_READ_NOT_SMF, at);
    }
    if (room < ChunkHeader) refuse(XEMIDI_READ_TRUNCATED, at);
    const uint32_t length = readBigEndian32(data + at + 4);
    if (length > room - ChunkHeader) refuse(XEMIDI_READ_TRUNCATED, at);
    if (length < 6) refuse(XEMIDI_READ_BAD_HEADER, at);
    const uint8_t* fields = data + at + ChunkHeader;
    header.format = readBigEndian16(fields);
    header.tracks = readBigEndian16(fields + 2);
    const uint32_t division = readBigEndian16(fields + 4);
    if (header.format > 1) refuse(XEMIDI_READ_FORMAT, at + ChunkHeader);
    if (header.tracks == 0 || (header.format == 0 && header.tracks != 1))
        refuse(XEMIDI_READ_BAD_HEADER, at + ChunkHeader + 2);
    if (division == 0 || division > 0x7FFF) refuse(XEMIDI_READ_SMPTE, at + ChunkHeader + 4);
    header.division = static_cast<uint16_t>(division);
    header.next = at + ChunkHeader + length;
}

Header headerOf(const uint8_t* data, uint32_t size) {
    Header header;
    header.end = size;
    if (size >= 4 && hasTag(data, "RIFF")) unwrapRiff(data, size, header);
    readHeader(data, header);
    return header;
}

// The next track chunk's events [begin, end) from at, skipping chunks of
// other types; at moves past it. A file whose chunks end before it is cut
// short.
void nextTrack(const uint8_t* data, const Header& header, uint32_t& at, uint32_t& begin,
               uint32_t& end) {
    for (;;) {
        if (header.end - at < ChunkHeader) refuse(XEMIDI_READ_TRUNCATED, at);
        const uint32_t length = readBigEndian32(data + at + 4);
        if (length > header.end - at - ChunkHeader) refuse(XEMIDI_READ_TRUNCATED, at);
        const bool track = hasTag(data + at, "MTrk");
        begin = at + ChunkHeader;
        at = end = begin + length;
        if (track) return;
    }
}

// Reads one track chunk's events, data[begin, end), as a run of list. The
// loop keeps where it is, the tick and the running status in locals, and
// the rarer events take them by value and give back where they end: the
// bytes the loop writes cannot then be taken to change them. A delta time
// of one byte is read at once; a longer one, and every length, elsewhere.
class TrackReader {
  public:
    TrackReader(const uint8_t* data, uint32_t begin, uint32_t end, EventList& list)
        : data_(data), begin_(data + begin), end_(data + end), list_(list) {}

    void read() {
        // Most events take three bytes or more (a delta time, a status byte
        // or running status, data): room for that many, and for the rest
        // of the chunk at two bytes an event should they be shorter.
        const uint8_t* at = begin_;
        list_.reserveRun(static_cast<size_t>(end_ - at) / 3 + 16);
        uint64_t tick = 0;
        uint8_t running = 0;  // the last channel message's status, 0 before one
        while (at != end_) {
            const uint8_t* event = at;
            uint32_t delta = *at++;
            if (delta >= 0x80) at = longVarLen(at, event, delta);
            tick += delta;
            if (tick > UINT32_MAX) refuse(XEMIDI_READ_TICK_RANGE, offsetOf(event));
            if (at == end_) cutShort(event);
            uint8_t status = *at;
            if (status >= 0xF0) {
                if (status == 0xFF && end_ - at >= 2 && at[1] == EndOfTrackType) {
                    skipEndOfTrack(at + 2, event);
                    return;
                }
                at = lengthPrefixed(at, event, static_cast<uint32_t>(tick));
                continue;
            }
            if (status >= 0x80) {
                running = status;
                ++at;
            } else if (running == 0) {
                refuse(XEMIDI_READ_NO_STATUS, offsetOf(at));
            } else {
                status = running;
            }
            const int kind = status >> 4;
            const bool two = kind != 0xC && kind != 0xD;
            if (end_ - at < (two ? 2 : 1)) cutShort(event);
            const uint8_t bytes[3] = {status, at[0], two ? at[1] : uint8_t{0}};
            if ((bytes[1] | bytes[2]) >= 0x80) refuse(XEMIDI_READ_BAD_EVENT, offsetOf(bad(at)));
            at += two ? 2 : 1;
            if (list_.runRoom() == 0) list_.reserveRun(static_cast<size_t>(end_ - at) / 2 + 1);
            list_.appendToRun(static_cast<uint32_t>(tick), bytes, two ? 3 : 2);
        }
    }

  private:
    [[noreturn]] void cutShort(const uint8_t* event) const {
        refuse(XEMIDI_READ_TRUNCATED, offsetOf(event));
    }
    uint32_t offsetOf(const uint8_t* at) const { return static_cast<uint32_t>(at - data_); }
    // The data byte of 0x80 or more at at or after it.
    static const uint8_t* bad(const uint8_t* at) { return at[0] >= 0x80 ? at : at + 1; }

    // The rest of a variable-length quantity whose first byte, first, is
    // read; its value in value, and where it ends.
    const uint8_t* longVarLen(const uint8_t* at, const uint8_t* event, uint32_t& value) const {
        const uint8_t* start = at - 1;
        value &= 0x7Fu;
        for (int i = 1;; ++i) {
            if (i == 4) refuse(XEMIDI_READ_LONG_NUMBER, offsetOf(start));
            if (at == end_) cutShort(event);
            const uint8_t b = *at++;
            value = value << 7 | (b & 0x7Fu);
            if (b < 0x80) return at;
        }
    }
    const uint8_t* varLen(const uint8_t* at, const uint8_t* event, uint32_t& value) const {
        if (at == end_) cutShort(event);
        value = *at++;
        return value < 0x80 ? at : longVarLen(at, event, value);
    }

    // The end of track's length and data, which must lie in the chunk; the
    // bytes after it are not read.
    void skipEndOfTrack(const uint8_t* at, const uint8_t* event) const {
        uint32_t length = 0;
        at = varLen(at, event, length);
        if (length > static_cast<size_t>(end_ - at)) cutShort(event);
    }

    // A system-exclusive packet (F0 or F7) or a meta event (FF and its
    // type) at at, stored with its length written anew: a file may spend
    // more bytes on it than it needs. Any other status is refused.
    const uint8_t* lengthPrefixed(const uint8_t* at, const uint8_t* event, uint32_t tick) {
        const uint8_t status = *at++;
        if (status != 0xF0 && status != 0xF7 && status != 0xFF)
            refuse(XEMIDI_READ_BAD_EVENT, offsetOf(at - 1));
        const bool meta = status == 0xFF;
        if (meta && at == end_) cutShort(event);
        const uint8_t type = meta ? *at++ : 0;
        uint32_t length = 0;
        at = varLen(at, event, length);
        if (length > static_cast<size_t>(end_ - at)) cutShort(event);
        const uint32_t head = meta ? 2 : 1;
        const uint32_t size = head + varLenSize(length) + length;
        const auto write = [&](uint8_t* out) {
            out[0] = status;
            out[1] = type;  // overwritten by the length when there is no type
            out += head + writeVarLen(out + head, length);
            if (length != 0) std::memcpy(out, at, length);
        };
        if (list_.runRoom() == 0) list_.reserveRun(static_cast<size_t>(end_ - at) / 2 + 1);
        if (size <= Record::MaxInline) {
            uint8_t bytes[2 + 4] = {};  // room for any length, though this one is short
            write(bytes);
            list_.appendToRun(tick, bytes, size);
        } else {
            LongBlock block(size);
            write(block.bytes());
            list_.appendToRun(tick, block);
        }
        return at + length;
    }

    const uint8_t* data_;
    const uint8_t* begin_;
    const uint8_t* end_;
    EventList& list_;
};

void readTracks(const uint8_t* data, const Header& header, TrackLayout layout,
                std::vector<std::unique_ptr<SmfObject>>& objects, uint32_t& at) {
    std::vector<size_t> runEnds;
    at = header.next;
    for (uint32_t t = 0; t < header.tracks; ++t) {
        uint32_t begin = 0, end = 0;
        nextTrack(data, header, at, begin, end);
        if (layout == TrackLayout::OnePerTrack || objects.empty())
            objects.push_back(std::make_unique<SmfObject>(header.division));
        EventList& list = objects.back()->events;
        TrackReader(data, begin, end, list).read();
        if (layout == TrackLayout::OnePerTrack) {
            list.finishRuns(nullptr, 1);
        } else {
            runEnds.push_back(list.appended());
        }
    }
    if (layout == TrackLayout::Merged)
        objects.back()->events.finishRuns(runEnds.data(), runEnds.size());
}

}  // namespace

ReadOutcome readImage(const uint8_t* data, uint32_t size, TrackLayout layout, uint32_t capacity,
                      std::vector<std::unique_ptr<SmfObject>>& objects, uint32_t& tracks) noexcept {
    ReadOutcome outcome;
    try {
        const Header header = headerOf(data, size);
        if (layout == TrackLayout::OnePerTrack && header.tracks > capacity) {
            tracks = header.tracks;
            return {XEMIDI_READ_TOO_MANY_TRACKS, header.next};
        }
        readTracks(data, header, layout, objects, outcome.offset);
        tracks = static_cast<uint32_t>(objects.size());
    } catch (const Refusal& refusal) {
        outcome = {refusal.reason, refusal.offset};
    } catch (...) {  // std::bad_alloc, and an object's limits
        outcome = {XEMIDI_READ_NO_MEMORY, 0};
    }
    if (outcome.reason != XEMIDI_READ_OK) objects.clear();
    return outcome;
}

}  // namespace xemidi
