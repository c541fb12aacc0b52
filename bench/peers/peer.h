// One run of a MIDI library over the benchmark's event list: build an object
// in time order, then write its file image, each phase timed in-process.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "event_stream.h"

namespace peers {

using Events = std::vector<bench::MidiEvent>;
using Clock = std::chrono::steady_clock;

// A note as note-based libraries take it: start, length, and its note-on.
// Controllers come as length-0 entries with their own bytes.
struct Note {
    uint32_t tick;
    uint32_t duration;
    uint8_t bytes[3];
};

struct Result {
    double buildSeconds = 0;
    double writeSeconds = 0;
    size_t bytes = 0;         // size of the file image
    long long heapBytes = 0;  // heap in use after the build, less before
};

// Each runner builds, then, when takeImage is set, takes the image and writes it
// to path outside the timing.
Result runXemidi(const Events& events, const std::string& path, bool takeImage);
Result runLibsmf(const Events& events, const std::string& path, bool takeImage);
Result runPortsmf(const std::vector<Note>& notes, const std::string& path, bool takeImage);

// Notes paired from the event list (untimed preparation), in start order.
std::vector<Note> pairNotes(const Events& events);

double secondsSince(Clock::time_point start);
long long heapInUse();

}  // namespace peers
