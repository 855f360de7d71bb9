// The board frame of the largest stage (stage 3, 100 x 100 cells) once a race is
// under way: the draw pass of the board view and the pieces, on OpenGL in a hidden
// window against its floor, and on the recording device. The counters give the world
// quads sent per frame, which the frustum culling keeps to the part of the board in
// view. Pin with taskset -c 0,1 to measure it on two cores.
#include <benchmark/benchmark.h>

#include "app/app.h"
#include "app/headless.h"
#include "bench_common.h"
#include "board/board_view.h"
#include "board/piece.h"
#include "board/stage.h"
#include "board/task_table.h"
#include "board/world.h"
#include "engine/graphics.h"
#include "engine/task.h"
#include "platform/gfx_device.h"

namespace {

// Stage 3 for team 0, played by the computer, run long enough for the turns to pass
// between pieces.
bool StartStageThreeRace(void (*runFrame)())
{
    g_stageLayers.stageNumber = 3;
    g_playerTeam = 0;
    KillAllTasks();
    StartStageFromPacks();
    if (g_tasks == nullptr || g_tasks[kBoardViewSlot].alive == 0)
        return false;
    SetPlayerTeamController(kControllerComputer);
    for (int i = 0; i < 600; ++i)
        runFrame();
    return g_tasks[kBoardViewSlot].alive != 0;
}

void DrawBoardFrame()
{
    BeginFrameDraw();
    DrawAllTasks();
    EndFrameDraw();
}

void RunHeadlessFrame()
{
    HeadlessRunFrames(1);
}

void BM_BoardFrameRecording(benchmark::State& state)
{
    const bench::ScratchDataDir dir("bench-board");
    if (dir.empty()) {
        state.SkipWithError("the data files are not built");
        return;
    }
    const bool started = HeadlessStart(dir.c_str()) != 0;
    bench::SeedChance();
    if (!started || !StartStageThreeRace(RunHeadlessFrame)) {
        state.SkipWithError("stage 3 did not start");
    } else {
        for (auto _ : state)
            DrawBoardFrame();
        state.counters["world_quads"] = static_cast<double>(plat::LastRecordedFrame().WorldFans().size());
        state.counters["meshes"] = static_cast<double>(plat::LastRecordedFrame().MeshDraws().size());
        state.counters["sprites"] = static_cast<double>(plat::LastRecordedFrame().Sprites().size());
        state.counters["draws"] = static_cast<double>(plat::LastRecordedFrame().draws.size());
    }
    HeadlessStop();
}
BENCHMARK(BM_BoardFrameRecording)->Unit(benchmark::kMillisecond);

void BM_BoardFrameOpenGl(benchmark::State& state)
{
    const bench::GlBatchingFromArg batching(state);
    const bench::ScratchDataDir dir("bench-board");
    if (dir.empty()) {
        state.SkipWithError("the data files are not built");
        return;
    }
    const bench::OpenGlGame game(dir.c_str(), "bench-board");
    if (game.failure() != nullptr) {
        state.SkipWithError(game.failure());
    } else if (!StartStageThreeRace(bench::RunWindowFrame)) {
        state.SkipWithError("stage 3 did not start");
    } else {
        bench::RunFrameAgainstFloor(state);
    }
}
// The rasteriser's threads do much of the work, so the time is the wall clock's.
BENCHMARK(BM_BoardFrameOpenGl)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseManualTime();

} // namespace
