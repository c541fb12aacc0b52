// The song of the benchmarks (bench::timeOrderedCalls: notes with their
// durations and controllers, in time order) written as the input of
// xemidi_batch_calls, for bench/js/compare.mjs to give the same calls to the
// JavaScript package, its peers and the C library.
//
//   xemidi_song_list NOTES CONTROLLERS NOTE_COUNT CONTROLLER_COUNT
//
// NOTES gets 12 bytes a note, CONTROLLERS 8 bytes a controller, in the
// order of the calls (see batch_calls.cpp).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "event_stream.h"

namespace {

void put32(std::vector<uint8_t>& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void write(const char* path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) std::abort();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr,
                     "usage: xemidi_song_list NOTES CONTROLLERS NOTE_COUNT CONTROLLER_COUNT\n");
        return 2;
    }
    const auto calls = bench::timeOrderedCalls(std::strtoul(argv[3], nullptr, 10),
                                               std::strtoul(argv[4], nullptr, 10));
    std::vector<uint8_t> notes, controllers;
    for (const bench::Call& call : calls) {
        if (call.duration != 0) {
            put32(notes, call.tick);
            put32(notes, call.duration);
            notes.insert(notes.end(), {static_cast<uint8_t>(call.bytes[0] & 0x0F), call.bytes[1],
                                       call.bytes[2], 0});
        } else {
            put32(controllers, call.tick);
            controllers.insert(controllers.end(), {call.bytes[0], call.bytes[1], call.bytes[2], 0});
        }
    }
    write(argv[1], notes);
    write(argv[2], controllers);
    return 0;
}
