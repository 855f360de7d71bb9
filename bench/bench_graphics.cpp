// The cost of one busy frame: 300 sprites over a 100 x 100 board of textured quads,
// on the recording device and on OpenGL in a hidden window; and a whole device
// rebuild on a real data.dat when one is found.
#include <benchmark/benchmark.h>

#include <SDL.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "engine/archive.h"
#include "engine/assets.h"
#include "engine/config.h"
#include "engine/draw3d.h"
#include "engine/graphics.h"
#include "engine/sprite.h"
#include "platform/backends.h"
#include "platform/gfx_device.h"

namespace {

plat::Texture* MakeTexture(uint32_t w, uint32_t h)
{
    plat::Image image;
    image.width = image.imageWidth = w;
    image.height = image.imageHeight = h;
    image.pixels.assign(static_cast<size_t>(w) * h, 0xFF8040C0u);
    return g_d3dDevice->CreateTexture(image);
}

void DrawBusyFrame(plat::Texture* atlas, plat::Texture* tile)
{
    BeginFrameDraw();
    SetCameraLookAt(100, 0, -100, 100, 40, -140);
    g_d3dDevice->SetTransform(plat::TransformState::World, plat::MatrixIdentity());
    Vertex3D quad[4];
    for (int row = 0; row < 100; ++row) {
        for (int col = 0; col < 100; ++col) {
            const float x = 2.0f * static_cast<float>(col), z = -2.0f * static_cast<float>(row);
            SetVertex3D(&quad[0], x, 0, z, 0, 0);
            SetVertex3D(&quad[1], x + 2, 0, z, 1, 0);
            SetVertex3D(&quad[2], x + 2, 0, z - 2, 1, 1);
            SetVertex3D(&quad[3], x, 0, z - 2, 0, 1);
            DrawQuad3D(quad, 0xFFFFFFFFu, tile);
        }
    }
    for (int i = 0; i < 300; ++i) {
        const float x = static_cast<float>((i % 20) * 32), y = static_cast<float>((i / 20) * 32);
        DrawSprite(x, y, {0, 0, 32, 32}, 2048.0f, 2048.0f, 0x96FFFFFFu, atlas);
    }
    EndFrameDraw();
}

void BM_FrameRecording(benchmark::State& state)
{
    ReleaseGraphics();
    g_d3dDevice = plat::CreateRecordingDevice();
    plat::Texture* atlas = MakeTexture(2048, 2048);
    plat::Texture* tile = MakeTexture(32, 32);
    for (auto _ : state)
        DrawBusyFrame(atlas, tile);
    g_d3dDevice->ReleaseTexture(atlas);
    g_d3dDevice->ReleaseTexture(tile);
    ReleaseGraphics();
    state.SetItemsProcessed(state.iterations() * 10300);
}
BENCHMARK(BM_FrameRecording)->Unit(benchmark::kMillisecond);

// A hidden 640 x 480 window with the OpenGL device on it and the game's fixed states,
// for benchmarks that draw through OpenGL without starting the game; all of it is
// released when it goes. When it cannot be made, the benchmark is skipped.
class GlWindowDevice {
public:
    explicit GlWindowDevice(benchmark::State& state)
    {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            state.SkipWithError("no video");
            return;
        }
        videoUp_ = true;
        plat::PrepareGlWindowAttributes(true);
        window_ = SDL_CreateWindow("bench", 0, 0, 640, 480, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        ReleaseGraphics();
        SetDefaultConfig();
        g_gameConfig.vsyncOption = 0;
        plat::SelectGfxBackend(plat::GfxBackend::OpenGL);
        if (!window_ || !CreateD3DDevice(window_, 60)) {
            state.SkipWithError("no OpenGL device");
            return;
        }
        SetFixedRenderStates();
        SetFullViewport();
        ok_ = true;
    }
    ~GlWindowDevice()
    {
        if (ok_)
            ReleaseGraphics();
        if (window_)
            SDL_DestroyWindow(window_);
        if (videoUp_)
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
    GlWindowDevice(const GlWindowDevice&) = delete;
    GlWindowDevice& operator=(const GlWindowDevice&) = delete;

    bool ok() const { return ok_; }

private:
    SDL_Window* window_ = nullptr;
    bool videoUp_ = false;
    bool ok_ = false;
};

void BM_FrameOpenGl(benchmark::State& state)
{
    const GlWindowDevice device(state);
    if (!device.ok())
        return;
    SetBlendStates();
    plat::Texture* atlas = MakeTexture(2048, 2048);
    plat::Texture* tile = MakeTexture(32, 32);
    std::vector<uint32_t> pixels;
    for (auto _ : state) {
        DrawBusyFrame(atlas, tile);
        g_d3dDevice->ReadPixels(pixels); // waits until the frame is really drawn
    }
    g_d3dDevice->ReleaseTexture(atlas);
    g_d3dDevice->ReleaseTexture(tile);
    state.SetItemsProcessed(state.iterations() * 10300);
}
BENCHMARK(BM_FrameOpenGl)->Unit(benchmark::kMillisecond);

// The floor under every frame benchmark that reads its picture back: a cleared frame
// and the read-back that waits for it.
void BM_EmptyFrameReadBackOpenGl(benchmark::State& state)
{
    const GlWindowDevice device(state);
    if (!device.ok())
        return;
    std::vector<uint32_t> pixels;
    for (auto _ : state) {
        BeginFrameDraw();
        g_d3dDevice->ReadPixels(pixels);
        EndFrameDraw();
    }
}
BENCHMARK(BM_EmptyFrameReadBackOpenGl)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

// Release everything and load it all again, as after a lost device or a display
// change: on the recording device (loading and decoding) and on OpenGL (with the
// context and the texture uploads).
void RunRebuild(benchmark::State& state, plat::GfxBackend backend)
{
    const char* path = std::getenv("SUGOROKU_DATA");
    if (!path)
        path = "data.dat";
    if (!LoadDataFileFrom(path)) {
        state.SkipWithError("no data.dat (set SUGOROKU_DATA)");
        return;
    }
    SDL_Window* window = nullptr;
    if (backend == plat::GfxBackend::OpenGL) {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) {
            plat::PrepareGlWindowAttributes(true);
            window = SDL_CreateWindow("bench", 0, 0, 640, 480, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        }
        if (!window) {
            state.SkipWithError("no window");
            FreeDataFile();
            return;
        }
    }
    SetDefaultConfig();
    plat::SelectGfxBackend(backend);
    for (auto _ : state) {
        ReleaseGraphics();
        if (!InitGraphics(window)) {
            state.SkipWithError("the archive's graphics do not load");
            break;
        }
    }
    ReleaseGraphics();
    FreeDataFile();
    if (window) {
        SDL_DestroyWindow(window);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
    plat::SelectGfxBackend(plat::GfxBackend::OpenGL);
}

void BM_DeviceRebuildRecording(benchmark::State& state)
{
    RunRebuild(state, plat::GfxBackend::Recording);
}
BENCHMARK(BM_DeviceRebuildRecording)->Unit(benchmark::kMillisecond);

void BM_DeviceRebuildOpenGl(benchmark::State& state)
{
    RunRebuild(state, plat::GfxBackend::OpenGL);
}
BENCHMARK(BM_DeviceRebuildOpenGl)->Unit(benchmark::kMillisecond);

} // namespace
