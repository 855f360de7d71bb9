// The main window that the frame opens and the screens place, and the run flag that
// any screen may clear: the frame shuts the game down once its passes are over.
#pragma once
#include <cstdint>

constexpr int kClientWidth = 640;
constexpr int kClientHeight = 480;

extern int32_t g_running;
extern void* g_hWnd; // the main window (SDL_Window*); nullptr headless or after shutdown

// The top-left corner that centres a width x height rectangle on the desktop; (0, 0)
// when the desktop's size is not known.
void CenterOnDesktop(int* x, int* y, int width, int height);
