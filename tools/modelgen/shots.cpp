// model_shots: draws the 25 models out of a built data.dat through the game's own
// loader and 3D drawing (OpenGL), standing on board cells 2 units apart, facing the
// camera, and saves the frames as one PNG sheet:
//   model_shots <data.dat> <sheet.png> [facing]
#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "engine/archive.h"
#include "engine/assets.h"
#include "engine/config.h"
#include "engine/draw3d.h"
#include "engine/graphics.h"
#include "platform/backends.h"
#include "platform/gfx_device.h"
#include "platform/image_codec.h"

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: model_shots <data.dat> <sheet.png> [facing]\n");
        return 2;
    }
    const float facingArg = argc > 3 ? float(std::atof(argv[3])) : 270.0f; // 270: the model's front toward -z
    if (!LoadDataFileFrom(argv[1])) {
        std::fprintf(stderr, "model_shots: cannot load %s\n", argv[1]);
        return 1;
    }
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "model_shots: %s\n", SDL_GetError());
        return 1;
    }
    plat::PrepareGlWindowAttributes(true);
    SDL_Window* window = SDL_CreateWindow("model shots", 0, 0, 640, 480, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!window) {
        std::fprintf(stderr, "model_shots: %s\n", SDL_GetError());
        return 1;
    }
    plat::SelectGfxBackend(plat::GfxBackend::OpenGL);
    g_gameConfig.windowedOption = 1;
    if (!InitGraphics(window)) {
        std::fprintf(stderr, "model_shots: the game could not load its graphics from %s\n", argv[1]);
        return 1;
    }
    const uint32_t w = 640, h = 480;
    std::vector<uint32_t> sheet(size_t(w) * 2 * h * 3, 0xFF000000u);
    for (int frame = 0; frame < 5; ++frame) {
        BeginFrameDraw();
        const float lookAt[3] = {0, 1.0f, 0};
        const float eye[3] = {0, 5.0f, -19.0f};
        SetCameraTransforms(lookAt, eye);
        for (int k = 0; k < 5; ++k) {
            int model = frame * 5 + k;
            float pos[3] = {float(k - 2) * 2.0f, 0, 0};
            float facing = facingArg;
            plat::Matrix4 world;
            MakeWorldMatrixYaw(&world, pos, &facing);
            DrawModel(&g_modelTable[model], &world);
        }
        std::vector<uint32_t> pixels;
        if (!g_d3dDevice->ReadPixels(pixels) || pixels.size() != size_t(w) * h) {
            std::fprintf(stderr, "model_shots: cannot read the frame back\n");
            return 1;
        }
        EndFrameDraw();
        size_t ox = (frame % 2) * w, oy = (frame / 2) * h;
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x)
                sheet[(oy + y) * (2 * w) + ox + x] = pixels[size_t(y) * w + x];
    }
    bool ok = plat::WritePngFile(argv[2], sheet.data(), 2 * w, 3 * h);
    ReleaseGraphics();
    FreeDataFile();
    SDL_DestroyWindow(window);
    SDL_Quit();
    if (!ok) {
        std::fprintf(stderr, "model_shots: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
