#include "engine/main_window.h"

#include "platform/window.h"

int32_t g_running = 0;
void* g_hWnd = nullptr;

void CenterOnDesktop(int* x, int* y, int width, int height)
{
    *x = 0;
    *y = 0;
    int right = 0, bottom = 0;
    if (!plat::GetDesktopRect(&right, &bottom))
        return;
    *x = (right - width) / 2;
    *y = (bottom - height) / 2;
}
