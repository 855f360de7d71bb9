// One frame of the 3D battle scene through OpenGL in a hidden window, on the real
// data.dat: the ground with its frustum test, the two actors and a fan of shots in
// flight, measured against the same pixels drawn the cheapest way. Pin with
// taskset -c 0,1 to measure it on two cores.
#include <benchmark/benchmark.h>

#include <SDL.h>

#include <cstdlib>
#include <string>

#include "app/app.h"
#include "battle/battle.h"
#include "battle/battle_actor.h"
#include "battle/battle_scene.h"
#include "bench_common.h"
#include "board/characters.h"
#include "board/piece.h"
#include "board/task_table.h"
#include "board/world.h"
#include "engine/archive.h"
#include "engine/config.h"
#include "engine/graphics.h"
#include "engine/task.h"
#include "platform/backends.h"
#include "platform/gfx_device.h"

namespace {

BoardPiece* BenchPiece(int slot, int32_t controller, int firstRow)
{
    Task* task = CreateTask(slot);
    task->alive = task->updateEnabled = 1;
    task->kind = kPieceKind;
    BoardPiece* piece = PieceOf(task);
    piece->alive = 1;
    piece->controller = controller;
    piece->teamId = controller == kControllerEnemy ? 5 : 1;
    piece->memberCount = piece->liveCount = 6;
    for (int i = 0; i < 6; ++i)
        piece->members[i] = g_characters[firstRow * 6 + i];
    return piece;
}

void BM_BattleSceneFrameOpenGl(benchmark::State& state)
{
    const bench::GlBatchingFromArg batching(state);
    const std::string data = std::string(SUGOROKU_BUILD_DIR) + "/data.dat";
    if (!LoadDataFileFrom(data.c_str())) {
        state.SkipWithError("no data.dat in the build directory");
        return;
    }
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    SDL_Window* window = nullptr;
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) {
        plat::PrepareGlWindowAttributes(true);
        window = SDL_CreateWindow("bench", 0, 0, 640, 480, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    }
    SetDefaultConfig();
    bench::SeedChance();
    g_gameConfig.vsyncOption = 0;
    plat::SelectGfxBackend(plat::GfxBackend::OpenGL);
    if (!window || !InitGraphics(window) || !InitWorldBuffers()) {
        state.SkipWithError("no OpenGL device or graphics");
        ReleaseGraphics();
        FreeDataFile();
        if (window)
            SDL_DestroyWindow(window);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return;
    }
    // A clash the party won with a fan of shots, 230 frames in: the camera pans
    // between the two actors and the shots fly.
    StartEnemyGroupBattle(BenchPiece(kPieceFirstSlot, kControllerComputer, 1),
                          BenchPiece(kPieceFirstSlot + 1, kControllerEnemy, 3));
    BattleWork* battle = RunningBattle();
    battle->outcome = kClashPartyWins;
    battle->party[0].attackStyle = 0;
    battle->battleProc = WaitBattleScene;
    CreateBattleScene(battle);
    for (int i = 0; i < 230; ++i)
        UpdateAllTasks();
    // The scene is held still while it is drawn.
    SetAllTasksMode(kModeFreeze);
    bench::RunFrameAgainstFloor(state);
    FreeWorldBuffers();
    ReleaseGraphics();
    FreeDataFile();
    SDL_DestroyWindow(window);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    plat::SelectGfxBackend(plat::GfxBackend::OpenGL);
}
// The rasteriser's threads do much of the work, so the time is the wall clock's.
BENCHMARK(BM_BattleSceneFrameOpenGl)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseManualTime();

} // namespace
