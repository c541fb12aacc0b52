// A song written as hosts write it, with the shorthands in time order:
// 300,000 notes (cal_insert_Note, each note-off ahead of the write
// position) and 37,500 controllers (cal_insert_Control), 637,500 events,
// then its image (GetSmfDataSize, a buffer, GetSmfData). Beside it the
// floor, the same events already sorted in an array and encoded by the
// benchmark's own encoder, and the plain alternative, the same events
// appended to a growing array, sorted once and encoded, and the song's
// parts (the calls alone, the build alone, bare appends). Then many notes at
// one tick against as many at distinct ticks, and the heap each stored
// event holds.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "event_stream.h"
#include "song_calls.h"
#include "xemidi.h"

namespace {

using Calls = std::vector<bench::Call>;

constexpr size_t SongNotes = 300000, SongControllers = 37500;

// As many calls accepted as made, or the benchmark stops.
void insertAll(SmfHandle smf, const Calls& calls) {
    if (bench::insertCalls(smf, calls) != calls.size()) std::abort();
}

// As a host does it: the size, a buffer of that size, the image.
std::vector<uint8_t> imageOf(SmfHandle smf) {
    uint32_t size = 0;
    if (!GetSmfDataSize(smf, &size)) std::abort();
    std::vector<uint8_t> image(size);
    if (!GetSmfData(smf, image.data(), size)) std::abort();
    return image;
}

void BM_SongBuildAndImage(benchmark::State& state) {
    const Calls calls = bench::timeOrderedCalls(SongNotes, SongControllers);
    size_t events = 0;
    for (auto _ : state) {
        SmfHandle smf = CreateSmf(bench::Division);
        insertAll(smf, calls);
        const std::vector<uint8_t> image = imageOf(smf);
        benchmark::DoNotOptimize(image.data());
        state.PauseTiming();  // freeing a large object is not part of building it
        DeleteSmf(smf);
        state.ResumeTiming();
    }
    for (const bench::Call& call : calls) events += call.duration != 0 ? 2 : 1;
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(events));
}
BENCHMARK(BM_SongBuildAndImage)->Unit(benchmark::kMillisecond);

// The floor: no storage at all, the events handed over sorted.
void BM_SongEncodedFloor(benchmark::State& state) {
    const std::vector<bench::MidiEvent> events =
        bench::eventsOf(bench::timeOrderedCalls(SongNotes, SongControllers));
    for (auto _ : state) {
        std::vector<uint8_t> image(bench::encodeSorted(events, nullptr));
        bench::encodeSorted(events, image.data());
        benchmark::DoNotOptimize(image.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(events.size()));
}
BENCHMARK(BM_SongEncodedFloor)->Unit(benchmark::kMillisecond);

// The calls' events appended to a growing array as they come: the note-on
// where the call is, the note-off at its end.
std::vector<bench::MidiEvent> appendedEvents(const Calls& calls) {
    std::vector<bench::MidiEvent> events;
    for (const bench::Call& call : calls) {
        events.push_back({call.tick, {call.bytes[0], call.bytes[1], call.bytes[2]}});
        if (call.duration != 0) {
            const auto off = static_cast<uint8_t>(0x80 | (call.bytes[0] & 0x0F));
            events.push_back({call.tick + call.duration, {off, call.bytes[1], 64}});
        }
    }
    return events;
}

// Appending the calls' events to a growing array, one stable sort, encoding.
void BM_SongAppendSortEncode(benchmark::State& state) {
    const Calls calls = bench::timeOrderedCalls(SongNotes, SongControllers);
    size_t count = 0;
    for (auto _ : state) {
        std::vector<bench::MidiEvent> events = appendedEvents(calls);
        std::stable_sort(events.begin(), events.end(),
                         [](const auto& a, const auto& b) { return a.tick < b.tick; });
        std::vector<uint8_t> image(bench::encodeSorted(events, nullptr));
        bench::encodeSorted(events, image.data());
        benchmark::DoNotOptimize(image.data());
        count = events.size();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(count));
}
BENCHMARK(BM_SongAppendSortEncode)->Unit(benchmark::kMillisecond);

// ---- The song's parts ------------------------------------------------------
// What the build and image of the song cost before any ordering: the
// calls through the C interface alone, each refused at its handle check (a
// deleted object's); the build alone, without the read that orders the
// note-offs; and the calls' events appended to a growing array, no call,
// no order, no image.

void BM_SongCallsRefused(benchmark::State& state) {
    const Calls calls = bench::timeOrderedCalls(SongNotes, SongControllers);
    SmfHandle live = CreateSmf(bench::Division);  // the registry is not empty
    SmfHandle deleted = CreateSmf(bench::Division);
    DeleteSmf(deleted);
    for (auto _ : state) {
        if (bench::insertCalls(deleted, calls) != 0) std::abort();
    }
    DeleteSmf(live);
}
BENCHMARK(BM_SongCallsRefused)->Unit(benchmark::kMillisecond);

void BM_SongBuildOnly(benchmark::State& state) {
    const Calls calls = bench::timeOrderedCalls(SongNotes, SongControllers);
    for (auto _ : state) {
        SmfHandle smf = CreateSmf(bench::Division);
        insertAll(smf, calls);
        state.PauseTiming();
        DeleteSmf(smf);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_SongBuildOnly)->Unit(benchmark::kMillisecond);

void BM_SongAppendOnly(benchmark::State& state) {
    const Calls calls = bench::timeOrderedCalls(SongNotes, SongControllers);
    for (auto _ : state) {
        std::vector<bench::MidiEvent> events = appendedEvents(calls);
        benchmark::DoNotOptimize(events.data());
    }
}
BENCHMARK(BM_SongAppendOnly)->Unit(benchmark::kMillisecond);

// ---- Many notes at one tick ----------------------------------------------

// N notes of 480 ticks on all channels and keys in turn, at tick 0 or at
// ticks 10 apart, then the size (which places what waits).
void notes(benchmark::State& state, uint32_t spacing) {
    const auto count = static_cast<uint32_t>(state.range(0));
    for (auto _ : state) {
        SmfHandle smf = CreateSmf(bench::Division);
        for (uint32_t i = 0; i < count; ++i) {
            const auto channel = static_cast<int32_t>(i % 16),
                       key = static_cast<int32_t>(i / 16 % 128);
            if (!cal_insert_Note(smf, i * spacing, channel, key, 100, 480)) std::abort();
        }
        uint32_t size = 0;
        if (!GetSmfDataSize(smf, &size)) std::abort();
        state.PauseTiming();
        DeleteSmf(smf);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * 2 * state.range(0));
}
void BM_NotesAtOneTick(benchmark::State& state) {
    notes(state, 0);
}
void BM_NotesAtDistinctTicks(benchmark::State& state) {
    notes(state, 10);
}
BENCHMARK(BM_NotesAtOneTick)->Arg(10000)->Arg(20000)->Arg(40000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NotesAtDistinctTicks)
    ->Arg(10000)
    ->Arg(20000)
    ->Arg(40000)
    ->Unit(benchmark::kMillisecond);

// ---- Heap per stored event -----------------------------------------------

long long heapInUse() {
    const struct mallinfo2 heap = mallinfo2();  // small blocks and mapped ones
    return static_cast<long long>(heap.uordblks + heap.hblkhd);
}

// The heap an object of 1,000,000 three-byte events holds once built and
// read (nothing waits), per event: inserted in time order, in random
// order, and as notes and controllers written in time order.
void heapPerEvent(benchmark::State& state, int order) {
    double perEvent = 0;
    for (auto _ : state) perEvent = bench::heapPerStoredEvent(order, heapInUse);
    state.counters["heap_per_event"] = perEvent;
}
void BM_HeapPerEventTimeOrder(benchmark::State& state) {
    heapPerEvent(state, 0);
}
void BM_HeapPerEventRandomOrder(benchmark::State& state) {
    heapPerEvent(state, 1);
}
void BM_HeapPerEventNotes(benchmark::State& state) {
    heapPerEvent(state, 2);
}
BENCHMARK(BM_HeapPerEventTimeOrder)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HeapPerEventRandomOrder)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HeapPerEventNotes)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
