#include <malloc.h>

#include "peer.h"

namespace peers {

std::vector<Note> pairNotes(const Events& events) {
    std::vector<Note> notes;
    std::vector<size_t> open(16 * 128);
    for (const bench::MidiEvent& event : events) {
        const int kind = event.bytes[0] >> 4;
        const size_t slot = static_cast<size_t>((event.bytes[0] & 15) * 128 + event.bytes[1]);
        if (kind == 9) {
            open[slot] = notes.size();
            notes.push_back({event.tick, 0, {event.bytes[0], event.bytes[1], event.bytes[2]}});
        } else if (kind == 8) {
            notes[open[slot]].duration = event.tick - notes[open[slot]].tick;
        } else {
            notes.push_back({event.tick, 0, {event.bytes[0], event.bytes[1], event.bytes[2]}});
        }
    }
    return notes;
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Small blocks and mapped ones (large blocks: glibc maps those of 32 MiB
// and more even with the settings of main.cpp).
long long heapInUse() {
    const struct mallinfo2 heap = mallinfo2();
    return static_cast<long long>(heap.uordblks + heap.hblkhd);
}

}  // namespace peers
