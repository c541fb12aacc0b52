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

// Data bytes a channel message takes after its status byte.
uint32_t dataBytesOf(uint8_t status) {
    const int kind = status >> 4;
    return kind == 0xC || kind == 0xD ? 1 : 2;
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

// Reads one track chunk's events, data[begin, end), as a run of list. A
// variable-length quantity of one byte (most delta times and lengths) is
// read at once; a longer one here.
class TrackReader {
  public:
    TrackReader(const uint8_t* data, uint32_t begin, uint32_t end, EventList& list)
        : data_(data), at_(data + begin), end_(data + end), list_(list) {}

    void read() {
        // Every event takes two bytes or more: a delta time and a status or
        // data byte.
        list_.reserveRun(static_cast<size_t>(end_ - at_) / 2 + 1);
        while (at_ != end_) {
            event_ = at_;
            tick_ += varLen();
            if (tick_ > UINT32_MAX) refuse(XEMIDI_READ_TICK_RANGE, offsetOf(event_));
            if (at_ == end_) cutShort();
            const uint8_t first = *at_;
            if (first < 0xF0) {
                channelMessage(first);
            } else if (first == 0xF0 || first == 0xF7) {
                ++at_;
                lengthPrefixed(first, 0, false);
            } else if (first == 0xFF) {
                if (++at_ == end_) cutShort();
                const uint8_t type = *at_++;
                if (type == EndOfTrackType) return skip(varLen());
                lengthPrefixed(first, type, true);
            } else {
                refuse(XEMIDI_READ_BAD_EVENT, offsetOf(at_));
            }
        }
    }

  private:
    [[noreturn]] void cutShort() const { refuse(XEMIDI_READ_TRUNCATED, offsetOf(event_)); }
    uint32_t offsetOf(const uint8_t* at) const { return static_cast<uint32_t>(at - data_); }

    uint32_t varLen() {
        if (at_ == end_) cutShort();
        const uint8_t first = *at_++;
        return first < 0x80 ? first : longVarLen(first);
    }
    uint32_t longVarLen(uint8_t first) {
        const uint8_t* start = at_ - 1;
        uint32_t value = first & 0x7Fu;
        for (int i = 1;; ++i) {
            if (i == 4) refuse(XEMIDI_READ_LONG_NUMBER, offsetOf(start));
            if (at_ == end_) cutShort();
            const uint8_t b = *at_++;
            value = value << 7 | (b & 0x7Fu);
            if (b < 0x80) return value;
        }
    }
    void skip(uint32_t count) {
        if (count > static_cast<size_t>(end_ - at_)) cutShort();
        at_ += count;
    }

    // A channel message, its status byte given or running on the last one.
    void channelMessage(uint8_t first) {
        uint8_t bytes[3] = {first, 0, 0};
        if (first < 0x80) {
            if (running_ == 0) refuse(XEMIDI_READ_NO_STATUS, offsetOf(at_));
            bytes[0] = running_;
        } else {
            ++at_;
        }
        const uint32_t count = dataBytesOf(bytes[0]);
        if (static_cast<size_t>(end_ - at_) < count) cutShort();
        for (uint32_t i = 0; i < count; ++i) {
            if (at_[i] >= 0x80) refuse(XEMIDI_READ_BAD_EVENT, offsetOf(at_ + i));
            bytes[1 + i] = at_[i];
        }
        at_ += count;
        running_ = bytes[0];
        list_.appendToRun(static_cast<uint32_t>(tick_), bytes, 1 + count);
    }

    // A system-exclusive packet (F0 or F7) or a meta event (FF and its
    // type), stored with its length written anew: a file may spend more
    // bytes on it than it needs.
    void lengthPrefixed(uint8_t status, uint8_t type, bool meta) {
        const uint32_t length = varLen();
        if (length > static_cast<size_t>(end_ - at_)) cutShort();
        const uint32_t head = meta ? 2 : 1;
        const uint32_t size = head + varLenSize(length) + length;
        const auto write = [&](uint8_t* out) {
            out[0] = status;
            out[1] = type;  // overwritten by the length when there is no type
            out += head + writeVarLen(out + head, length);
            if (length != 0) std::memcpy(out, at_, length);
        };
        const auto tick = static_cast<uint32_t>(tick_);
        if (size <= Record::MaxInline) {
            uint8_t bytes[4] = {};
            write(bytes);
            list_.appendToRun(tick, bytes, size);
        } else {
            LongBlock block(size);
            write(block.bytes());
            list_.appendToRun(tick, block);
        }
        at_ += length;
    }

    const uint8_t* data_;
    const uint8_t* at_;
    const uint8_t* end_;
    const uint8_t* event_ = nullptr;  // where the event being read begins
    EventList& list_;
    uint64_t tick_ = 0;
    uint8_t running_ = 0;  // the last channel message's status, 0 before one
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
