// The floor under every headless frame: the frame loop, key reading and the recording
// device's begin and present with no task in the pool. A race's frames per CPU second
// (racesim under /usr/bin/time) are weighed against this.
#include <benchmark/benchmark.h>

#include "app/headless.h"
#include "bench_common.h"
#include "engine/task.h"

namespace {

void BM_HeadlessFrameEmptyPool(benchmark::State& state)
{
    bench::ScratchDataDir dir("bench_idle_frame");
    if (dir.empty() || !HeadlessStart(dir.c_str())) {
        state.SkipWithError(dir.empty() ? "no built data files" : HeadlessLastMessage());
        return;
    }
    bench::SeedChance();
    KillAllTasks();
    for (auto _ : state)
        HeadlessRunFrames(1);
    state.SetItemsProcessed(state.iterations());
    HeadlessStop();
}
BENCHMARK(BM_HeadlessFrameEmptyPool);

} // namespace
