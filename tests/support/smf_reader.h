// An independent reader of format-0 Standard MIDI Files, for checking what
// the library writes: it parses the chunks, undoes running status and
// returns every track event at its absolute tick and where it begins.
#pragma once

#include <cstdint>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/stored_forms.h"
#include "xemidi.h"

namespace smftest {

struct TrackEvent {
    uint32_t tick;
    Bytes bytes;  // status byte restored; sysex/meta with their length prefix
    bool operator==(const TrackEvent& other) const {
        return tick == other.tick && bytes == other.bytes;
    }
};

// Failures print events as their tick and bytes in hexadecimal.
inline void PrintTo(const TrackEvent& event, std::ostream* out) {
    static const char digits[] = "0123456789ABCDEF";
    *out << event.tick << ':';
    for (uint8_t b : event.bytes) *out << ' ' << digits[b >> 4] << digits[b & 15];
}

struct SmfFile {
    uint16_t division = 0;
    std::vector<TrackEvent> events;  // without the end of track
    std::vector<size_t> starts;      // where each event begins, and then the end of track
};

class Reader {
  public:
    explicit Reader(const Bytes& data) : data_(data) {}

    SmfFile read() {
        SmfFile file;
        expectTag("MThd");
        if (u32() != 6 || u16() != 0 || u16() != 1) fail("header chunk");
        file.division = u16();
        expectTag("MTrk");
        const uint32_t length = u32();
        if (length != data_.size() - at_) fail("track length");
        uint32_t tick = 0;
        uint8_t status = 0;
        for (;;) {
            file.starts.push_back(at_);
            tick += varLen();
            TrackEvent event{tick, {}};
            uint8_t first = byte();
            if (first < 0x80) {  // running status
                if (status < 0x80 || status >= 0xF0) fail("running status without a status");
                event.bytes.push_back(status);
                --at_;
            } else {
                event.bytes.push_back(first);
                status = first;
            }
            const uint8_t kind = event.bytes[0];
            if (kind == 0xFF) {
                const uint8_t type = byte();
                const size_t start = at_;
                const uint32_t n = varLen();
                event.bytes.push_back(type);
                event.bytes.insert(event.bytes.end(), data_.begin() + long(start),
                                   data_.begin() + long(at_));
                take(event.bytes, n);
                if (type == 0x2F) {
                    if (at_ != data_.size() || n != 0) fail("end of track not last");
                    return file;
                }
            } else if (kind == 0xF0 || kind == 0xF7) {  // a packet, or an escape
                const size_t start = at_;
                const uint32_t n = varLen();
                event.bytes.insert(event.bytes.end(), data_.begin() + long(start),
                                   data_.begin() + long(at_));
                take(event.bytes, n);
            } else if (kind >= 0xF0) {
                fail("system message in a file");
            } else {
                take(event.bytes, (kind >> 4) == 0xC || (kind >> 4) == 0xD ? 1 : 2);
            }
            file.events.push_back(event);
        }
    }

  private:
    [[noreturn]] void fail(const std::string& what) const {
        throw std::runtime_error("bad SMF at byte " + std::to_string(at_) + ": " + what);
    }
    uint8_t byte() {
        if (at_ >= data_.size()) fail("unexpected end");
        return data_[at_++];
    }
    uint16_t u16() { return uint16_t(byte() << 8 | byte()); }
    uint32_t u32() { return uint32_t(u16()) << 16 | u16(); }
    void expectTag(const char* tag) {
        for (int i = 0; i < 4; ++i) {
            if (byte() != uint8_t(tag[i])) fail(std::string("tag ") + tag);
        }
    }
    uint32_t varLen() {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            const uint8_t b = byte();
            value = value << 7 | (b & 0x7F);
            if (!(b & 0x80)) return value;
        }
        fail("variable-length quantity longer than 4 bytes");
    }
    void take(Bytes& out, uint32_t n) {
        if (n > data_.size() - at_) fail("event runs past the end");
        out.insert(out.end(), data_.begin() + long(at_), data_.begin() + long(at_ + n));
        at_ += n;
    }

    const Bytes& data_;
    size_t at_ = 0;
};

// The image of an object through the public interface; empty when the
// library refuses to give one.
inline Bytes imageOf(SmfHandle smf) {
    uint32_t size = 0;
    if (!GetSmfDataSize(smf, &size)) return {};
    Bytes image(size);
    if (!GetSmfData(smf, image.data(), size)) return {};
    return image;
}

// The events an object holds, through GetSmfEvent: empty when it refuses.
inline std::vector<TrackEvent> heldEvents(SmfHandle smf) {
    std::vector<TrackEvent> events;
    uint32_t count = 0;
    if (!GetSmfEventCount(smf, &count)) return events;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t tick = 0, needed = 0;
        GetSmfEvent(smf, i, nullptr, nullptr, 0, &needed);
        Bytes bytes(needed);
        if (!GetSmfEvent(smf, i, &tick, bytes.data(), needed, &needed)) return {};
        events.push_back({tick, bytes});
    }
    return events;
}

inline SmfFile readBack(SmfHandle smf) {
    const Bytes image = imageOf(smf);
    return Reader(image).read();
}

}  // namespace smftest
