// The graphics device's life: created from the settings, released whole and
// created anew after a lost device or a display change.
#pragma once

int InitGraphics(void* window);
void ReleaseGraphics();
int HasGraphicsDevice();

// The frame's use of the device (render step).
void BeginFrameDraw();       // clear target and depth, begin the scene
int EndFrameDraw();          // no texture, end the scene, present; 0 when the device was lost
