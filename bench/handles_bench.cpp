// Handle checks while many objects live: every call looks its handle up in
// the list of live objects, in creation order.
#include <benchmark/benchmark.h>

#include <vector>

#include "xemidi.h"

namespace {

const uint8_t NoteOn[3] = {0x90, 60, 100};

void sizeOf(benchmark::State& state, bool newest) {
    std::vector<SmfHandle> live(static_cast<size_t>(state.range(0)));
    for (SmfHandle& smf : live) {
        smf = CreateSmf(480);
        InsertMidiEvent(smf, 0, NoteOn, 3);
    }
    SmfHandle target = newest ? live.back() : live.front();
    uint32_t size = 0;
    for (auto _ : state) {
        if (!GetSmfDataSize(target, &size)) std::abort();
        benchmark::DoNotOptimize(size);
    }
    for (SmfHandle smf : live) DeleteSmf(smf);
    state.SetComplexityN(state.range(0));
}

void BM_HandleCheckFirstCreated(benchmark::State& state) {
    sizeOf(state, false);
}
BENCHMARK(BM_HandleCheckFirstCreated)
    ->RangeMultiplier(10)
    ->Range(10, 10000)
    ->Complexity(benchmark::o1);

void BM_HandleCheckLastCreated(benchmark::State& state) {
    sizeOf(state, true);
}
BENCHMARK(BM_HandleCheckLastCreated)
    ->RangeMultiplier(10)
    ->Range(10, 10000)
    ->Complexity(benchmark::oN);

}  // namespace
