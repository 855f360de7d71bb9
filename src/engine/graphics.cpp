// The graphics device's life: created from the settings into its one fixed state,
// filled with every texture and model, and released whole.
#include "engine/graphics.h"

#include <cstdio>
#include <string>

#include "engine/assets.h"
#include "engine/config.h"
#include "engine/draw3d.h"
#include "engine/main_window.h"
#include "platform/backends.h"
#include "platform/gfx_device.h"
#include "platform/window.h"

plat::GfxDevice* g_d3dDevice = nullptr;
plat::Viewport g_viewport = {0, 0, 640, 480, 0.0f, 1.0f};

int CreateD3DDevice(void* window, int refreshRate)
{
    plat::DeviceSettings settings;
    settings.windowed = g_gameConfig.windowedOption == 1;
    settings.colour32 = g_gameConfig.colour32Option != 0;
    settings.vsync = g_gameConfig.vsyncOption != 0;
    settings.depth24 = g_gameConfig.depth24Option != 0;
    settings.refreshRate = settings.windowed ? 0 : refreshRate;
    if (plat::SelectedGfxBackend() == plat::GfxBackend::OpenGL && window && window == plat::MainWindow()) {
        // The depth buffer comes with the window's pixel format: another size needs the
        // window made anew, and the frame goes on with that one.
        void* matched = plat::MatchMainWindowDepth(settings.depth24 ? 24 : 16);
        if (matched != window) {
            if (g_hWnd == window)
                g_hWnd = matched;
            if (!matched) {
                std::fprintf(stderr, "graphics device: cannot make the window anew: %s\n", plat::LastVideoError());
                return 0;
            }
            window = matched;
            PlaceMainWindow();
        }
    }
    std::string error;
    g_d3dDevice = plat::CreateGfxDevice(plat::SelectedGfxBackend(), window, settings, &error);
    if (!g_d3dDevice) {
        std::fprintf(stderr, "graphics device: %s\n", error.c_str());
        return 0;
    }
    return 1;
}

void SetFixedRenderStates()
{
    if (!g_d3dDevice)
        return;
    g_d3dDevice->SetRenderState(plat::RenderState::DepthTest, 1);
    g_d3dDevice->SetRenderState(plat::RenderState::CullNone, 1);
    g_d3dDevice->SetRenderState(plat::RenderState::Lighting, 0);
}

void SetFullViewport()
{
    g_viewport = {0, 0, 640, 480, 0.0f, 1.0f};
    if (g_d3dDevice)
        g_d3dDevice->SetViewport(g_viewport);
}

void SetBlendStates()
{
    if (!g_d3dDevice)
        return;
    // Texture times vertex colour for colour and alpha is the device's only texture stage mode.
    g_d3dDevice->SetRenderState(plat::RenderState::AlphaBlend, 1);
}

void SetCameraLookAt(float targetX, float targetY, float targetZ, float eyeX, float eyeY, float eyeZ)
{
    const float target[3] = {targetX, targetY, targetZ};
    const float eye[3] = {eyeX, eyeY, eyeZ};
    SetCameraTransforms(target, eye);
}

int InitGraphics(void* window)
{
    if (g_d3dDevice) // never build a second device over the first
        ReleaseGraphics();
    g_uiAtlas = nullptr;
    g_fontTexture = nullptr;
    for (plat::Texture*& t : g_textures)
        t = nullptr;
    if (!CreateD3DDevice(window, 60) && !CreateD3DDevice(window, 0))
        return 0;
    SetFixedRenderStates();
    SetFullViewport();
    SetBlendStates();
    if (!LoadTexturesFromData())
        return 0;
    if (!LoadModelsFromData())
        return 0;
    SetCameraLookAt(0.0f, 100.0f, 0.0f, 0.0f, 100.0f, 0.1f);
    return 1;
}

void ReleaseGraphics()
{
    for (ModelRecord& sphere : g_effectModels)
        ReleaseModelRecord(&sphere);
    for (ModelRecord& model : g_modelTable)
        ReleaseModelRecord(&model);
    for (plat::Texture*& t : g_textures) {
        if (t && g_d3dDevice)
            g_d3dDevice->ReleaseTexture(t);
        t = nullptr;
    }
    if (g_fontTexture && g_d3dDevice)
        g_d3dDevice->ReleaseTexture(g_fontTexture);
    g_fontTexture = nullptr;
    if (g_uiAtlas && g_d3dDevice)
        g_d3dDevice->ReleaseTexture(g_uiAtlas);
    g_uiAtlas = nullptr;
    delete g_d3dDevice;
    g_d3dDevice = nullptr;
}

int HasGraphicsDevice()
{
    return g_d3dDevice ? 1 : 0;
}

void BeginFrameDraw()
{
    if (!g_d3dDevice)
        return;
    g_d3dDevice->Clear(0xFF000000u, 1.0f);
    g_d3dDevice->BeginScene();
}

int EndFrameDraw()
{
    if (!g_d3dDevice)
        return 1;
    g_d3dDevice->SetTexture(nullptr);
    g_d3dDevice->EndScene();
    return g_d3dDevice->Present() ? 1 : 0;
}
