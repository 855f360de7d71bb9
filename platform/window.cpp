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
static int s_windowDepthBits = 0;  // the depth buffer the window's pixel format was made with
static std::string s_caption;      // UTF-8, for a window made anew
static bool s_eglHintOurs = false; // we asked for EGL on X11 (the user did not choose)

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
    // Through GLX the desktop's X server hands out its deepest depth buffer whatever we
    // ask for, so the 16-bit choice would change nothing; EGL gives the size asked for.
    // A user's own setting wins, and a window EGL cannot make is made through GLX.
    s_eglHintOurs = SDL_GetHint(SDL_HINT_VIDEO_X11_FORCE_EGL) == nullptr;
    if (s_eglHintOurs)
        SDL_SetHint(SDL_HINT_VIDEO_X11_FORCE_EGL, "1");
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

// A hidden, fixed-size OpenGL window whose pixel format has depthBits of depth buffer.
static SDL_Window* MakeGlWindow(int x, int y, int width, int height, int depthBits)
{
    PrepareGlWindowAttributes(depthBits >= 24);
    const Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
    SDL_Window* window = SDL_CreateWindow(s_caption.c_str(), x, y, width, height, flags);
    if (!window && s_eglHintOurs) {
        SDL_SetHint(SDL_HINT_VIDEO_X11_FORCE_EGL, "0");
        s_eglHintOurs = false;
        window = SDL_CreateWindow(s_caption.c_str(), x, y, width, height, flags);
    }
    if (!window)
        return nullptr;
    SDL_SetWindowResizable(window, SDL_FALSE);
    if (SDL_Surface* icon = MakeIcon(32)) {
        SDL_SetWindowIcon(window, icon);
        SDL_FreeSurface(icon);
    }
    s_windowDepthBits = depthBits;
    return window;
}

void* CreateMainWindow(const char* captionCp932, int x, int y, int width, int height)
{
    if (!InitVideo())
        return nullptr;
    s_caption = Cp932ToUtf8(captionCp932);
    // Settings start at their defaults: a 24-bit depth buffer.
    s_window = MakeGlWindow(x, y, width, height, 24);
    return s_window;
}

void* MatchMainWindowDepth(int depthBits)
{
    if (!s_window || s_windowDepthBits == depthBits)
        return s_window;
    int x = 0, y = 0, width = 0, height = 0;
    SDL_GetWindowPosition(s_window, &x, &y);
    SDL_GetWindowSize(s_window, &width, &height);
    const Uint32 flags = SDL_GetWindowFlags(s_window);
    SDL_DestroyWindow(s_window); // no context may use it any more: the device is released first
    s_window = MakeGlWindow(x, y, width, height, depthBits);
    if (!s_window)
        return nullptr;
    if (flags & SDL_WINDOW_ALWAYS_ON_TOP)
        SDL_SetWindowAlwaysOnTop(s_window, SDL_TRUE);
    if (flags & SDL_WINDOW_FULLSCREEN)
        SDL_SetWindowFullscreen(s_window, SDL_WINDOW_FULLSCREEN_DESKTOP);
    if (flags & SDL_WINDOW_SHOWN)
        SDL_ShowWindow(s_window);
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

void ShowWindowed(int width, int height)
{
    if (!s_window)
        return;
    SDL_SetWindowFullscreen(s_window, 0);
    SDL_SetWindowAlwaysOnTop(s_window, SDL_FALSE);
    SDL_SetWindowSize(s_window, width, height);
    SDL_ShowWindow(s_window);
}

void GetWindowFrame(int* left, int* top, int* right, int* bottom)
{
    *left = *top = *right = *bottom = 0;
    int t = 0, l = 0, b = 0, r = 0;
    // Unknown (no window manager, or a driver without frames) counts as no frame.
    if (!s_window || SDL_GetWindowBordersSize(s_window, &t, &l, &b, &r) != 0)
        return;
    if (t < 0 || l < 0 || b < 0 || r < 0)
        return;
    *left = l;
    *top = t;
    *right = r;
    *bottom = b;
}

void MoveClientArea(int x, int y)
{
    if (s_window)
        SDL_SetWindowPosition(s_window, x, y);
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
