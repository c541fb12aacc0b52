// The heap an object of 1,000,000 three-byte events holds once built and
// read, per event: inserted in time order, in random order, and as notes
// and controllers written in time order (the Google Benchmark program's
// BM_HeapPerEvent*, without Google Benchmark, so that it also builds for
// the Windows DLLs). The heap in use is glibc's count, or on Windows the
// busy blocks of every heap of the process.
//
// With an argument it times instead, once, the song of the Google
// Benchmark program's BM_SongBuildAndImage (300,000 cal_insert_Note and
// 37,500 cal_insert_Control in time order, then GetSmfDataSize, a buffer,
// GetSmfData) or its floor (the same events sorted beforehand, encoded into
// a new buffer by the benchmark's own encoder), so that a script can take
// one build per fresh process (bench/fresh_runs.py):
//
//   heap_per_event song | song-floor     prints seconds=... faults=...
//
//   heap_per_event        (bench/CMakeLists.txt builds it beside xemidi_bench)
//   i686-w64-mingw32-g++ -O2 -std=c++17 -Iinclude -Ibench bench/heap_per_event.cpp
//       bench/event_stream.cpp bench/song_calls.cpp build/win32/libxemidi.dll.a
//       -o heap_per_event.exe
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "event_stream.h"
#include "song_calls.h"
#include "xemidi.h"

#ifdef _WIN32
#include <windows.h>

long long heapInUse() {
    HANDLE heaps[64];
    const DWORD count = GetProcessHeaps(64, heaps);
    long long used = 0;
    for (DWORD i = 0; i < count && i < 64; ++i) {
        PROCESS_HEAP_ENTRY entry{};
        HeapLock(heaps[i]);
        while (HeapWalk(heaps[i], &entry)) {
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) used += entry.cbData + entry.cbOverhead;
        }
        HeapUnlock(heaps[i]);
    }
    return used;
}
// Fresh pages are not counted on Windows.
long long pageFaults() {
    return -1;
}
#else
#include <malloc.h>
#include <sys/resource.h>

long long pageFaults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

long long heapInUse() {
    const struct mallinfo2 heap = mallinfo2();
    return static_cast<long long>(heap.uordblks + heap.hblkhd);
}
#endif

namespace {

// As many calls accepted as made, or the program stops.
void insertAll(SmfHandle smf, const std::vector<bench::Call>& calls) {
    if (bench::insertCalls(smf, calls) != calls.size()) std::abort();
}

// The song built and imaged once (floor false), or its events encoded:
// the seconds and fresh pages of the whole, and of the build alone (the
// calls, or the encoder's counting pass).
int timeSong(bool floor) {
    using Clock = std::chrono::steady_clock;
    const std::vector<bench::Call> calls = bench::timeOrderedCalls(300000, 37500);
    const std::vector<bench::MidiEvent> events = bench::eventsOf(calls);
    const long long faults = pageFaults();
    const Clock::time_point start = Clock::now();
    std::vector<uint8_t> image;
    size_t size = 0;
    SmfHandle smf = nullptr;
    if (floor) {
        size = bench::encodeSorted(events, nullptr);
    } else {
        smf = CreateSmf(bench::Division);
        insertAll(smf, calls);
    }
    const Clock::time_point built = Clock::now();
    const long long buildFaults = pageFaults();
    if (floor) {
        image.resize(size);
        bench::encodeSorted(events, image.data());
    } else {
        uint32_t imageSize = 0;
        if (!GetSmfDataSize(smf, &imageSize)) std::abort();
        image.resize(imageSize);
        if (!GetSmfData(smf, image.data(), imageSize)) std::abort();
    }
    const Clock::time_point end = Clock::now();
    const long long endFaults = pageFaults();
    const auto seconds = [](Clock::duration d) { return std::chrono::duration<double>(d).count(); };
    std::printf("seconds=%.6f faults=%lld build_seconds=%.6f build_faults=%lld bytes=%zu\n",
                seconds(end - start), faults < 0 ? -1 : endFaults - faults, seconds(built - start),
                faults < 0 ? -1 : buildFaults - faults, image.size());
    if (smf != nullptr) DeleteSmf(smf);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) {
        if (std::strcmp(argv[1], "song") != 0 && std::strcmp(argv[1], "song-floor") != 0) {
            std::fprintf(stderr, "usage: %s [song | song-floor]\n", argv[0]);
            return 2;
        }
        return timeSong(std::strcmp(argv[1], "song-floor") == 0);
    }
    std::printf("heap bytes per stored 3-byte event, 1000000 events, %zu-bit pointers\n",
                sizeof(void*) * 8);
    std::printf("time order   %.2f\n", bench::heapPerStoredEvent(0, heapInUse));
    std::printf("random order %.2f\n", bench::heapPerStoredEvent(1, heapInUse));
    std::printf("as notes     %.2f\n", bench::heapPerStoredEvent(2, heapInUse));
    return 0;
}
