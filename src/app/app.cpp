// Placeholder until the application frame lands.
#include "app/app.h"

int32_t g_running = 0;

int GameMain(int, char**) { return 0; }
