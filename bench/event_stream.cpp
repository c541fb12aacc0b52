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

}  // namespace bench
