#include "engine/config.h"

#include "engine/main_window.h"
#include "platform/window.h"

int32_t g_windowedOption = 1;
int32_t g_colour32Option = 1;
int32_t g_vsyncOption = 1;
int32_t g_depth24Option = 1;
int32_t g_prevWindowedOption = 1;
int32_t g_prevColour32Option = 1;
int32_t g_prevVsyncOption = 1;
int32_t g_prevDepth24Option = 1;
int32_t g_soundEffectsOn = 1;
int32_t g_musicOn = 1;
int32_t g_battleAnimation = 1;

void SetDefaultConfig()
{
    int32_t* const fields[] = {&g_windowedOption, &g_colour32Option, &g_vsyncOption, &g_depth24Option,
                               &g_prevWindowedOption, &g_prevColour32Option, &g_prevVsyncOption,
                               &g_prevDepth24Option, &g_soundEffectsOn, &g_musicOn, &g_battleAnimation};
    for (int32_t* field : fields)
        *field = 1;
}

void CentredClientPosition(int frameLeft, int frameTop, int frameRight, int frameBottom, int* x, int* y)
{
    CenterOnDesktop(x, y, kClientWidth + frameLeft + frameRight, kClientHeight + frameTop + frameBottom);
    *x += frameLeft;
    *y += frameTop;
}

void PlaceMainWindow()
{
    if (!plat::MainWindow())
        return; // headless: nothing to place
    if (g_windowedOption) {
        // The whole window, frame and caption included, is centred; its frame is known
        // only once the window system has framed the shown window.
        plat::ShowWindowed(kClientWidth, kClientHeight);
        int left = 0, top = 0, right = 0, bottom = 0;
        plat::GetWindowFrame(&left, &top, &right, &bottom);
        int x = 0, y = 0;
        CentredClientPosition(left, top, right, bottom, &x, &y);
        plat::MoveClientArea(x, y);
    } else {
        plat::PlaceFullScreen();
    }
}
