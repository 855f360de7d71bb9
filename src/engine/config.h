// The settings record: every field is 1 at every start and none is stored.
#pragma once
#include <cstdint>

struct GameConfig {
    int32_t windowedOption = 1;     // 1 windowed, 0 full screen
    int32_t colour32Option = 1;     // full-screen back buffer of 32 bits, else 16
    int32_t vsyncOption = 1;        // presenting waits for the vertical blank
    int32_t depth24Option = 1;      // depth buffer of 24 bits, else 16
    int32_t prevWindowedOption = 1; // the display settings when the options screen opened
    int32_t prevColour32Option = 1;
    int32_t prevVsyncOption = 1;
    int32_t prevDepth24Option = 1;
    int32_t soundEffectsOn = 1;  // effects play when not 0
    int32_t musicOn = 1;         // music plays when 1
    int32_t battleAnimation = 1; // 1: battles show the 3D battle scene
};
static_assert(sizeof(GameConfig) == 44, "the settings are eleven 32-bit integers");

extern GameConfig g_gameConfig;

void SetDefaultConfig();
void PlaceMainWindow();
// The client area's top-left corner that centres the whole window on the desktop, for a
// frame of these widths around the 640 x 480 client area.
void CentredClientPosition(int frameLeft, int frameTop, int frameRight, int frameBottom, int* x, int* y);
