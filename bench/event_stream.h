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

// A song as a host writes it with the shorthands, call by call in time
// order: notes (cal_insert_Note, duration 15 to 1920 ticks) and controllers
// (cal_insert_Control, duration 0) on 16 channels.
struct Call {
    uint32_t tick;
    uint32_t duration;  // 0 for a controller
    uint8_t bytes[3];   // the note-on, or the controller message
};
std::vector<Call> timeOrderedCalls(size_t notes, size_t controllers, uint32_t seed = 1);

// The events of the calls (a note-off at the end of each note), sorted by
// tick, of equal ticks in the order of the calls.
std::vector<MidiEvent> eventsOf(const std::vector<Call>& calls);

// The bare encoder: the Standard MIDI File of events already in track
// order (format 0, running status, end of track), by the benchmark's own
// code: the floor that no storage can beat. Returns its size; writes it to
// out when out is not null.
size_t encodeSorted(const std::vector<MidiEvent>& events, uint8_t* out);

}  // namespace bench
