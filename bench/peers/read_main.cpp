// Reading a file, timed in one process: xemidi's ReadSmf, libsmf's
// smf_load_from_memory, portsmf's Alg_seq from a stream, and the floor, a
// bare decoding loop over the same bytes (variable-length delta times and
// running status, nothing stored). One JSON line per reader.
//
//   xemidi_read_peers EVENTS REPEAT OUTFILE
//
// The file is the benchmark's music of EVENTS events (bench/event_stream.h)
// as a format 0 image written by the benchmark's own encoder, saved to
// OUTFILE for the Python readers of read_compare.py. Each reader runs
// REPEAT times, the fastest run counting, but libsmf, which takes minutes
// for a large file, once. A run reads the file into the reader's own
// structure and frees it.
#include <glib.h>
#include <malloc.h>
#include <smf.h>
// allegro.h uses memcpy without including its header.
// clang-format off
#include <cstring>
#include <allegro.h>
// clang-format on

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "peer.h"
#include "xemidi.h"

namespace {

using Image = std::vector<uint8_t>;

// The bare loop: every event's delta time and bytes, running status
// resolved, the track's length trusted; it returns a sum of what it read
// so that none of the reading can be left out. Meta and system-exclusive
// events are skipped by their lengths.
uint64_t bareDecode(const Image& image) {
    const uint8_t* at = image.data() + 22;
    const uint8_t* end = image.data() + image.size();
    uint64_t sum = 0, tick = 0;
    uint8_t status = 0;
    while (at < end) {
        uint32_t delta = 0;
        do delta = delta << 7 | (*at & 0x7Fu);
        while (*at++ & 0x80);
        tick += delta;
        if (*at >= 0x80) status = *at++;
        if (status >= 0xF0) {  // meta (its type first) or system exclusive
            if (status == 0xFF) ++at;
            uint32_t length = 0;
            do length = length << 7 | (*at & 0x7Fu);
            while (*at++ & 0x80);
            at += length;
            continue;
        }
        const int kind = status >> 4;
        const uint32_t first = *at++;
        const uint32_t second = kind == 0xC || kind == 0xD ? 0 : *at++;
        sum += tick + status + first + second;
    }
    return sum;
}

double best(int repeat, const std::function<void()>& run) {
    double fastest = 1e9;
    for (int i = 0; i < repeat; ++i) {
        const auto start = peers::Clock::now();
        run();
        fastest = std::min(fastest, peers::secondsSince(start));
    }
    return fastest;
}

void report(const char* name, size_t events, double seconds) {
    std::printf("{\"reader\": \"%s\", \"events\": %zu, \"seconds\": %.6f}\n", name, events,
                seconds);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: xemidi_read_peers EVENTS REPEAT OUTFILE\n");
        return 2;
    }
    mallopt(M_TRIM_THRESHOLD, 1 << 30);  // every run on a warm heap, as in xemidi_peers
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    const std::vector<bench::MidiEvent> events =
        bench::timeOrderedEvents(std::strtoul(argv[1], nullptr, 10));
    const int repeat = std::max(1, std::atoi(argv[2]));
    Image image(bench::encodeSorted(events, nullptr));
    bench::encodeSorted(events, image.data());
    std::ofstream(argv[3], std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), long(image.size()));
    const size_t n = events.size();

    uint64_t sum = 0;
    report("bare loop", n, best(repeat, [&] { sum += bareDecode(image); }));
    report("xemidi", n, best(repeat, [&] {
               SmfHandle smf = ReadSmf(image.data(), uint32_t(image.size()), nullptr, nullptr);
               uint32_t count = 0;
               if (smf == nullptr || !GetSmfEventCount(smf, &count) || count != n) std::abort();
               DeleteSmf(smf);
           }));
    report("libsmf", n, best(1, [&] {
               smf_t* smf = smf_load_from_memory(image.data(), int(image.size()));
               if (smf == nullptr) std::abort();
               smf_delete(smf);
           }));
    report("portsmf", n, best(repeat, [&] {
               std::istringstream in(std::string(image.begin(), image.end()));
               Alg_seq seq(in, true);
               if (seq.get_read_error() != alg_no_error) std::abort();
           }));
    return sum == 0 ? 1 : 0;
}
