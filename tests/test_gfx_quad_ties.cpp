// Which pairs of opaque quads the OpenGL device may draw in either order: only those
// that can never give one pixel the same depth.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/gfx_quad_ties.h"

namespace {

struct TieRow {
    const char* what;
    float a[4][3]; // world corners, in drawing order
    float b[4][3];
    float depthB;    // clip depth of b's corners (a's are at 0.5)
    float falloff;   // of the projection: 0 for none
    bool bBehindEye; // b's first corner lies behind the eye
    bool mayTie;
};

// A camera over the x-z plane: x and z across the screen, one unit 40 pixels (w = 1).
plat::QuadShape Shape(const float corners[4][3], float depth, bool firstBehindEye)
{
    plat::QuadShape q{};
    std::memcpy(q.corner, corners, sizeof q.corner);
    float clip[4][4];
    for (int i = 0; i < 4; ++i) {
        clip[i][0] = corners[i][0] / 8.0f;
        clip[i][1] = corners[i][2] / 8.0f;
        clip[i][2] = depth;
        clip[i][3] = 1.0f;
    }
    if (firstBehindEye)
        clip[0][3] = -1.0f;
    plat::DescribeQuadShape(clip, 640.0f, 480.0f, 1.0f, 4e-6f, q);
    return q;
}

TEST(GfxQuadTies, OnlyQuadsThatMayGiveAPixelTheSameDepthAreKeptInOrder)
{
    const TieRow rows[] = {
        {"floor tiles sharing a whole side",
         {{0, 0, 0}, {2, 0, 0}, {2, 0, 2}, {0, 0, 2}},
         {{2, 0, 0}, {4, 0, 0}, {4, 0, 2}, {2, 0, 2}},
         0.5f,
         0.0f,
         false,
         false},
        {"floor tiles overlapping",
         {{0, 0, 0}, {2, 0, 0}, {2, 0, 2}, {0, 0, 2}},
         {{1, 0, 0}, {3, 0, 0}, {3, 0, 2}, {1, 0, 2}},
         0.5f,
         0.0f,
         false,
         true},
        {"floor tiles touching at one corner",
         {{0, 0, 0}, {2, 0, 0}, {2, 0, 2}, {0, 0, 2}},
         {{2, 0, 2}, {4, 0, 2}, {4, 0, 4}, {2, 0, 4}},
         0.5f,
         0.0f,
         false,
         false},
        {"floor tiles sharing part of a side",
         {{0, 0, 0}, {2, 0, 0}, {2, 0, 2}, {0, 0, 2}},
         {{2, 0, 1}, {4, 0, 1}, {4, 0, 3}, {2, 0, 3}},
         0.5f,
         0.0f,
         false,
         true},
        {"apart on the screen",
         {{0, 0, 0}, {2, 0, 0}, {2, 0, 2}, {0, 0, 2}},
         {{10, 0, 0}, {12, 0, 0}, {12, 0, 2}, {10, 0, 2}},
         0.5f,
         0.0f,
         false,
         false},
        {"one over the other, apart in depth",
         {{0, 0, 0}, {2, 0, 0}, {2, 0, 2}, {0, 0, 2}},
         {{0, 1, 0}, {2, 1, 0}, {2, 1, 2}, {0, 1, 2}},
         0.51f,
         0.0f,
         false,
         false},
        {"one over the other at one depth, farther apart than the buffer can tell",
         {{0, 0, 0}, {2, 0, 0}, {2, 0, 2}, {0, 0, 2}},
         {{0, 1, 0}, {2, 1, 0}, {2, 1, 2}, {0, 1, 2}},
         0.5f,
         1.0f,
         false,
         false},
        {"a fold: either side of a shared edge",
         {{0, 0, 0}, {2, 0, 0}, {2, 0, 2}, {0, 0, 2}},
         {{2, 0, 0}, {4, 1, 0}, {4, 1, 2}, {2, 0, 2}},
         0.5f,
         0.0f,
         false,
         false},
        {"a fold back over itself",
         {{0, 0, 0}, {2, 0, 0}, {2, 0, 2}, {0, 0, 2}},
         {{2, 0, 0}, {1, 1, 0}, {1, 1, 2}, {2, 0, 2}},
         0.5f,
         0.0f,
         false,
         true},
        {"partly behind the eye: anywhere",
         {{0, 0, 0}, {2, 0, 0}, {2, 0, 2}, {0, 0, 2}},
         {{10, 0, 0}, {12, 0, 0}, {12, 0, 2}, {10, 0, 2}},
         0.5f,
         0.0f,
         true,
         true},
    };
    for (const TieRow& row : rows) {
        SCOPED_TRACE(row.what);
        const plat::QuadShape a = Shape(row.a, 0.5f, false);
        const plat::QuadShape b = Shape(row.b, row.depthB, row.bBehindEye);
        EXPECT_EQ(plat::MayTie(a, b, 4e-6f, row.falloff), row.mayTie);
        EXPECT_EQ(plat::MayTie(b, a, 4e-6f, row.falloff), row.mayTie);
    }
}

} // namespace
