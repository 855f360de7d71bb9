// Placeholder until the graphics module lands: start-up succeeds and nothing is drawn.
#include "engine/graphics.h"

int InitGraphics(void*) { return 1; }
void ReleaseGraphics() {}
int HasGraphicsDevice() { return 0; }
void BeginFrameDraw() {}
int EndFrameDraw() { return 1; }
