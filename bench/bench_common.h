// Set-up shared by the benchmarks that draw game frames on the built data files.
#pragma once

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/app.h"
#include "engine/task.h"
#include "platform/backends.h"
#include "platform/gfx_device.h"
#include "platform/keyboard.h"
#include "platform/msgbox.h"
#include "platform/window.h"

namespace bench {

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
        : home_(std::filesystem::current_path()),
          previousGfx_(plat::SelectedGfxBackend()),
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

// The time per frame as a share of the 16.7 ms a frame may take at 60 a second.
inline void ReportShareOfFrame(benchmark::State& state)
{
    state.counters["share_of_16.7ms"] = benchmark::Counter(static_cast<double>(state.iterations()) * 0.0166667,
                                                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

} // namespace bench
