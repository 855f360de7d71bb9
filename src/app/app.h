// The application frame: start-up chain, the frame (render, update, wait) and shutdown.
#pragma once
#include <cstdint>

#include "engine/main_window.h"

extern char g_windowTitle[100]; // the caption, CP932
extern char g_windowClass[100]; // the window class name

int GameMain(int argc, char** argv); // the program's entry; returns the exit code

int InitGame(void* window); // the start-up chain; 1 on success
int InitGameState();
// The engine's task pool and the board's stage buffers, taken in one start-up step
// (1 or 0) and given back in one.
int InitWorldBuffers();
void FreeWorldBuffers();
void RunFrame();
void RenderFrame();
void UpdateFrame();
void ShutdownGame();
// The window's close box (or a terminating signal): shuts down now between frames,
// after the frame when it comes during one or while a message box is open.
void HandleCloseRequest();

// 1 from a successful start-up until shutdown: frames run only then, and a second
// shutdown does nothing.
int IsGameLive();
// The frame without its minimum length (headless runs).
void RunFrameUnpaced();
// Whether a frame that began at start (milliseconds) may end at now: at least
// 16.666666 ms of whole milliseconds, the difference taken unsigned across a wrap.
int FrameMayEnd(uint32_t start, uint32_t now);
