// The native half of bench/compare.py: runs one event list through xemidi,
// libsmf and portsmf in this process and prints one JSON line per library.
//
//   xemidi_peers COUNT REPEAT OUTDIR [time|random [LIBRARY,...]]
//
// Writes OUTDIR/events.bin (the list, in the order the libraries insert it:
// per event a little-endian 32-bit tick and 3 bytes, 8 bytes in all) and
// OUTDIR/<library>.mid. In random order every library takes the events (or
// for portsmf the paired notes) shuffled. Each library runs
// up to REPEAT times (see report()); the fastest build and the fastest image
// are reported. LIBRARY picks some of xemidi, libsmf, portsmf (default: all;
// none only writes the event list).
#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <random>
#include <string>

#include "peer.h"

namespace {

using peers::Result;

void writeEvents(const peers::Events& events, const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    for (const bench::MidiEvent& event : events) {
        const uint8_t record[8] = {static_cast<uint8_t>(event.tick),
                                   static_cast<uint8_t>(event.tick >> 8),
                                   static_cast<uint8_t>(event.tick >> 16),
                                   static_cast<uint8_t>(event.tick >> 24),
                                   event.bytes[0],
                                   event.bytes[1],
                                   event.bytes[2],
                                   0};
        out.write(reinterpret_cast<const char*>(record), sizeof record);
    }
    if (!out) std::abort();
}

long maxResidentKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Runs a library up to repeat times, while its runs (cleaning up included)
// have taken less than Budget seconds, and at least twice when its build is
// quick, so that every quick build is also timed on a warm heap. The image
// is taken only while the images so far took less than Budget seconds.
void report(const char* name, size_t events, int repeat,
            const std::function<Result(bool takeImage)>& run) {
    constexpr double Budget = 20.0;
    Result best, first;
    double buildTotal = 0, imageTotal = 0;
    const long residentBefore = maxResidentKiB();
    const auto start = peers::Clock::now();
    for (int i = 0; i < repeat; ++i) {
        const bool again = i < 2 && buildTotal < Budget;
        if (i > 0 && !again && peers::secondsSince(start) >= Budget) break;
        const bool takeImage = imageTotal < Budget;
        const Result r = run(takeImage);
        if (i == 0) best = first = r;
        best.buildSeconds = std::min(best.buildSeconds, r.buildSeconds);
        if (takeImage) best.writeSeconds = std::min(best.writeSeconds, r.writeSeconds);
        buildTotal += r.buildSeconds;
        imageTotal += takeImage ? r.writeSeconds : 0;
    }
    std::printf(
        "{\"peer\": \"%s\", \"events\": %zu, \"build\": %.6f, \"write\": %.6f, "
        "\"first_build\": %.6f, \"first_write\": %.6f, \"bytes\": %zu, \"heap_bytes\": %lld, "
        "\"max_rss_growth_kib\": %ld}\n",
        name, events, best.buildSeconds, best.writeSeconds, first.buildSeconds, first.writeSeconds,
        first.bytes, first.heapBytes, maxResidentKiB() - residentBefore);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string order = argc > 4 ? argv[4] : "time";
    if (argc < 4 || argc > 6 || (order != "time" && order != "random")) {
        std::fprintf(stderr,
                     "usage: xemidi_peers COUNT REPEAT OUTDIR [time|random [LIBRARY,...]]\n");
        return 2;
    }
    // Keep freed memory in the process: every library's later runs then reuse
    // a warm heap instead of the first one's returning it to the system.
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    const size_t count = std::strtoul(argv[1], nullptr, 10);
    const int repeat = std::max(1, std::atoi(argv[2]));
    const std::string dir = argv[3];
    const std::string chosen =
        "," + std::string(argc == 6 ? argv[5] : "xemidi,libsmf,portsmf") + ",";
    auto wanted = [&](const char* name) {
        return chosen.find("," + std::string(name) + ",") != std::string::npos;
    };
    const peers::Events inTimeOrder = bench::timeOrderedEvents(count);
    std::vector<peers::Note> notes = peers::pairNotes(inTimeOrder);
    const bool random = order == "random";
    const peers::Events events = random ? bench::shuffled(inTimeOrder) : inTimeOrder;
    if (random) std::shuffle(notes.begin(), notes.end(), std::mt19937(3));
    writeEvents(events, dir + "/events.bin");

    // xemidi first, so that the growth of the resident set is its own.
    if (wanted("xemidi")) {
        report("xemidi", count, repeat,
               [&](bool image) { return peers::runXemidi(events, dir + "/xemidi.mid", image); });
    }
    if (wanted("libsmf")) {
        report("libsmf", count, repeat,
               [&](bool image) { return peers::runLibsmf(events, dir + "/libsmf.mid", image); });
    }
    if (wanted("portsmf")) {
        report("portsmf", count, repeat,
               [&](bool image) { return peers::runPortsmf(notes, dir + "/portsmf.mid", image); });
    }
    return 0;
}
