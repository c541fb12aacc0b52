// The heap an object of 1,000,000 three-byte events holds once built and
// read, per event: inserted in time order, in random order, and as notes
// and controllers written in time order (the Google Benchmark program's
// BM_HeapPerEvent*, without Google Benchmark, so that it also builds for
// the Windows DLLs). The heap in use is glibc's count, or on Windows the
// busy blocks of every heap of the process.
//
//   heap_per_event        (bench/CMakeLists.txt builds it beside xemidi_bench)
//   i686-w64-mingw32-g++ -O2 -std=c++17 -Iinclude -Ibench bench/heap_per_event.cpp
//       bench/event_stream.cpp build/win32/libxemidi.dll.a -o heap_per_event.exe
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "event_stream.h"
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
#else
#include <malloc.h>

long long heapInUse() {
    const struct mallinfo2 heap = mallinfo2();
    return static_cast<long long>(heap.uordblks + heap.hblkhd);
}
#endif

namespace {

constexpr size_t Count = 1000000;

double perEvent(int order) {
    const std::vector<bench::MidiEvent> timeOrder = bench::timeOrderedEvents(Count);
    const std::vector<bench::MidiEvent> random = bench::shuffled(timeOrder);
    const std::vector<bench::Call> calls = bench::timeOrderedCalls(470000, 60000);
    const long long before = heapInUse();
    SmfHandle smf = CreateSmf(bench::Division);
    if (order == 2) {
        for (const bench::Call& call : calls) {
            const uint8_t* b = call.bytes;
            const int ok = call.duration != 0
                               ? cal_insert_Note(smf, call.tick, b[0] & 15, b[1], b[2],
                                                 static_cast<int32_t>(call.duration))
                               : cal_insert_Control(smf, call.tick, b[0] & 15, b[1], b[2]);
            if (!ok) std::abort();
        }
    } else {
        for (const bench::MidiEvent& event : order == 0 ? timeOrder : random)
            if (!InsertMidiEvent(smf, event.tick, event.bytes, 3)) std::abort();
    }
    uint32_t size = 0;
    if (!GetSmfDataSize(smf, &size)) std::abort();
    const double result = static_cast<double>(heapInUse() - before) / static_cast<double>(Count);
    DeleteSmf(smf);
    return result;
}

}  // namespace

int main() {
    std::printf("heap bytes per stored 3-byte event, %zu events, %zu-bit pointers\n", Count,
                sizeof(void*) * 8);
    std::printf("time order   %.2f\n", perEvent(0));
    std::printf("random order %.2f\n", perEvent(1));
    std::printf("as notes     %.2f\n", perEvent(2));
    return 0;
}
