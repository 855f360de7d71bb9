#include "engine/config.h"

#include "engine/main_window.h"
#include "platform/window.h"

GameConfig g_gameConfig;

void SetDefaultConfig()
{
    g_gameConfig = GameConfig{};
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
    if (g_gameConfig.windowedOption) {
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
