#include "event_stream.h"

#include <algorithm>
#include <cstdint>
#include <queue>
#include <random>

namespace bench {
namespace {

struct PendingOff {
    uint32_t tick;
    uint8_t channel;
    uint8_t key;
    bool operator>(const PendingOff& other) const { return tick > other.tick; }
};

class Recorder {
  public:
    Recorder(size_t count, size_t notes, uint32_t seed)
        : count_(count), notes_(notes), rng_(seed) {}

    std::vector<MidiEvent> record() {
        while (events_.size() + offs_.size() < count_ && struck_ < notes_) {
            tick_ += Steps[pick(0, 4)];
            releaseUntil(tick_);
            // A note needs room for its note-off too.
            if (pick(0, 2) != 0 && events_.size() + offs_.size() + 2 <= count_) {
                strike();
            } else {
                sweep();
            }
        }
        releaseUntil(UINT32_MAX);
        return std::move(events_);
    }

  private:
    static constexpr uint32_t Steps[5] = {0, 0, 15, 30, 60};

    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }
    uint8_t byte(int low, int high) { return static_cast<uint8_t>(pick(low, high)); }

    void add(uint32_t tick, uint8_t status, uint8_t a, uint8_t b) {
        events_.push_back({tick, {status, a, b}});
    }

    void releaseUntil(uint32_t tick) {
        while (!offs_.empty() && offs_.top().tick <= tick) {
            const PendingOff off = offs_.top();
            offs_.pop();
            add(off.tick, static_cast<uint8_t>(0x80 | off.channel), off.key, 64);
            sounding_[off.channel][off.key] = false;
            releasedAt_[off.channel][off.key] = off.tick;
        }
    }

    // A note on a key of its channel that is silent and was not released on
    // this very tick.
    void strike() {
        const uint8_t channel = byte(0, 15);
        const uint8_t key = byte(36, 96);
        if (sounding_[channel][key] || releasedAt_[channel][key] == tick_) return sweep();
        add(tick_, static_cast<uint8_t>(0x90 | channel), key, byte(1, 127));
        ++struck_;
        sounding_[channel][key] = true;
        offs_.push({tick_ + static_cast<uint32_t>(pick(15, 1920)), channel, key});
    }

    void sweep() {
        static const uint8_t controllers[5] = {1, 7, 10, 11, 74};
        const uint8_t channel = byte(0, 15);
        const uint8_t controller = controllers[pick(0, 4)];
        const uint8_t value = static_cast<uint8_t>((tick_ / 15 + channel * 8u) & 0x7F);
        add(tick_, static_cast<uint8_t>(0xB0 | channel), controller, value);
    }

    size_t count_;
    size_t notes_;
    size_t struck_ = 0;
    std::mt19937 rng_;
    uint32_t tick_ = 0;
    std::vector<MidiEvent> events_;
    std::priority_queue<PendingOff, std::vector<PendingOff>, std::greater<>> offs_;
    bool sounding_[16][128] = {};
    uint32_t releasedAt_[16][128] = {};
};

}  // namespace

std::vector<MidiEvent> timeOrderedEvents(size_t count, uint32_t seed) {
    return Recorder(count, SIZE_MAX, seed).record();
}

std::vector<MidiEvent> timeOrderedNotes(size_t notes, uint32_t seed) {
    return Recorder(SIZE_MAX, notes, seed).record();
}

std::vector<MidiEvent> shuffled(std::vector<MidiEvent> events, uint32_t seed) {
    std::shuffle(events.begin(), events.end(), std::mt19937(seed));
    return events;
}

std::vector<Call> timeOrderedCalls(size_t notes, size_t controllers, uint32_t seed) {
    static constexpr uint32_t Steps[5] = {0, 0, 15, 30, 60};
    std::mt19937 rng(seed);
    const auto pick = [&](uint32_t low, uint32_t high) {
        return std::uniform_int_distribution<uint32_t>(low, high)(rng);
    };
    std::vector<Call> calls;
    calls.reserve(notes + controllers);
    uint32_t tick = 0;
    while (notes + controllers != 0) {
        tick += Steps[pick(0, 4)];
        const auto channel = static_cast<uint8_t>(pick(0, 15));
        if (pick(1, static_cast<uint32_t>(notes + controllers)) <= notes) {
            calls.push_back(
                {tick,
                 pick(15, 1920),
                 {static_cast<uint8_t>(0x90 | channel), static_cast<uint8_t>(pick(36, 96)),
                  static_cast<uint8_t>(pick(1, 127))}});
            --notes;
        } else {
            calls.push_back({tick,
                             0,
                             {static_cast<uint8_t>(0xB0 | channel), 7,
                              static_cast<uint8_t>((tick / 15 + channel * 8u) & 0x7F)}});
            --controllers;
        }
    }
    return calls;
}

std::vector<MidiEvent> eventsOf(const std::vector<Call>& calls) {
    std::vector<MidiEvent> events;
    events.reserve(calls.size() * 2);
    for (const Call& call : calls) {
        events.push_back({call.tick, {call.bytes[0], call.bytes[1], call.bytes[2]}});
        if (call.duration != 0) {
            const auto off = static_cast<uint8_t>(0x80 | (call.bytes[0] & 0x0F));
            events.push_back({call.tick + call.duration, {off, call.bytes[1], 64}});
        }
    }
    std::stable_sort(events.begin(), events.end(),
                     [](const MidiEvent& a, const MidiEvent& b) { return a.tick < b.tick; });
    return events;
}

size_t encodeSorted(const std::vector<MidiEvent>& events, uint8_t* out) {
    static const uint8_t header[22] = {
        'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, Division >> 8, Division & 0xFF,
        'M', 'T', 'r', 'k'};
    size_t at = sizeof header;
    uint32_t previous = 0;
    uint8_t status = 0;
    for (const MidiEvent& event : events) {
        uint32_t delta = event.tick - previous;
        uint8_t groups[4];
        int n = 0;
        do {
            groups[n++] = static_cast<uint8_t>(delta & 0x7F);
            delta >>= 7;
        } while (delta != 0);
        const bool running = event.bytes[0] == status;
        if (out != nullptr) {
            for (int i = n; i-- > 0;)
                out[at++] = static_cast<uint8_t>(groups[i] | (i != 0 ? 0x80 : 0));
            for (int i = running ? 1 : 0; i < 3; ++i) out[at++] = event.bytes[i];
        } else {
            at += static_cast<size_t>(n) + (running ? 2 : 3);
        }
        status = event.bytes[0];
        previous = event.tick;
    }
    if (out != nullptr) {
        std::copy(header, header + sizeof header, out);
        const auto length = static_cast<uint32_t>(at + 4 - sizeof header);
        for (int i = 0; i < 4; ++i) out[18 + i] = static_cast<uint8_t>(length >> (24 - 8 * i));
        const uint8_t end[4] = {0x00, 0xFF, 0x2F, 0x00};
        std::copy(end, end + 4, out + at);
    }
    return at + 4;
}

}  // namespace bench
