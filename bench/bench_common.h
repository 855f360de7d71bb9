// Set-up shared by the benchmarks that draw game frames on the built data files.
#pragma once

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "app/app.h"
#include "engine/graphics.h"
#include "engine/input.h"
#include "engine/task.h"
#include "frame_floor.h"
#include "platform/backends.h"
#include "platform/gfx_device.h"
#include "platform/keyboard.h"
#include "platform/msgbox.h"
#include "platform/window.h"

namespace bench {

// The game seeds chance from the clock; a benchmark seeds it with this after starting
// it, so that the same benchmark draws the same scene on every run. With 4 the board
// bench's stage-3 frame has 33 of its 65 model draws in view and 32 out of it.
constexpr uint32_t kBenchSeed = 4;
inline void SeedChance()
{
    SeedRandom(kBenchSeed);
}

// The benchmark's argument chooses how OpenGL draws its fans (0: every fan on its own,
// as before gathering; 1: gathered into batches); batching is on again afterwards.
class GlBatchingFromArg {
public:
    explicit GlBatchingFromArg(const benchmark::State& state) { plat::UseGlDrawBatching(state.range(0) != 0); }
    ~GlBatchingFromArg() { plat::UseGlDrawBatching(true); }
    GlBatchingFromArg(const GlBatchingFromArg&) = delete;
    GlBatchingFromArg& operator=(const GlBatchingFromArg&) = delete;
};

// A scratch directory holding copies of the built data files, removed when it goes;
// empty when one of them is missing.
class ScratchDataDir {
public:
    explicit ScratchDataDir(const char* name)
    {
        namespace fs = std::filesystem;
        const fs::path build = SUGOROKU_BUILD_DIR;
        std::string pattern = "/tmp/" + std::string(name) + "-XXXXXX";
        if (!mkdtemp(pattern.data()))
            return;
        for (const char* file : {"data.dat", "mappack.dat", "epack.dat"}) {
            std::error_code error;
            fs::copy_file(build / file, fs::path(pattern) / file, error);
            if (error) {
                fs::remove_all(pattern, error);
                return;
            }
        }
        path_ = pattern;
    }
    ~ScratchDataDir()
    {
        std::error_code error;
        if (!path_.empty())
            std::filesystem::remove_all(path_, error);
    }
    ScratchDataDir(const ScratchDataDir&) = delete;
    ScratchDataDir& operator=(const ScratchDataDir&) = delete;

    bool empty() const { return path_.empty(); }
    const char* c_str() const { return path_.c_str(); }

private:
    std::string path_;
};

// One frame of the game in its window, without the pacing of a real run.
inline void RunWindowFrame()
{
    while (plat::PollOneEvent() != plat::WindowEvent::None) {
    }
    RunFrameUnpaced();
}

// The whole game started in a hidden OpenGL window from a data directory, as a player
// would start it there, silent and with scripted keys; everything is shut down and put
// back as it was when it goes, whether or not it started.
class OpenGlGame {
public:
    OpenGlGame(const char* dataDir, const char* videoName)
        : home_(std::filesystem::current_path()), previousGfx_(plat::SelectedGfxBackend()),
          previousAudio_(plat::SelectedAudioBackend())
    {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        std::filesystem::current_path(dataDir);
        plat::SelectGfxBackend(plat::GfxBackend::OpenGL);
        plat::SelectAudioBackend(plat::AudioBackend::Silent);
        plat::UseScriptedKeys(true);
        plat::RecordMessageBoxes(true);
        void* window = nullptr;
        if (!plat::InitVideo(videoName) ||
            (window = plat::CreateMainWindow("bench", 0, 0, kClientWidth, kClientHeight)) == nullptr)
            failure_ = "no video";
        else if (!InitGame(window))
            failure_ = "start-up failed";
        SeedChance();
    }
    ~OpenGlGame()
    {
        ShutdownGame();
        plat::QuitVideo();
        plat::UseScriptedKeys(false);
        plat::RecordMessageBoxes(false);
        plat::SelectGfxBackend(previousGfx_);
        plat::SelectAudioBackend(previousAudio_);
        std::filesystem::current_path(home_);
    }
    OpenGlGame(const OpenGlGame&) = delete;
    OpenGlGame& operator=(const OpenGlGame&) = delete;

    // Why the game did not start, or null when it did.
    const char* failure() const { return failure_; }

private:
    std::filesystem::path home_;
    plat::GfxBackend previousGfx_;
    plat::AudioBackend previousAudio_;
    const char* failure_ = nullptr;
};

namespace detail {

// CPU time of the calling thread, in seconds: the main thread's share of a frame,
// without the rasteriser's threads.
inline double ThreadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

inline double Median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2), values.end());
    return values[values.size() / 2];
}

} // namespace detail

// The frame that the tasks draw now, on OpenGL, measured against its floor: the same
// frame taken down once by a recording device and drawn the cheapest way (see
// frame_floor.h). Each iteration draws the game's frame and the floor, each
// read back and presented, first one and then the other in turns, so that a busy
// machine weighs on both alike; the iteration's time is the game's frame. Counters
// (medians over the iterations): game_ms, floor_ms and their ratio; what the game's
// frame asked of OpenGL (draws, state calls) and the floor's triangles, vertices and draws.
// The scene must not change between frames (its tasks' updates frozen, or not run).
inline void RunFrameAgainstFloor(benchmark::State& state)
{
    plat::GfxDevice* gl = g_d3dDevice;
    if (gl == nullptr || gl->Backend() != plat::GfxBackend::OpenGL) {
        state.SkipWithError("no OpenGL device");
        return;
    }
    plat::GfxDevice* recorder = plat::CreateRecordingDevice();
    recorder->AdoptStateOf(*gl);
    g_d3dDevice = recorder;
    BeginFrameDraw();
    DrawAllTasks();
    const plat::RecordedFrame recorded = plat::CurrentRecordedFrame();
    g_d3dDevice = gl;
    delete recorder;
    plat::ResetRecordedFrames();
    FloorFrame* floor = CreateFloorFrame(gl, recorded);
    if (floor == nullptr) {
        state.SkipWithError("the floor could not be made");
        return;
    }
    std::vector<uint32_t> pixels;
    std::vector<double> gameThread, passThread, floorThread;
    const auto gameFrame = [&] {
        const double t0 = detail::ThreadSeconds();
        BeginFrameDraw();
        DrawAllTasks();
        const double t1 = detail::ThreadSeconds();
        gl->ReadPixels(pixels);
        EndFrameDraw();
        passThread.push_back(t1 - t0);
        gameThread.push_back(detail::ThreadSeconds() - t0);
    };
    std::vector<double> floorPassThread;
    const auto floorFrame = [&] {
        const double t0 = detail::ThreadSeconds();
        DrawFloorFrame(floor);
        const double t1 = detail::ThreadSeconds();
        gl->ReadPixels(pixels);
        gl->Present();
        floorPassThread.push_back(t1 - t0);
        floorThread.push_back(detail::ThreadSeconds() - t0);
    };
    gameFrame(); // the first frame of either may build what later ones reuse
    const plat::GlCallCounts calls = plat::LastGlFrameCallCounts();
    floorFrame();
    using Clock = std::chrono::steady_clock;
    std::vector<double> gameTimes, floorTimes;
    bool gameFirst = true;
    for (auto _ : state) {
        const Clock::time_point t0 = Clock::now();
        if (gameFirst)
            gameFrame();
        else
            floorFrame();
        const Clock::time_point t1 = Clock::now();
        if (gameFirst)
            floorFrame();
        else
            gameFrame();
        const Clock::time_point t2 = Clock::now();
        const double first = std::chrono::duration<double>(t1 - t0).count();
        const double second = std::chrono::duration<double>(t2 - t1).count();
        gameTimes.push_back(gameFirst ? first : second);
        floorTimes.push_back(gameFirst ? second : first);
        state.SetIterationTime(gameTimes.back());
        gameFirst = !gameFirst;
    }
    const FloorSummary summary = SummariseFloorFrame(floor);
    ReleaseFloorFrame(floor);
    const double game = detail::Median(gameTimes), floorTime = detail::Median(floorTimes);
    state.counters["game_ms"] = game * 1000.0;
    state.counters["floor_ms"] = floorTime * 1000.0;
    state.counters["game/floor"] = floorTime > 0.0 ? game / floorTime : 0.0;
    // The main thread's CPU: the whole frame, and its draw pass alone (the tasks' drawing
    // and the OpenGL calls made in it; the floor's clear and draws), for the game's frame
    // and the floor.
    state.counters["game_main_ms"] = detail::Median(gameThread) * 1000.0;
    state.counters["game_pass_ms"] = detail::Median(passThread) * 1000.0;
    state.counters["floor_main_ms"] = detail::Median(floorThread) * 1000.0;
    state.counters["floor_pass_ms"] = detail::Median(floorPassThread) * 1000.0;
    state.counters["share_of_16.7ms"] = game / 0.0166667;
    state.counters["gl_draws"] = calls.draws;
    state.counters["gl_state_calls"] = calls.StateCalls();
    state.counters["gl_fragment_changes"] = calls.fragmentStateChanges;
    state.counters["gl_triangles"] = calls.triangles;
    state.counters["floor_draws"] = summary.draws;
    state.counters["floor_triangles"] = summary.triangles;
    state.counters["floor_vertices"] = summary.vertices;
}

} // namespace bench
