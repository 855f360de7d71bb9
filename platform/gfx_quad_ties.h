// Whether two opaque quads drawn with the depth test may give one pixel the same depth,
// so that the later one shows there and their order matters. Pure geometry on the
// quads' corners as the game passed them and as they land on the screen: no OpenGL.
#pragma once
#include <cstdint>

namespace plat {

// What the tie checks need of a quad; kept for the quads that later ones may have to
// come after. corner is filled in by the caller, the rest by DescribeQuadShape but
// quad and seen, which are the caller's own.
struct QuadShape {
    float corner[4][3];             // as the game passed them: shared edges are equal corners
    float x[4], y[4];               // on the screen, in pixels of the viewport
    float left, top, right, bottom; // the pixels it may touch, with a margin
    float nearDepth, farDepth;      // the depths it may give, with the buffer's slack
    bool watertight;                // every corner before the eye and unclipped: shared edges hold
    int plane;                      // the axis it lies across when an axis-aligned rectangle, else -1
    float lo[3], hi[3];             // its extent along each axis
    float farthest;                 // clip w of its farthest corner: its largest view depth
    uint32_t quad;                  // the caller's number for it
    uint32_t seen;
};

// The quad's screen rectangle and depths, from its corners' clip coordinates (x, y, z, w
// in the game's clip space) in a viewport of width x height pixels, with pixelScale
// pixels of the drawable to one of the viewport and a depth buffer that may store depths
// closer than depthSlack alike. The corners must be in place.
void DescribeQuadShape(const float clip[4][4], float width, float height, float pixelScale, float depthSlack,
                       QuadShape& q);
// Whether a and b may give one pixel the same depth. depthFalloff is B of a perspective
// projection's depth = A - B / z (0 for any other projection).
bool MayTie(const QuadShape& a, const QuadShape& b, float depthSlack, float depthFalloff);

} // namespace plat
