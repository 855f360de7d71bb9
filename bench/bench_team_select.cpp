// One frame of team select through OpenGL in a hidden window, on the built data
// files: the tiled background, the title, label and arrows, and the eighteen
// models on their ring, against its floor. Pin with taskset -c 0,1 to measure it on
// two cores.
#include <benchmark/benchmark.h>

#include "bench_common.h"
#include "engine/graphics.h"
#include "engine/task.h"
#include "frontend/team_select.h"
#include "platform/gfx_device.h"

namespace {

void BM_TeamSelectFrameOpenGl(benchmark::State& state)
{
    const bench::GlBatchingFromArg batching(state);
    const bench::ScratchDataDir dir("bench-team");
    if (dir.empty()) {
        state.SkipWithError("the data files are not built");
        return;
    }
    const bench::OpenGlGame game(dir.c_str(), "bench-team-select");
    if (game.failure() != nullptr) {
        state.SkipWithError(game.failure());
        return;
    }
    KillAllTasks();
    if (!CreateTeamSelect()) {
        state.SkipWithError("team select did not open");
        return;
    }
    // Idle with team 0 in front and its label shown.
    for (int i = 0; i < 5; ++i)
        bench::RunWindowFrame();
    bench::RunFrameAgainstFloor(state);
}
// The rasteriser's threads do much of the work, so the time is the wall clock's.
BENCHMARK(BM_TeamSelectFrameOpenGl)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseManualTime();

} // namespace
