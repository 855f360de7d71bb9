// One frame of team select through OpenGL in a hidden window, on the built data
// files: the tiled background, the title, label and arrows, and the eighteen
// models on their ring. Pin with taskset -c 0,1 to measure it on two cores.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/app.h"
#include "engine/graphics.h"
#include "engine/task.h"
#include "frontend/team_select.h"
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
    char pattern[] = "/tmp/bench-team-XXXXXX";
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

void RunWindowFrame()
{
    while (plat::PollOneEvent() != plat::WindowEvent::None) {
    }
    RunFrameUnpaced();
}

void BM_TeamSelectFrameOpenGl(benchmark::State& state)
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
    if (!plat::InitVideo("bench-team-select") ||
        (window = plat::CreateMainWindow("bench", 0, 0, kClientWidth, kClientHeight)) == nullptr) {
        state.SkipWithError("no video");
    } else if (!InitGame(window)) {
        state.SkipWithError("start-up failed");
    } else {
        KillAllTasks();
        if (!CreateTeamSelect()) {
            state.SkipWithError("team select did not open");
        } else {
            // Idle with team 0 in front and its label shown.
            for (int i = 0; i < 5; ++i)
                RunWindowFrame();
            std::vector<uint32_t> pixels;
            for (auto _ : state) {
                BeginFrameDraw();
                DrawAllTasks();
                g_d3dDevice->ReadPixels(pixels); // waits until the frame is really drawn
                EndFrameDraw();
            }
            state.counters["share_of_16.7ms"] = benchmark::Counter(
                static_cast<double>(state.iterations()) * 0.0166667,
                benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
        }
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
BENCHMARK(BM_TeamSelectFrameOpenGl)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

} // namespace
