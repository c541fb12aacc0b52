// The C library's own build of what the Python binding's batch inserters
// give it, for bench/compare.py: cal_insert_Note for each note, then
// InsertMidiEvent for each controller, then the image, each phase timed.
//
//   xemidi_batch_calls NOTES CONTROLLERS REPEAT OUT.mid
//
// NOTES holds 12 bytes a note (little-endian 32-bit tick and duration, then
// channel, key, velocity and a spare byte), CONTROLLERS 8 bytes a message
// (little-endian 32-bit tick and 3 bytes, then a spare one). Prints one
// JSON line with the fastest build and image of REPEAT runs, and writes the
// file of the last run to OUT.mid.
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "xemidi.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Note {
    uint32_t tick;
    int32_t duration;
    int32_t channel, key, velocity;
};

struct Controller {
    uint32_t tick;
    uint8_t bytes[3];
};

std::vector<uint8_t> readFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) std::abort();
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
}

uint32_t word(const uint8_t* p) {
    return static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16) | static_cast<uint32_t>(p[3]) << 24;
}

std::vector<Note> readNotes(const char* path) {
    const std::vector<uint8_t> data = readFile(path);
    std::vector<Note> notes;
    for (size_t at = 0; at + 12 <= data.size(); at += 12) {
        const uint8_t* p = &data[at];
        notes.push_back({word(p), static_cast<int32_t>(word(p + 4)), p[8], p[9], p[10]});
    }
    return notes;
}

std::vector<Controller> readControllers(const char* path) {
    const std::vector<uint8_t> data = readFile(path);
    std::vector<Controller> controllers;
    for (size_t at = 0; at + 8 <= data.size(); at += 8) {
        const uint8_t* p = &data[at];
        controllers.push_back({word(p), {p[4], p[5], p[6]}});
    }
    return controllers;
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: xemidi_batch_calls NOTES CONTROLLERS REPEAT OUT.mid\n");
        return 2;
    }
    // As xemidi_peers: freed memory stays in the process, for a warm heap.
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    const std::vector<Note> notes = readNotes(argv[1]);
    const std::vector<Controller> controllers = readControllers(argv[2]);
    const int repeat = std::max(1, std::atoi(argv[3]));
    double build = 1e9, image = 1e9, firstBuild = 0, firstImage = 0;
    std::vector<uint8_t> file;
    for (int i = 0; i < repeat; ++i) {
        auto start = Clock::now();
        SmfHandle smf = CreateSmf(480);
        for (const Note& n : notes) {
            if (!cal_insert_Note(smf, n.tick, n.channel, n.key, n.velocity, n.duration)) {
                std::abort();
            }
        }
        for (const Controller& c : controllers) {
            if (!InsertMidiEvent(smf, c.tick, c.bytes, 3)) std::abort();
        }
        const double built = secondsSince(start);
        start = Clock::now();
        uint32_t size = 0;
        if (!GetSmfDataSize(smf, &size)) std::abort();
        file.assign(size, 0);
        if (!GetSmfData(smf, file.data(), size)) std::abort();
        const double imaged = secondsSince(start);
        DeleteSmf(smf);
        if (i == 0) firstBuild = built, firstImage = imaged;
        build = std::min(build, built);
        image = std::min(image, imaged);
    }
    std::ofstream out(argv[4], std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()),
              static_cast<std::streamsize>(file.size()));
    if (!out) std::abort();
    std::printf(
        "{\"peer\": \"xemidi-c-calls\", \"build\": %.6f, \"write\": %.6f, \"first_build\": %.6f, "
        "\"first_write\": %.6f, \"bytes\": %zu}\n",
        build, image, firstBuild, firstImage, file.size());
    return 0;
}
