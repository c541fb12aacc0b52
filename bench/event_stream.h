// The benchmarks' music: channel messages in time order, as a sequencer
// would record them. 16 channels of notes with overlapping durations (a
// note-off is a separate 3-byte event at its own tick) and controller
// sweeps. No key is released and struck again on one tick, so the notes
// pair up the same way whatever the order of events at one tick.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace bench {

struct MidiEvent {
    uint32_t tick;
    uint8_t bytes[3];
};

constexpr int Division = 480;

// count events, ticks ascending; the same list for the same count and seed.
std::vector<MidiEvent> timeOrderedEvents(size_t count, uint32_t seed = 1);

// The music of notes notes (and the controllers between them), ticks
// ascending: about 2.55 events a note.
std::vector<MidiEvent> timeOrderedNotes(size_t notes, uint32_t seed = 1);

// The same events in a random order of insertion.
std::vector<MidiEvent> shuffled(std::vector<MidiEvent> events, uint32_t seed = 2);

}  // namespace bench
