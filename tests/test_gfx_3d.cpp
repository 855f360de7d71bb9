// Camera, frustum, projection, world matrices and the x-z plane helpers.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/draw3d.h"
#include "test_gfx_support.h"

namespace {

plat::Vec3 Apply(const plat::Vec3& p, const plat::Matrix4& m, float w = 1.0f) {
    return {p.x * m.m[0][0] + p.y * m.m[1][0] + p.z * m.m[2][0] + w * m.m[3][0],
            p.x * m.m[0][1] + p.y * m.m[1][1] + p.z * m.m[2][1] + w * m.m[3][1],
            p.x * m.m[0][2] + p.y * m.m[1][2] + p.z * m.m[2][2] + w * m.m[3][2]};
}

void ExpectVec(const plat::Vec3& v, float x, float y, float z, float tolerance = 1e-5f) {
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
}

TEST(GfxCamera, FrustumFollowsTheCameraAndProjectionNeedsADevice) {
    std::memset(g_frustumPlanes, 0, sizeof g_frustumPlanes);
    {
        gfx_test::RecordingDevice device;
        SetCameraLookAt(0, 0, 0, 0, 0, -10);
        EXPECT_EQ(IsSphereInFrustum(50, 0, 0, 1), 1) << "planes are only taken when asked";
        UpdateFrustumPlanes();
        for (const float* p : g_frustumPlanes)
            EXPECT_NEAR(p[0] * p[0] + p[1] * p[1] + p[2] * p[2], 1.0f, 1e-5f);
        // Behind the eye, beyond the far plane (eye + 100) and far out to the side are out, but a
        // large sphere reaches in; the near side lies at half the near distance in front of the eye.
        const struct { float x, z, r; int in; } cases[] = {{0, 0, 0, 1},   {0, -20, 1, 0},    {0, 95, 1, 0},    {50, 0, 1, 0},
                                                           {50, 0, 60, 1}, {0, -9.94f, 0, 1}, {0, -9.96f, 0, 0}};
        for (const auto& c : cases)
            EXPECT_EQ(IsSphereInFrustum(c.x, 0, c.z, c.r), c.in) << c.x << "," << c.z << " r " << c.r;
        // A sphere touching a plane from outside counts as inside.
        for (auto& p : g_frustumPlanes) {
            p[0] = 1.0f;
            p[1] = p[2] = p[3] = 0.0f;
        }
        EXPECT_EQ(std::make_pair(IsSphereInFrustum(-2.0f, 5, 5, 2.0f), IsSphereInFrustum(-2.001f, 5, 5, 2.0f)), std::make_pair(1, 0));
    }
    // After a failed rebuild the update pass runs without a device: nothing may touch it.
    std::memset(g_frustumPlanes, 0, sizeof g_frustumPlanes);
    SetCameraLookAt(0, 0, 0, 0, 0, -10);
    UpdateFrustumPlanes();
    EXPECT_EQ(IsSphereInFrustum(1000, 1000, 1000, 0), 1);
    float out[3] = {7, 7, 7};
    const float origin[3] = {0, 0, 0};
    ProjectToScreen(out, origin);
    EXPECT_EQ(std::vector<float>(out, out + 3), std::vector<float>(3, 0.0f));
    Vertex3D quad[4] = {};
    DrawQuad3D(quad, 0xFF00FF00u, nullptr);
    DrawModel(&g_modelTable[0], nullptr);
}

TEST(GfxWorldMatrix, FacingIsNormalisedOnceAndWrittenBackAndLeanStaysInTheXYPlane) {
    plat::Matrix4 m, b;
    const float at[3] = {4, 5, 6};
    const struct { float in, out; } cases[] = {{-90, 270}, {360, 360}, {725, 365}, {-400, -40}, {45, 45}, {0, 0}};
    for (const auto& c : cases) {
        float facing = c.in, leaning = c.in;
        MakeWorldMatrixYaw(&m, at, &facing);
        MakeWorldMatrixYawRoll(&m, at, &leaning, 400.0f);
        EXPECT_EQ(std::make_pair(facing, leaning), std::make_pair(c.out, c.out)) << c.in;
    }
    // The model's own -z axis points along the facing: 0 is +x, 90 is +z, 270 is -z.
    for (auto [facing, x, z] : {std::tuple{0.0f, 1, 0}, {90.0f, 0, 1}, {-90.0f, 0, -1}}) {
        MakeWorldMatrixYaw(&m, at, &facing);
        ExpectVec(Apply({0, 0, -1}, m, 0), float(x), 0, float(z));
        ExpectVec(Apply({0, 0, 0}, m), 4, 5, 6);
    }
    // A lean of 30 degrees tilts up the same way whatever the facing.
    float f1 = 0, f2 = 90;
    MakeWorldMatrixYawRoll(&m, at, &f1, 30.0f);
    MakeWorldMatrixYawRoll(&b, at, &f2, 30.0f);
    const plat::Vec3 upB = Apply({0, 1, 0}, b, 0);
    ExpectVec(Apply({0, 1, 0}, m, 0), upB.x, upB.y, upB.z);
    ExpectVec({upB.y, upB.z, 0}, 0.8660254f, 0, 0, 1e-6f);
}

TEST(GfxPlane, GroundHelpers) {
    // Degrees are turned to radians with 3.14, so a quarter turn is slightly short.
    for (auto [from, angle, wantX, wantZ] : {std::tuple{0.0f, 90.0f, 0.0159255f, 19.999994f},
                                             {0.0f, 180.0f, -19.999975f, 0.031851f}, {1.0f, 0.0f, 21.0f, 2.0f}}) {
        float x = 0, z = 0;
        OffsetByAngle(&x, &z, from, 2 * from, angle, 20);
        ExpectVec({x, z, 0}, wantX, wantZ, 0, 2e-6f);
    }
    // Steps go only along rounded headings; any other leaves the output untouched (-1).
    const struct { float heading, x, z; } steps[] = {
        {89.5f, 10, 22}, {90.4f, 10, 22}, {-90, 10, 18}, {360, 12, 20}, {540, 8, 20}, {0, 12, 20}, {180, 8, 20},
        {270, 10, 18}, {-180, 8, 20}, {810, 10, 22}, {45, -1, -1}, {900, -1, -1}, {-270, -1, -1}, {89.4f, -1, -1}};
    for (const auto& c : steps) {
        float x = -1, z = -1;
        StepInDirection(&x, &z, 10, 20, c.heading, 2);
        EXPECT_EQ(std::make_pair(x, z), std::make_pair(c.x, c.z)) << c.heading;
    }
    const float a[3] = {0, 5, 0}, b[3] = {3, -7, 4};
    EXPECT_FLOAT_EQ(GetHorizontalDistance(a, b), 5.0f); // height is ignored
}

// The board's quads are checked corner by corner in the board view tests; here each call's colour.
TEST(GfxQuads, EachQuadTakesItsOwnColourAndTexture) {
    gfx_test::RecordingDevice device;
    plat::Texture* tile = device.MakeTexture(32, 32);
    Vertex3D quad[4] = {};
    DrawQuad3D(quad, 0x80FF0000u, tile);
    DrawQuad3D(quad, 0xFF0000FFu, nullptr);
    const plat::RecordedFrame& frame = plat::CurrentRecordedFrame();
    const auto fans = frame.WorldFans();
    ASSERT_EQ(fans.size(), 2u);
    EXPECT_TRUE(fans[0]->texture == tile && fans[1]->texture == nullptr);
    EXPECT_EQ(std::make_pair(frame.WorldVertexOf(*fans[0], 3).colour, frame.WorldVertexOf(*fans[1], 0).colour),
              std::make_pair(0x80FF0000u, 0xFF0000FFu));
}

} // namespace
