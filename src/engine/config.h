// The settings record: every field is 1 at every start and none is stored.
#pragma once
#include <cstdint>

extern int32_t g_windowedOption;
extern int32_t g_colour32Option;
extern int32_t g_vsyncOption;
extern int32_t g_depth24Option;
extern int32_t g_prevWindowedOption;
extern int32_t g_prevColour32Option;
extern int32_t g_prevVsyncOption;
extern int32_t g_prevDepth24Option;
extern int32_t g_soundEffectsOn;
extern int32_t g_musicOn;
extern int32_t g_battleAnimation;

void SetDefaultConfig();
void PlaceMainWindow();
// The client area's top-left corner that centres the whole window on the desktop, for a
// frame of these widths around the 640 x 480 client area.
void CentredClientPosition(int frameLeft, int frameTop, int frameRight, int frameBottom, int* x, int* y);
