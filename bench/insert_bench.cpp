// Filling an object: in time order (the common case), note by note with the
// note-offs placed ahead of the write position, in random order and part by
// part. Every build ends by reading the object's size, which places any
// event still waiting for its place. The orders that are not time order are
// measured beside two references built here: the same events in time order,
// and the algorithmic floor, the same events appended to a std::vector and
// stable-sorted by tick once. Last, the memory a large message holds.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "event_stream.h"
#include "xemidi.h"

namespace {

using Events = std::vector<bench::MidiEvent>;

void insertAll(SmfHandle smf, const Events& events) {
    for (const bench::MidiEvent& event : events) {
        if (!InsertMidiEvent(smf, event.tick, event.bytes, 3)) std::abort();
    }
    uint32_t size = 0;
    if (!GetSmfDataSize(smf, &size)) std::abort();
}

void run(benchmark::State& state, const Events& events) {
    for (auto _ : state) {
        SmfHandle smf = CreateSmf(bench::Division);
        insertAll(smf, events);
        state.PauseTiming();  // freeing a large object is not part of building it
        DeleteSmf(smf);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(events.size()));
    state.SetComplexityN(static_cast<int64_t>(events.size()));
    state.counters["events"] = static_cast<double>(events.size());
}

void floor(benchmark::State& state, const Events& events) {
    for (auto _ : state) {
        Events sorted;
        for (const bench::MidiEvent& event : events) sorted.push_back(event);
        std::stable_sort(sorted.begin(), sorted.end(),
                         [](const auto& a, const auto& b) { return a.tick < b.tick; });
        benchmark::DoNotOptimize(sorted.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(events.size()));
}

void BM_BuildInTimeOrder(benchmark::State& state) {
    run(state, bench::timeOrderedEvents(static_cast<size_t>(state.range(0))));
}
BENCHMARK(BM_BuildInTimeOrder)
    ->RangeMultiplier(10)
    ->Range(1000, 1000000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

// A host that writes each note with cal_insert_Note as it reaches the note's
// start: every note-off lands ahead of the events written so far.
void BM_BuildNotesByStart(benchmark::State& state) {
    const auto events = bench::timeOrderedEvents(static_cast<size_t>(state.range(0)));
    std::vector<std::pair<const bench::MidiEvent*, uint32_t>> notes;  // note-on, duration
    std::vector<uint32_t> offTick(16 * 128);
    for (auto it = events.rbegin(); it != events.rend(); ++it) {  // durations from the end
        const int kind = it->bytes[0] >> 4, slot = (it->bytes[0] & 15) * 128 + it->bytes[1];
        if (kind == 8) offTick[static_cast<size_t>(slot)] = it->tick;
        if (kind == 9) notes.emplace_back(&*it, offTick[static_cast<size_t>(slot)] - it->tick);
    }
    for (auto _ : state) {
        SmfHandle smf = CreateSmf(bench::Division);
        for (auto note = notes.rbegin(); note != notes.rend(); ++note) {
            const uint8_t* b = note->first->bytes;
            cal_insert_Note(smf, note->first->tick, b[0] & 15, b[1], b[2],
                            static_cast<int32_t>(note->second));
        }
        uint32_t size = 0;
        if (!GetSmfDataSize(smf, &size)) std::abort();
        state.PauseTiming();
        DeleteSmf(smf);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * 2 * static_cast<int64_t>(notes.size()));
}
BENCHMARK(BM_BuildNotesByStart)
    ->RangeMultiplier(10)
    ->Range(1000, 1000000)
    ->Unit(benchmark::kMillisecond);

// ---- Random order: the same song of N notes, shuffled --------------------

Events song(const benchmark::State& state) {
    return bench::timeOrderedNotes(static_cast<size_t>(state.range(0)));
}

void BM_RandomOrder(benchmark::State& state) {
    run(state, bench::shuffled(song(state)));
}
void BM_RandomOrderFloor(benchmark::State& state) {
    floor(state, bench::shuffled(song(state)));
}
void BM_RandomOrderInTimeOrder(benchmark::State& state) {
    run(state, song(state));
}
BENCHMARK(BM_RandomOrder)->Arg(20000)->Arg(300000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RandomOrderFloor)->Arg(20000)->Arg(300000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RandomOrderInTimeOrder)->Arg(20000)->Arg(300000)->Unit(benchmark::kMillisecond);

// ---- Part by part: 16 parts of 20,000 events, each in time order ---------

Events parts() {
    Events all;
    for (uint32_t part = 0; part < 16; ++part) {
        const Events events = bench::timeOrderedEvents(20000, part + 1);
        all.insert(all.end(), events.begin(), events.end());
    }
    return all;
}

void BM_PartByPart(benchmark::State& state) {
    run(state, parts());
}
void BM_PartsFloor(benchmark::State& state) {
    floor(state, parts());
}
void BM_PartsInTimeOrder(benchmark::State& state) {
    Events all = parts();
    std::stable_sort(all.begin(), all.end(),
                     [](const auto& a, const auto& b) { return a.tick < b.tick; });
    run(state, all);
}
BENCHMARK(BM_PartByPart)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PartsFloor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PartsInTimeOrder)->Unit(benchmark::kMillisecond);

}  // namespace

namespace {

// ---- Memory: a large system-exclusive message ------------------------------

long long heapInUse() {
    const struct mallinfo2 heap = mallinfo2();  // small blocks and mapped ones
    return static_cast<long long>(heap.uordblks + heap.hblkhd);
}

// The heap that one message of N bytes holds once inserted, per byte, and
// what is left of it once its object is deleted.
void BM_LargeSysexMemory(benchmark::State& state) {
    const auto size = static_cast<size_t>(state.range(0));
    std::vector<uint8_t> message(size, 0x11);
    message.front() = 0xF0;
    message.back() = 0xF7;
    double held = 0, left = 0;
    for (auto _ : state) {
        const long long before = heapInUse();
        SmfHandle smf = CreateSmf(bench::Division);
        if (!InsertSysexEvent(smf, 0, message.data(), static_cast<int32_t>(size))) std::abort();
        held = static_cast<double>(heapInUse() - before) / static_cast<double>(size);
        DeleteSmf(smf);
        left = static_cast<double>(heapInUse() - before);
    }
    state.counters["heap_per_byte"] = held;
    state.counters["heap_left_bytes"] = left;
}
BENCHMARK(BM_LargeSysexMemory)->Arg(1 << 20)->Arg(64 << 20)->Unit(benchmark::kMillisecond);

}  // namespace
