// Camera, frustum, projection, world matrices and the x-z plane helpers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "engine/draw3d.h"
#include "platform/math3d.h"
#include "platform/mesh.h"
#include "test_gfx_support.h"

namespace {

plat::Vec3 Apply(const plat::Vec3& p, const plat::Matrix4& m, float w = 1.0f)
{
    return {p.x * m.m[0][0] + p.y * m.m[1][0] + p.z * m.m[2][0] + w * m.m[3][0],
            p.x * m.m[0][1] + p.y * m.m[1][1] + p.z * m.m[2][1] + w * m.m[3][1],
            p.x * m.m[0][2] + p.y * m.m[1][2] + p.z * m.m[2][2] + w * m.m[3][2]};
}

void ExpectVec(const plat::Vec3& v, float x, float y, float z, float tolerance = 1e-5f)
{
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
}

TEST(GfxMath, LookAtAndPerspectiveFollowTheLeftHandedRowVectorForm)
{
    const plat::Matrix4 view = plat::MatrixLookAtLH({0, 0, -5}, {0, 0, 0}, {0, 1, 0});
    ExpectVec(Apply({0, 0, 0}, view), 0, 0, 5);  // in front of the eye: positive depth
    ExpectVec(Apply({1, 0, 0}, view), 1, 0, 5);  // x stays right
    ExpectVec(Apply({0, 2, 0}, view), 0, 2, 5);

    const plat::Matrix4 p = plat::MatrixPerspectiveFovLH(0.5235988f, 1.0f, 0.1f, 100.0f);
    ExpectVec({p.m[0][0], p.m[1][1], p.m[2][2]}, 3.7320508f, 3.7320508f, 100.0f / 99.9f);
    ExpectVec({p.m[2][3], p.m[3][2], p.m[3][3]}, 1.0f, -10.0f / 99.9f, 0.0f, 1e-6f);
    // Depth runs 0 at the near plane to 1 at the far plane.
    EXPECT_NEAR(plat::TransformCoord({0, 0, 0.1f}, p).z, 0.0f, 1e-6f);
    EXPECT_NEAR(plat::TransformCoord({0, 0, 100.0f}, p).z, 1.0f, 1e-6f);

    const plat::Matrix4 ab = plat::MatrixMultiply(plat::MatrixTranslation(1, 2, 3), plat::MatrixRotationY(1.5707964f));
    ExpectVec(Apply({0, 0, 0}, ab), 3, 2, -1); // translated first, then turned
    ExpectVec(Apply({1, 0, 0}, plat::MatrixRotationZ(1.5707964f)), 0, 1, 0);

    const plat::Plane n = plat::PlaneNormalize({0, 3, 4, 10});
    ExpectVec({n.b, n.c, n.d}, 0.6f, 0.8f, 2.0f, 1e-6f);
}

TEST(GfxMath, BoundsOfStridedPositions)
{
    const float v[3][4] = {{1, -2, 3, 99}, {-1, 4, 0, 99}, {0, 1, 6, 99}};
    plat::Vec3 lo, hi, c;
    float r = 0;
    ASSERT_TRUE(plat::ComputeBoundingBox(v, 3, 16, &lo, &hi));
    ExpectVec(lo, -1, -2, 0);
    ExpectVec(hi, 1, 4, 6);
    ASSERT_TRUE(plat::ComputeBoundingSphere(v, 3, 16, &c, &r));
    ExpectVec(c, 0, 1, 3);
    EXPECT_NEAR(r, std::sqrt(19.0f), 1e-5f);
    EXPECT_FALSE(plat::ComputeBoundingBox(v, 0, 16, &lo, &hi));
}

class GfxCamera : public ::testing::Test {
protected:
    void SetUp() override { std::memset(g_frustumPlanes, 0, sizeof g_frustumPlanes); }
    void TearDown() override { std::memset(g_frustumPlanes, 0, sizeof g_frustumPlanes); }
    gfx_test::RecordingDevice device;
};

TEST_F(GfxCamera, LookAtPointProjectsToTheScreenCentre)
{
    SetCameraLookAt(10.0f, 0.0f, 4.0f, 10.0f, 20.0f, -16.0f);
    float out[3];
    const float target[3] = {10.0f, 0.0f, 4.0f};
    ProjectToScreen(out, target);
    ExpectVec({out[0], out[1], 0}, 320.0f, 240.0f, 0, 1e-3f);
    EXPECT_TRUE(out[2] > 0.0f && out[2] < 1.0f) << out[2];
    // A point above the target is higher on the screen (smaller y); one to +x is to the right.
    const float above[3] = {10.0f, 2.0f, 4.0f};
    ProjectToScreen(out, above);
    EXPECT_LT(out[1], 240.0f);
    const float right[3] = {12.0f, 0.0f, 4.0f};
    ProjectToScreen(out, right);
    EXPECT_GT(out[0], 320.0f);
}

TEST_F(GfxCamera, FrustumPlanesCullWhatTheCameraCannotSee)
{
    SetCameraLookAt(0, 0, 0, 0, 0, -10);
    EXPECT_EQ(IsSphereInFrustum(50, 0, 0, 1), 1) << "planes are only taken when asked";
    UpdateFrustumPlanes();
    for (const float* p : g_frustumPlanes)
        EXPECT_NEAR(p[0] * p[0] + p[1] * p[1] + p[2] * p[2], 1.0f, 1e-5f);
    // Behind the eye, beyond the far plane (eye + 100) and far out to the side are out, but a
    // large sphere reaches in; the near side lies at half the near distance in front of the eye.
    const struct { float x, z, r; int in; } cases[] = {{0, 0, 0, 1},   {0, -20, 1, 0},  {0, 95, 1, 0},  {50, 0, 1, 0},
                                                       {50, 0, 60, 1}, {0, -9.94f, 0, 1}, {0, -9.96f, 0, 0}};
    for (const auto& c : cases) EXPECT_EQ(IsSphereInFrustum(c.x, 0, c.z, c.r), c.in) << c.x << "," << c.z << " r " << c.r;
    // A sphere touching a plane from outside counts as inside.
    for (auto& p : g_frustumPlanes) {
        p[0] = 1.0f;
        p[1] = p[2] = p[3] = 0.0f;
    }
    EXPECT_EQ(IsSphereInFrustum(-2.0f, 5, 5, 2.0f), 1);
    EXPECT_EQ(IsSphereInFrustum(-2.001f, 5, 5, 2.0f), 0);
}

TEST(GfxCameraNoDevice, CameraAndProjectionDoNothingWithoutADevice)
{
    ReleaseGraphics();
    std::memset(g_frustumPlanes, 0, sizeof g_frustumPlanes);
    SetCameraLookAt(0, 0, 0, 0, 0, -10);
    UpdateFrustumPlanes();
    EXPECT_EQ(IsSphereInFrustum(1000, 1000, 1000, 0), 1);
    float out[3] = {7, 7, 7};
    const float p[3] = {0, 0, 0};
    ProjectToScreen(out, p);
    EXPECT_EQ(std::vector<float>(out, out + 3), std::vector<float>(3, 0.0f));
    Vertex3D quad[4] = {};
    DrawQuad3D(quad, 0xFF00FF00u, nullptr);
    DrawModel(&g_modelTable[0], nullptr);
}

TEST(GfxWorldMatrix, FacingIsNormalisedOnceAndWrittenBack)
{
    plat::Matrix4 m;
    const float at[3] = {4, 5, 6};
    const struct { float in, out; } cases[] = {{-90, 270}, {360, 360}, {725, 365}, {-400, -40}, {45, 45}, {0, 0}};
    for (const auto& c : cases) {
        float facing = c.in;
        MakeWorldMatrixYaw(&m, at, &facing);
        EXPECT_FLOAT_EQ(facing, c.out) << c.in;
    }
    // The model's own -z axis points along the facing: 0 is +x, 90 is +z, 270 is -z.
    for (auto [facing, x, z] : {std::tuple{0.0f, 1, 0}, {90.0f, 0, 1}, {-90.0f, 0, -1}}) {
        MakeWorldMatrixYaw(&m, at, &facing);
        ExpectVec(Apply({0, 0, -1}, m, 0), float(x), 0, float(z));
        ExpectVec(Apply({0, 0, 0}, m), 4, 5, 6);
    }
}

TEST(GfxWorldMatrix, LeanTiltsWithinTheXYPlaneWhateverTheFacing)
{
    plat::Matrix4 a, b;
    const float at[3] = {0, 0, 0};
    float f1 = 0, f2 = 90;
    MakeWorldMatrixYawRoll(&a, at, &f1, 30.0f);
    MakeWorldMatrixYawRoll(&b, at, &f2, 30.0f);
    const plat::Vec3 upA = Apply({0, 1, 0}, a, 0), upB = Apply({0, 1, 0}, b, 0);
    ExpectVec(upA, upB.x, upB.y, upB.z);
    EXPECT_NEAR(upA.z, 0.0f, 1e-6f);
    EXPECT_NEAR(upA.y, std::cos(30.0f * kModelDegreesToRadians), 1e-6f);
    float f3 = -10;
    MakeWorldMatrixYawRoll(&a, at, &f3, 400.0f);
    EXPECT_FLOAT_EQ(f3, 350.0f);
}

TEST(GfxPlane, OffsetByAngleUsesThreePointOneFour)
{
    // Degrees are turned to radians with 3.14, so a quarter turn is slightly short.
    for (auto [from, angle, wantX, wantZ] : {std::tuple{0.0f, 90.0f, 0.0159255f, 19.999994f},
                                             {0.0f, 180.0f, -19.999975f, 0.031851f}, {1.0f, 0.0f, 21.0f, 2.0f}}) {
        float x = 0, z = 0;
        OffsetByAngle(&x, &z, from, 2 * from, angle, 20);
        ExpectVec({x, z, 0}, wantX, wantZ, 0, 2e-6f);
    }
}

TEST(GfxPlane, StepInDirectionMovesOnlyOnRoundedHeadings)
{
    const struct { float heading, x, z; } cases[] = {{89.5f, 10, 22}, {90.4f, 10, 22}, {-90, 10, 18}, {360, 12, 20}, {540, 8, 20},
                 {0, 12, 20},     {180, 8, 20},    {270, 10, 18}, {-180, 8, 20}, {810, 10, 22}};
    for (const auto& c : cases) {
        float x = -1, z = -1;
        StepInDirection(&x, &z, 10, 20, c.heading, 2);
        EXPECT_EQ(x, c.x) << c.heading;
        EXPECT_EQ(z, c.z) << c.heading;
    }
    for (float heading : {45.0f, 900.0f, -270.0f, 89.4f}) {
        float x = -1, z = -1;
        StepInDirection(&x, &z, 10, 20, heading, 2);
        EXPECT_EQ(x, -1.0f) << heading;
        EXPECT_EQ(z, -1.0f) << heading;
    }
}

TEST(GfxPlane, HorizontalDistanceIgnoresHeight)
{
    const float a[3] = {0, 5, 0}, b[3] = {3, -7, 4};
    EXPECT_FLOAT_EQ(GetHorizontalDistance(a, b), 5.0f);
}

TEST(GfxQuads, EachQuadTakesItsColourWithoutChangingTheCallersVertices)
{
    gfx_test::RecordingDevice device;
    plat::Texture* tile = device.MakeTexture(32, 32);
    Vertex3D quad[4];
    SetVertex3D(&quad[0], 0, 0, 0, 0, 0);
    SetVertex3D(&quad[1], 2, 0, 0, 1, 0);
    SetVertex3D(&quad[2], 2, 0, -2, 1, 1);
    SetVertex3D(&quad[3], 0, 0, -2, 0, 1);
    DrawQuad3D(quad, 0x80FF0000u, tile);
    DrawQuad3D(quad, 0xFF0000FFu, nullptr);
    for (const Vertex3D& v : quad)
        EXPECT_EQ(v.colour, 0xFFFFFFFFu);
    const plat::RecordedFrame& frame = plat::CurrentRecordedFrame();
    const auto fans = frame.WorldFans();
    ASSERT_EQ(fans.size(), 2u);
    EXPECT_TRUE(fans[0]->fvf == plat::kFvfWorld && fans[0]->stride == 24u);
    EXPECT_TRUE(fans[0]->texture == tile && fans[1]->texture == nullptr);
    ExpectVec({frame.WorldVertexOf(*fans[0], 2).x, frame.WorldVertexOf(*fans[0], 2).z, frame.WorldVertexOf(*fans[0], 3).v},
              2, -2, 1, 0);
    EXPECT_EQ(frame.WorldVertexOf(*fans[0], 0).colour, 0x80FF0000u);
    EXPECT_EQ(frame.WorldVertexOf(*fans[1], 0).colour, 0xFF0000FFu);
}

} // namespace
