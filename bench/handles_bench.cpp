// Handle checks while many objects live: every call looks its handle up,
// in an index of the live objects (the object found last is tried first).
#include <benchmark/benchmark.h>

#include <vector>

#include "xemidi.h"

namespace {

const uint8_t NoteOn[3] = {0x90, 60, 100};

// GetSmfDataSize, which costs little besides its handle check, on the
// objects given in turn.
void sizeOf(benchmark::State& state, bool alternate) {
    std::vector<SmfHandle> live(static_cast<size_t>(state.range(0)));
    for (SmfHandle& smf : live) {
        smf = CreateSmf(480);
        InsertMidiEvent(smf, 0, NoteOn, 3);
    }
    const SmfHandle targets[2] = {live.front(), alternate ? live.back() : live.front()};
    uint32_t size = 0;
    size_t turn = 0;
    for (auto _ : state) {
        if (!GetSmfDataSize(targets[turn++ & 1], &size)) std::abort();
        benchmark::DoNotOptimize(size);
    }
    for (SmfHandle smf : live) DeleteSmf(smf);
    state.SetComplexityN(state.range(0));
}

// The usual host: one object at a time.
void BM_HandleCheckSameObject(benchmark::State& state) {
    sizeOf(state, false);
}
BENCHMARK(BM_HandleCheckSameObject)
    ->RangeMultiplier(10)
    ->Range(10, 100000)
    ->Complexity(benchmark::o1);

// Calls on the first and the last object created, in turn.
void BM_HandleCheckFirstAndLast(benchmark::State& state) {
    sizeOf(state, true);
}
BENCHMARK(BM_HandleCheckFirstAndLast)
    ->RangeMultiplier(10)
    ->Range(10, 100000)
    ->Complexity(benchmark::o1);

}  // namespace
