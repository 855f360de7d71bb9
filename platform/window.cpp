#include "platform/window.h"
#include "platform/gfx_device.h"

#include <SDL.h>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/text_encoding.h"

namespace plat {

static SDL_Window* s_window = nullptr;
static bool s_videoStarted = false;

bool InitVideo(const char* className)
{
    if (s_videoStarted)
        return true;
    if (className && *className) {
        // Read from the environment when the video subsystem starts; a user's own
        // setting is left alone.
        setenv("SDL_VIDEO_X11_WMCLASS", className, 0);
        setenv("SDL_VIDEO_WAYLAND_WMCLASS", className, 0);
    }
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
        return false;
    s_videoStarted = true;
    return true;
}

void QuitVideo()
{
    if (!s_videoStarted)
        return;
    DestroyMainWindow();
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    s_videoStarted = false;
}

void QuitAll()
{
    DestroyMainWindow();
    SDL_Quit();
    s_videoStarted = false;
}

const char* LastVideoError()
{
    return SDL_GetError();
}

// The game's icon: a white die showing five on a green board square.
static SDL_Surface* MakeIcon(int size)
{
    SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormat(0, size, size, 32, SDL_PIXELFORMAT_RGBA32);
    if (!icon)
        return nullptr;
    const int margin = size / 8;
    const int pip = size / 8;
    const int centres[5][2] = {{size / 4 + margin / 2, size / 4 + margin / 2},
                               {size - size / 4 - margin / 2, size / 4 + margin / 2},
                               {size / 2, size / 2},
                               {size / 4 + margin / 2, size - size / 4 - margin / 2},
                               {size - size / 4 - margin / 2, size - size / 4 - margin / 2}};
    SDL_LockSurface(icon);
    for (int y = 0; y < size; ++y) {
        uint8_t* row = static_cast<uint8_t*>(icon->pixels) + y * icon->pitch;
        for (int x = 0; x < size; ++x) {
            uint8_t r = 40, g = 150, b = 60; // board green
            bool onDie = x >= margin && x < size - margin && y >= margin && y < size - margin;
            if (onDie) {
                r = g = b = 245;
                for (const auto& c : centres) {
                    int dx = x - c[0], dy = y - c[1];
                    if (dx * dx + dy * dy <= pip * pip / 2 + 1) {
                        r = 200;
                        g = b = 30;
                    }
                }
            }
            row[x * 4 + 0] = r;
            row[x * 4 + 1] = g;
            row[x * 4 + 2] = b;
            row[x * 4 + 3] = 255;
        }
    }
    SDL_UnlockSurface(icon);
    return icon;
}

void* CreateMainWindow(const char* captionCp932, int x, int y, int width, int height)
{
    if (!InitVideo())
        return nullptr;
    std::string caption = Cp932ToUtf8(captionCp932);
    // The GL pixel format is fixed when an X11 window is made; settings start at their
    // defaults (24-bit depth), and the device asks again for its own context.
    PrepareGlWindowAttributes(true);
    s_window = SDL_CreateWindow(caption.c_str(), x, y, width, height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!s_window)
        return nullptr;
    SDL_SetWindowResizable(s_window, SDL_FALSE);
    if (SDL_Surface* icon = MakeIcon(32)) {
        SDL_SetWindowIcon(s_window, icon);
        SDL_FreeSurface(icon);
    }
    return s_window;
}

void* MainWindow()
{
    return s_window;
}

void ShowMainWindow()
{
    if (s_window)
        SDL_ShowWindow(s_window);
}

void DestroyMainWindow()
{
    if (!s_window)
        return;
    SDL_DestroyWindow(s_window);
    s_window = nullptr;
}

bool GetDesktopRect(int* right, int* bottom)
{
    if (!s_videoStarted)
        return false;
    SDL_Rect bounds;
    if (SDL_GetDisplayBounds(0, &bounds) != 0)
        return false;
    *right = bounds.x + bounds.w;
    *bottom = bounds.y + bounds.h;
    return true;
}

void PlaceWindowed(int x, int y, int width, int height)
{
    if (!s_window)
        return;
    SDL_SetWindowFullscreen(s_window, 0);
    SDL_SetWindowAlwaysOnTop(s_window, SDL_FALSE);
    SDL_SetWindowSize(s_window, width, height);
    SDL_SetWindowPosition(s_window, x, y);
    SDL_ShowWindow(s_window);
}

void PlaceFullScreen()
{
    if (!s_window)
        return;
    SDL_SetWindowAlwaysOnTop(s_window, SDL_TRUE);
    SDL_SetWindowFullscreen(s_window, SDL_WINDOW_FULLSCREEN_DESKTOP);
    SDL_ShowWindow(s_window);
}

WindowEvent PollOneEvent()
{
    SDL_Event event;
    if (!SDL_PollEvent(&event))
        return WindowEvent::None;
    if (event.type == SDL_QUIT)
        return WindowEvent::CloseRequest;
    if (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_CLOSE)
        return WindowEvent::CloseRequest;
    return WindowEvent::Other;
}

} // namespace plat
