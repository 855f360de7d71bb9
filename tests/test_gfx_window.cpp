// The display rows' effect on the real window and OpenGL device (SDL's offscreen
// driver needs no display): the depth buffer really changes size, and the whole
// window, frame included, is centred.
#include <gtest/gtest.h>

#include <SDL.h>

#include <filesystem>
#include <unistd.h>

#include "app/app.h"
#include "engine/archive.h"
#include "engine/assets.h"
#include "engine/config.h"
#include "engine/graphics.h"
#include "frontend/options.h"
#include "platform/backends.h"
#include "platform/window.h"
#include "test_support.h"

namespace {

int DepthBits()
{
    int bits = -1;
    return SDL_GL_GetAttribute(SDL_GL_DEPTH_SIZE, &bits) == 0 ? bits : -1;
}

TEST(GfxWindow, TheDepthRowSwitchesTheDepthBufferBetween24And16Bits)
{
    const std::string archive = std::string(SUGOROKU_BUILD_DIR) + "/data.dat";
    if (!std::filesystem::exists(archive))
        GTEST_SKIP() << "data.dat has not been built";
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    test_support::TempDir dir;
    ASSERT_EQ(symlink(archive.c_str(), (dir / "data.dat").c_str()), 0);
    const std::string home = std::filesystem::current_path().string();
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    ASSERT_EQ(LoadDataFile(), 1);
    ASSERT_TRUE(plat::InitVideo("VARDUN")) << plat::LastVideoError();
    SetDefaultConfig();
    g_running = 1;
    plat::SelectGfxBackend(plat::GfxBackend::OpenGL);
    g_hWnd = plat::CreateMainWindow("test", 0, 0, 640, 480);
    ASSERT_NE(g_hWnd, nullptr) << plat::LastVideoError();
    ASSERT_EQ(InitGraphics(g_hWnd), 1);
    EXPECT_EQ(DepthBits(), 24);

    // As the options screen confirms the choice: the window and device are made anew, with
    // the textures, and the frame goes on presenting on the new window.
    g_gameConfig.prevDepth24Option = 1;
    g_gameConfig.depth24Option = 0;
    ApplyDisplaySettings();
    ASSERT_TRUE(HasGraphicsDevice());
    EXPECT_EQ((std::vector<int>{DepthBits(), g_gameConfig.depth24Option, g_running}), (std::vector<int>{16, 0, 1}));
    auto* window = static_cast<SDL_Window*>(plat::MainWindow());
    int w = 0, h = 0;
    SDL_GetWindowSize(window, &w, &h);
    EXPECT_TRUE(g_uiAtlas && g_hWnd == window && w == 640 && h == 480 &&
                (SDL_GetWindowFlags(window) & SDL_WINDOW_SHOWN));
    EXPECT_EQ(EndFrameDraw(), 1);
    ReleaseGraphics();
    FreeDataFile();
    plat::QuitVideo();
    g_hWnd = nullptr;
    EXPECT_EQ(chdir(home.c_str()), 0);
}

TEST(GfxWindow, TheWholeWindowFrameIncludedIsCentred)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    if (!plat::InitVideo("VARDUN"))
        GTEST_SKIP() << "no video driver: " << plat::LastVideoError();
    int right = 0, bottom = 0;
    ASSERT_TRUE(plat::GetDesktopRect(&right, &bottom));
    // A frame of 3 pixels with a 25-pixel caption makes a 646 x 508 window; with an uneven
    // frame the outer rectangle is centred, not the client area.
    int x = 0, y = 0;
    CentredClientPosition(3, 25, 3, 3, &x, &y);
    EXPECT_EQ((std::vector<int>{x, y}), (std::vector<int>{(right - 646) / 2 + 3, (bottom - 508) / 2 + 25}));
    CentredClientPosition(0, 30, 10, 0, &x, &y);
    EXPECT_EQ((std::vector<int>{x, y}), (std::vector<int>{(right - 650) / 2, (bottom - 510) / 2 + 30}));
    plat::QuitVideo();
}

} // namespace
