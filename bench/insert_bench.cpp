// Filling an object: in time order (the common case), note by note with the
// note-offs placed ahead of the write position, and in random tick order.
#include <benchmark/benchmark.h>

#include "event_stream.h"
#include "xemidi.h"

namespace {

void insertAll(SmfHandle smf, const std::vector<bench::MidiEvent>& events) {
    for (const bench::MidiEvent& event : events) {
        if (!InsertMidiEvent(smf, event.tick, event.bytes, 3)) std::abort();
    }
}

void run(benchmark::State& state, const std::vector<bench::MidiEvent>& events) {
    for (auto _ : state) {
        SmfHandle smf = CreateSmf(bench::Division);
        insertAll(smf, events);
        state.PauseTiming();  // freeing a large object is not part of building it
        DeleteSmf(smf);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(events.size()));
    state.SetComplexityN(static_cast<int64_t>(events.size()));
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

// Every insertion away from both ends walks the list: quadratic by design.
void BM_BuildInRandomOrder(benchmark::State& state) {
    run(state, bench::shuffled(bench::timeOrderedEvents(static_cast<size_t>(state.range(0)))));
}
BENCHMARK(BM_BuildInRandomOrder)
    ->Arg(1000)
    ->Arg(2000)
    ->Arg(5000)
    ->Arg(10000)
    ->Arg(20000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oNSquared);

}  // namespace
