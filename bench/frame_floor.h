// The floor of a frame: the frame drawn the cheapest way, what a frame of the game is
// measured against. Every triangle of a recorded frame that reaches into the view,
// moved once into OpenGL's clip space with its colour as lit, its corners shared as the
// game's models share theirs (one vertex for every corner alike in place, colour and
// texture coordinates), without the repeated wall quads the game leaves out, kept in
// static buffers and drawn with one texture (each triangle reading as many texels as it
// did) in at most two draws (textured, untextured) per stretch of the same depth test
// and blending, into the same 640 x 480 picture. It costs the rasteriser what the frame
// costs it (the same pixels, triangles and texel footprints) and the main thread as
// little as can be. OpenGL devices only.
#pragma once
#include <cstdint>

#include "platform/gfx_device.h"

namespace bench {

struct FloorFrame;
struct FloorSummary {
    uint32_t triangles = 0;
    uint32_t vertices = 0; // distinct corners
    uint32_t draws = 0;
};
// Null when the device is not OpenGL or the buffers cannot be made.
FloorFrame* CreateFloorFrame(plat::GfxDevice* device, const plat::RecordedFrame& frame);
// Clears the target and depth and draws the floor (no present), on the device it was made on.
void DrawFloorFrame(FloorFrame* floor);
FloorSummary SummariseFloorFrame(const FloorFrame* floor);
void ReleaseFloorFrame(FloorFrame* floor); // before the device goes

} // namespace bench
