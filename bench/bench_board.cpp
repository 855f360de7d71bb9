// The board frame of the largest stage (stage 3, 100 x 100 cells) once a race is
// under way: the draw pass of the board view and the pieces, on OpenGL in a hidden
// window and on the recording device. The counters give the world quads sent per
// frame, which the frustum culling keeps to the part of the board in view.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/headless.h"
#include "board/board_view.h"
#include "board/piece.h"
#include "board/stage.h"
#include "board/world.h"
#include "engine/graphics.h"
#include "engine/task.h"
#include "platform/backends.h"
#include "platform/gfx_device.h"
#include "platform/keyboard.h"
#include "platform/msgbox.h"
#include "platform/window.h"

namespace {

namespace fs = std::filesystem;

// A scratch directory holding copies of the built data files; empty when one is missing.
std::string MakeDataDir()
{
    const fs::path build = SUGOROKU_BUILD_DIR;
    char pattern[] = "/tmp/bench-board-XXXXXX";
    if (!mkdtemp(pattern))
        return {};
    for (const char* name : {"data.dat", "mappack.dat", "epack.dat"}) {
        std::error_code error;
        fs::copy_file(build / name, fs::path(pattern) / name, error);
        if (error) {
            fs::remove_all(pattern, error);
            return {};
        }
    }
    return pattern;
}

// Stage 3 for team 0, played by the computer, run long enough for the turns to pass
// between pieces.
bool StartStageThreeRace(void (*runFrame)())
{
    g_stageNumber = 3;
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

void DrawBoardFrame(std::vector<uint32_t>* pixels)
{
    BeginFrameDraw();
    DrawAllTasks();
    if (pixels != nullptr)
        g_d3dDevice->ReadPixels(*pixels); // waits until the frame is really drawn
    EndFrameDraw();
}

void RunHeadlessFrame()
{
    HeadlessRunFrames(1);
}

void RunWindowFrame()
{
    while (plat::PollOneEvent() != plat::WindowEvent::None) {
    }
    RunFrameUnpaced();
}

void BM_BoardFrameRecording(benchmark::State& state)
{
    const std::string dir = MakeDataDir();
    if (dir.empty()) {
        state.SkipWithError("the data files are not built");
        return;
    }
    if (!HeadlessStart(dir.c_str()) || !StartStageThreeRace(RunHeadlessFrame)) {
        state.SkipWithError("stage 3 did not start");
    } else {
        for (auto _ : state)
            DrawBoardFrame(nullptr);
        state.counters["world_quads"] = static_cast<double>(plat::LastRecordedFrame().WorldFans().size());
        state.counters["meshes"] = static_cast<double>(plat::LastRecordedFrame().MeshDraws().size());
    }
    HeadlessStop();
    std::error_code error;
    fs::remove_all(dir, error);
}
BENCHMARK(BM_BoardFrameRecording)->Unit(benchmark::kMillisecond);

void BM_BoardFrameOpenGl(benchmark::State& state)
{
    // 0: every fan drawn on its own, as before gathering; 1: fans gathered into batches.
    plat::UseGlDrawBatching(state.range(0) != 0);
    struct Restore {
        ~Restore() { plat::UseGlDrawBatching(true); }
    } restore;
    const std::string dir = MakeDataDir();
    if (dir.empty()) {
        state.SkipWithError("the data files are not built");
        return;
    }
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    const fs::path home = fs::current_path();
    const plat::GfxBackend previousGfx = plat::SelectedGfxBackend();
    const plat::AudioBackend previousAudio = plat::SelectedAudioBackend();
    fs::current_path(dir);
    plat::SelectGfxBackend(plat::GfxBackend::OpenGL);
    plat::SelectAudioBackend(plat::AudioBackend::Silent);
    plat::UseScriptedKeys(true);
    plat::RecordMessageBoxes(true);
    void* window = nullptr;
    if (!plat::InitVideo("bench-board") ||
        (window = plat::CreateMainWindow("bench", 0, 0, kClientWidth, kClientHeight)) == nullptr) {
        state.SkipWithError("no video");
    } else if (!InitGame(window)) {
        state.SkipWithError("start-up failed");
    } else if (!StartStageThreeRace(RunWindowFrame)) {
        state.SkipWithError("stage 3 did not start");
    } else {
        std::vector<uint32_t> pixels;
        for (auto _ : state)
            DrawBoardFrame(&pixels);
    }
    ShutdownGame();
    plat::QuitVideo();
    plat::UseScriptedKeys(false);
    plat::RecordMessageBoxes(false);
    plat::SelectGfxBackend(previousGfx);
    plat::SelectAudioBackend(previousAudio);
    fs::current_path(home);
    std::error_code error;
    fs::remove_all(dir, error);
}
// The rasteriser's threads do much of the work: count the whole process's CPU.
BENCHMARK(BM_BoardFrameOpenGl)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

} // namespace
