// The one main window (SDL2), its placement for the display mode, and its events.
#pragma once

namespace plat {

// Starts the video subsystem; false when there is no display to open a window on.
// className, when given, is the window class the desktop groups our windows by; it
// must be known before the video subsystem starts.
bool InitVideo(const char* className = nullptr);
void QuitVideo();
void QuitAll();               // at the program's end: every SDL subsystem
const char* LastVideoError(); // why the video or the window could not be opened

// Creates the hidden, fixed-size, OpenGL-capable main window with its client area
// width x height at (x, y). The caption is CP932. Returns the SDL_Window* or nullptr.
void* CreateMainWindow(const char* captionCp932, int x, int y, int width, int height);
void* MainWindow(); // nullptr when there is none (headless, or destroyed)
// The window's pixel format, and with it the depth buffer's size, is fixed when the
// window is made. For another size the main window is made anew (same caption, place,
// size, full-screen and shown state); returns the window to use, nullptr if none could be made.
void* MatchMainWindowDepth(int depthBits);
void ShowMainWindow();
void DestroyMainWindow();

// The desktop's right and bottom edges; false when unknown.
bool GetDesktopRect(int* right, int* bottom);

// Windowed: out of full screen, not above other windows, client area width x height,
// shown (the window system frames a window only once it is shown).
void ShowWindowed(int width, int height);
// The frame the window system draws around the client area (caption included), as it
// reports it for the existing window; all 0 when it reports none.
void GetWindowFrame(int* left, int* top, int* right, int* bottom);
// Puts the client area's top-left corner at (x, y) on the desktop.
void MoveClientArea(int x, int y);
// Full screen over the desktop, above other windows, shown.
void PlaceFullScreen();

enum class WindowEvent { None, CloseRequest, Other };
// Takes one pending event off the queue, if any, without waiting.
WindowEvent PollOneEvent();

} // namespace plat
