// Taking the file out of a built object, and copying the object.
#include <benchmark/benchmark.h>

#include <vector>

#include "event_stream.h"
#include "xemidi.h"

namespace {

SmfHandle built(size_t count) {
    SmfHandle smf = CreateSmf(bench::Division);
    for (const bench::MidiEvent& event : bench::timeOrderedEvents(count)) {
        InsertMidiEvent(smf, event.tick, event.bytes, 3);
    }
    return smf;
}

// As a host does it: the size, a buffer, the image.
void BM_GetSmfData(benchmark::State& state) {
    SmfHandle smf = built(static_cast<size_t>(state.range(0)));
    uint32_t size = 0;
    GetSmfDataSize(smf, &size);
    std::vector<uint8_t> buffer(size);
    for (auto _ : state) {
        if (!GetSmfDataSize(smf, &size) || !GetSmfData(smf, buffer.data(), size)) std::abort();
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(size));
    DeleteSmf(smf);
}
BENCHMARK(BM_GetSmfData)->RangeMultiplier(10)->Range(1000, 1000000)->Unit(benchmark::kMillisecond);

// The floor of the image: the same events, already sorted in an array,
// encoded by the benchmark's own code into a buffer of the right size.
void BM_ImageFloor(benchmark::State& state) {
    const std::vector<bench::MidiEvent> events =
        bench::timeOrderedEvents(static_cast<size_t>(state.range(0)));
    std::vector<uint8_t> buffer(bench::encodeSorted(events, nullptr));
    for (auto _ : state) {
        bench::encodeSorted(events, buffer.data());
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ImageFloor)->RangeMultiplier(10)->Range(1000, 1000000)->Unit(benchmark::kMillisecond);

// The object keeps its size as events go in: one call costs the same for
// any number of events (so no events-per-second figure here).
void BM_GetSmfDataSize(benchmark::State& state) {
    SmfHandle smf = built(static_cast<size_t>(state.range(0)));
    uint32_t size = 0;
    for (auto _ : state) {
        if (!GetSmfDataSize(smf, &size)) std::abort();
        benchmark::DoNotOptimize(size);
    }
    state.SetComplexityN(state.range(0));
    DeleteSmf(smf);
}
BENCHMARK(BM_GetSmfDataSize)->Arg(1000)->Arg(1000000)->Complexity(benchmark::o1);

void BM_CopySmf(benchmark::State& state) {
    SmfHandle smf = built(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        SmfHandle copy = CopySmf(smf);
        state.PauseTiming();
        DeleteSmf(copy);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    DeleteSmf(smf);
}
BENCHMARK(BM_CopySmf)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace
