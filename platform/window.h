// The one main window (SDL2), its placement for the display mode, and its events.
#pragma once

namespace plat {

// Starts the video subsystem; false when there is no display to open a window on.
// className, when given, is the window class the desktop groups our windows by; it
// must be known before the video subsystem starts.
bool InitVideo(const char* className = nullptr);
void QuitVideo();
void QuitAll(); // at the program's end: every SDL subsystem
const char* LastVideoError(); // why the video or the window could not be opened

// Creates the hidden, fixed-size, OpenGL-capable main window with its client area
// width x height at (x, y). The caption is CP932. Returns the SDL_Window* or nullptr.
void* CreateMainWindow(const char* captionCp932, int x, int y, int width, int height);
void* MainWindow(); // nullptr when there is none (headless, or destroyed)
void ShowMainWindow();
void DestroyMainWindow();

// The desktop's right and bottom edges; false when unknown.
bool GetDesktopRect(int* right, int* bottom);

// Windowed: client area at (x, y), width x height, not above other windows, shown.
void PlaceWindowed(int x, int y, int width, int height);
// Full screen over the desktop, above other windows, shown.
void PlaceFullScreen();

enum class WindowEvent { None, CloseRequest, Other };
// Takes one pending event off the queue, if any, without waiting.
WindowEvent PollOneEvent();

} // namespace plat
