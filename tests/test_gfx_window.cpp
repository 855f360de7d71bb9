// The display rows' effect on the real window and OpenGL device (SDL's offscreen
// driver needs no display): the depth buffer really changes size, and the whole
// window, frame included, is centred.
#include <gtest/gtest.h>

#include <SDL.h>

#include <cstdlib>
#include <filesystem>
#include <string>
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

const std::string kBuiltArchive = std::string(SUGOROKU_BUILD_DIR) + "/data.dat";

int DepthBits()
{
    int bits = -1;
    return SDL_GL_GetAttribute(SDL_GL_DEPTH_SIZE, &bits) == 0 ? bits : -1;
}

TEST(GfxWindow, TheDepthRowSwitchesTheDepthBufferBetween24And16Bits)
{
    if (!std::filesystem::exists(kBuiltArchive))
        GTEST_SKIP() << "data.dat has not been built";
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    test_support::TempDir dir;
    ASSERT_EQ(symlink(kBuiltArchive.c_str(), (dir / "data.dat").c_str()), 0);
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

    // As the options screen confirms each choice: 16, back to 24, 16 again.
    for (int depth24 : {0, 1, 0}) {
        SCOPED_TRACE(depth24);
        g_prevDepth24Option = g_depth24Option;
        g_depth24Option = depth24;
        ApplyDisplaySettings();
        ASSERT_TRUE(HasGraphicsDevice());
        EXPECT_EQ(DepthBits(), depth24 ? 24 : 16);
        EXPECT_EQ(g_depth24Option, depth24) << "the choice was kept, not undone";
        EXPECT_EQ(g_running, 1);
        EXPECT_NE(g_uiAtlas, nullptr) << "textures made again in the new context";
        // The frame goes on with the window made anew.
        EXPECT_EQ(g_hWnd, plat::MainWindow());
        auto* window = static_cast<SDL_Window*>(plat::MainWindow());
        int w = 0, h = 0;
        SDL_GetWindowSize(window, &w, &h);
        EXPECT_EQ((std::vector<int>{w, h}), (std::vector<int>{640, 480}));
        EXPECT_TRUE(SDL_GetWindowFlags(window) & SDL_WINDOW_SHOWN);
        EXPECT_EQ(EndFrameDraw(), 1) << "presents on the new window";
    }

    // The lost-device path rebuilds with the stored choice too.
    ReleaseGraphics();
    PlaceMainWindow();
    ASSERT_EQ(InitGraphics(g_hWnd), 1);
    EXPECT_EQ(DepthBits(), 16);

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
    // A frame of 3 pixels with a 25-pixel caption makes a 646 x 508 window.
    int x = 0, y = 0;
    CentredClientPosition(3, 25, 3, 3, &x, &y);
    EXPECT_EQ((std::vector<int>{x, y}), (std::vector<int>{(right - 646) / 2 + 3, (bottom - 508) / 2 + 25}));
    // An uneven frame: the outer rectangle is centred, not the client area.
    CentredClientPosition(0, 30, 10, 0, &x, &y);
    EXPECT_EQ((std::vector<int>{x, y}), (std::vector<int>{(right - 650) / 2, (bottom - 510) / 2 + 30}));
    CentredClientPosition(0, 0, 0, 0, &x, &y);
    EXPECT_EQ((std::vector<int>{x, y}), (std::vector<int>{(right - 640) / 2, (bottom - 480) / 2}));
    plat::QuitVideo();
}

} // namespace
