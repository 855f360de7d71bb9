// The graphics device's life: created from the settings, released whole and
// created anew after a lost device or a display change.
#pragma once

int InitGraphics(void* window);
void ReleaseGraphics();
int HasGraphicsDevice();

// The frame's use of the device (render step).
void BeginFrameDraw(); // clear target and depth, begin the scene
int EndFrameDraw();    // no texture, end the scene, present; 0 when the device was lost

namespace plat {
class GfxDevice;
struct Viewport;
} // namespace plat

// The device; NULL while none exists (no drawing happens then).
extern plat::GfxDevice* g_d3dDevice;
extern plat::Viewport g_viewport; // {0, 0, 640, 480, 0.0, 1.0}

int CreateD3DDevice(void* window, int refreshRate); // from the settings; 1 or 0
void SetFixedRenderStates();                        // depth test on, no culling, lighting off
void SetFullViewport();
void SetBlendStates();
void SetCameraLookAt(float targetX, float targetY, float targetZ, float eyeX, float eyeY, float eyeZ);
