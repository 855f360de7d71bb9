// The application frame: start-up chain, the frame (render, update, wait) and shutdown.
#pragma once
#include <cstdint>

extern int32_t g_running;

int GameMain(int argc, char** argv); // the program's entry; returns the exit code

int InitGame(void* window); // the start-up chain; 1 on success
int InitGameState();
void RunFrame();
void RenderFrame();
void UpdateFrame();
void ShutdownGame();

void CenterOnDesktop(int* x, int* y, int width, int height);
void SetFloat4(float* destination, float a, float b, float c, float d);
