// Camera, frustum, projection, world matrices and the x-z plane helpers.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/draw3d.h"
#include "platform/xfile.h"
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

TEST(GfxCamera, FrustumFollowsTheCameraAndProjectionNeedsADevice)
{
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
        const struct {
            float x, z, r;
            int in;
        } cases[] = {{0, 0, 0, 1},   {0, -20, 1, 0},    {0, 95, 1, 0},    {50, 0, 1, 0},
                     {50, 0, 60, 1}, {0, -9.94f, 0, 1}, {0, -9.96f, 0, 0}};
        for (const auto& c : cases)
            EXPECT_EQ(IsSphereInFrustum(c.x, 0, c.z, c.r), c.in) << c.x << "," << c.z << " r " << c.r;
        // A sphere touching a plane from outside counts as inside.
        for (auto& p : g_frustumPlanes) {
            p[0] = 1.0f;
            p[1] = p[2] = p[3] = 0.0f;
        }
        EXPECT_EQ(std::make_pair(IsSphereInFrustum(-2.0f, 5, 5, 2.0f), IsSphereInFrustum(-2.001f, 5, 5, 2.0f)),
                  std::make_pair(1, 0));
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

TEST(GfxWorldMatrix, FacingIsNormalisedOnceAndWrittenBackAndLeanStaysInTheXYPlane)
{
    plat::Matrix4 m, b;
    const float at[3] = {4, 5, 6};
    const struct {
        float in, out;
    } cases[] = {{-90, 270}, {360, 360}, {725, 365}, {-400, -40}, {45, 45}, {0, 0}};
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

TEST(GfxPlane, GroundHelpers)
{
    // Degrees are turned to radians with 3.14, so a quarter turn is slightly short.
    for (auto [from, angle, wantX, wantZ] : {std::tuple{0.0f, 90.0f, 0.0159255f, 19.999994f},
                                             {0.0f, 180.0f, -19.999975f, 0.031851f},
                                             {1.0f, 0.0f, 21.0f, 2.0f}}) {
        float x = 0, z = 0;
        OffsetByAngle(&x, &z, from, 2 * from, angle, 20);
        ExpectVec({x, z, 0}, wantX, wantZ, 0, 2e-6f);
    }
    // Steps go only along rounded headings; any other leaves the output untouched (-1).
    const struct {
        float heading, x, z;
    } steps[] = {{89.5f, 10, 22}, {90.4f, 10, 22}, {-90, 10, 18},  {360, 12, 20},  {540, 8, 20},
                 {0, 12, 20},     {180, 8, 20},    {270, 10, 18},  {-180, 8, 20},  {810, 10, 22},
                 {45, -1, -1},    {900, -1, -1},   {-270, -1, -1}, {89.4f, -1, -1}};
    for (const auto& c : steps) {
        float x = -1, z = -1;
        StepInDirection(&x, &z, 10, 20, c.heading, 2);
        EXPECT_EQ(std::make_pair(x, z), std::make_pair(c.x, c.z)) << c.heading;
    }
    const float a[3] = {0, 5, 0}, b[3] = {3, -7, 4};
    EXPECT_FLOAT_EQ(GetHorizontalDistance(a, b), 5.0f); // height is ignored
}

// The board's quads are checked corner by corner in the board view tests; here each call's colour.
TEST(GfxQuads, EachQuadTakesItsOwnColourAndTexture)
{
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

// A model of one triangle whose bounding box runs from lo to hi.
ModelRecord BoxBoundedModel(const plat::Vec3& lo, const plat::Vec3& hi)
{
    plat::XMeshData data;
    data.positions = {lo.x, lo.y, lo.z, hi.x, hi.y, hi.z, hi.x, lo.y, hi.z};
    data.indices = {0, 1, 2};
    data.triangleMaterial = {0};
    data.materials.resize(1);
    ModelRecord model{};
    EXPECT_EQ(LoadModelFromMeshData(&model, data), 1);
    return model;
}

// A model of one triangle whose bounding box is the cube of side 1 about (cx, 0, 0).
ModelRecord CubeBoundedModel(float cx)
{
    return BoxBoundedModel({cx - 0.5f, -0.5f, -0.5f}, {cx + 0.5f, 0.5f, 0.5f});
}

// Models wholly out of view are not sent; a model that reaches into view by any part of
// its bounding sphere is. The camera looks along +z from z = -20: at the origin the view
// is 5.36 units wide on either side, its sides leaning 15 degrees; the far side is z = 80.
TEST(GfxModelCulling, OnlyModelsThatReachIntoTheViewAreSent)
{
    gfx_test::RecordingDevice device;
    ModelRecord centred = CubeBoundedModel(0.0f), offset = CubeBoundedModel(10.0f);
    plat::Texture* skin = device.MakeTexture(2, 2);
    centred.textures[0] = skin;
    SetCameraLookAt(0, 0, 0, 0, 0, -20);
    struct Place {
        const ModelRecord* model;
        plat::Matrix4 world;
        bool sent;
    };
    float quarterTurn = 0.0f; // facing 0 turns the model's +x onto the world's +z
    plat::Matrix4 turned;
    const float origin[3] = {0, 0, 0};
    MakeWorldMatrixYaw(&turned, origin, &quarterTurn);
    plat::Matrix4 scaled = plat::MatrixIdentity();
    scaled.m[0][0] = scaled.m[1][1] = scaled.m[2][2] = 10.0f;
    scaled.m[3][0] = 12.0f;
    const Place places[] = {
        {&centred, plat::MatrixTranslation(0, 0, 0), true},
        {&centred, plat::MatrixTranslation(0, 0, -25), false},  // behind the eye
        {&centred, plat::MatrixTranslation(0, 0, 90), false},   // beyond the far side
        {&centred, plat::MatrixTranslation(0, 0, 80.5f), true}, // reaching back over it
        {&centred, plat::MatrixTranslation(6.3f, 0, 0), false}, // its sphere (0.87) ends 0.04 beyond the side
        {&centred, plat::MatrixTranslation(6.1f, 0, 0), true},
        {&centred, plat::MatrixTranslation(-6.3f, 0, 0), false},
        {&centred, plat::MatrixTranslation(0, 6.3f, 0), false},
        {&centred, plat::MatrixTranslation(0, -6.1f, 0), true},
        {&offset, plat::MatrixTranslation(-10, 0, 0), true}, // its box sits at the origin of the world
        {&offset, plat::MatrixTranslation(0, 0, 0), false},  // and here at x = 10
        {&offset, turned, true},                             // turned onto the z axis
        {&centred, scaled, true},                            // ten times larger: reaches in from x = 12
    };
    for (const bool culling : {false, true}) {
        UseModelCulling(culling);
        plat::CurrentRecordedFrame().Reset();
        std::vector<bool> sent;
        for (const Place& p : places) {
            const size_t before = plat::CurrentRecordedFrame().MeshDraws().size();
            DrawModel(p.model, &p.world);
            sent.push_back(plat::CurrentRecordedFrame().MeshDraws().size() > before);
            // Sent or not, the device is left as the model's drawing leaves it.
            const plat::Matrix4 world = g_d3dDevice->GetTransform(plat::TransformState::World);
            EXPECT_EQ(std::memcmp(&world, &p.world, sizeof world), 0);
            EXPECT_TRUE(g_d3dDevice->GetRenderState(plat::RenderState::Lighting) == 0 &&
                        g_d3dDevice->GetTexture() == p.model->textures[0] &&
                        g_d3dDevice->GetVertexFormat() == plat::kFvfWorld);
        }
        for (size_t i = 0; i < std::size(places); ++i)
            EXPECT_EQ(sent[i], places[i].sent || !culling) << "place " << i << (culling ? "" : " without culling");
    }
    // The view followed is the camera's at the draw, whoever set it: from z = +20 the
    // place behind the first camera is in front, and z = 25 behind.
    SetCameraLookAt(0, 0, 0, 0, 0, 20);
    plat::CurrentRecordedFrame().Reset();
    const plat::Matrix4 behind = plat::MatrixTranslation(0, 0, -25);
    DrawModel(&centred, &behind);
    ModelRecord sphere{};
    ASSERT_EQ(CreateColouredSphereModel(&sphere, 8, 0.4f, 0xFFFFFF00u), 1);
    const float farSide[3] = {0, 0, 25}, middle[3] = {0, 0, 0};
    DrawModelAtPosition(&sphere, farSide);
    EXPECT_EQ(g_d3dDevice->GetTexture(), nullptr);
    DrawModelAtPosition(&sphere, middle);
    const plat::RecordedFrame& frame = plat::CurrentRecordedFrame();
    const auto draws = frame.MeshDraws();
    ASSERT_EQ(draws.size(), 2u);
    EXPECT_TRUE(draws[0]->mesh == centred.mesh && draws[1]->mesh == sphere.mesh);
    EXPECT_EQ(frame.StateOf(*draws[1]).world.m[3][2], 0.0f) << "the sphere in the middle, not the one behind";
    centred.textures[0] = nullptr; // the device's own, released with it
    for (ModelRecord* m : {&centred, &offset, &sphere})
        ReleaseModelRecord(m);
}

// A model far longer than it is thick, placed with its origin 20 units outside one side
// of the view and running 20 units back toward it, reaches 0.5 units into the view with
// its tip: it is sent, at every side and along each axis. Same camera as above: at z = 0
// the view reaches 5.36 units to each side, the near side is z = -19.9 and the far z = 80.
TEST(GfxModelCulling, ALongModelWhoseTipReachesIntoTheViewIsSent)
{
    gfx_test::RecordingDevice device;
    SetCameraLookAt(0, 0, 0, 0, 0, -20);
    const struct {
        const char* side;
        plat::Vec3 lo, hi; // the model's box, 0.2 thick
        plat::Vec3 at;     // where its origin is placed
    } cases[] = {
        {"right", {-20, -0.1f, -0.1f}, {0, 0.1f, 0.1f}, {24.86f, 0, 0}},
        {"left", {0, -0.1f, -0.1f}, {20, 0.1f, 0.1f}, {-24.86f, 0, 0}},
        {"top", {-0.1f, -20, -0.1f}, {0.1f, 0, 0.1f}, {0, 24.86f, 0}},
        {"bottom", {-0.1f, 0, -0.1f}, {0.1f, 20, 0.1f}, {0, -24.86f, 0}},
        {"far", {-0.1f, -0.1f, -20}, {0.1f, 0.1f, 0}, {0, 0, 99.5f}},
        {"near", {-0.1f, -0.1f, 0}, {0.1f, 0.1f, 20}, {0, 0, -39.4f}},
    };
    for (const auto& c : cases) {
        ModelRecord model = BoxBoundedModel(c.lo, c.hi);
        const plat::Matrix4 world = plat::MatrixTranslation(c.at.x, c.at.y, c.at.z);
        plat::CurrentRecordedFrame().Reset();
        DrawModel(&model, &world);
        EXPECT_EQ(plat::CurrentRecordedFrame().MeshDraws().size(), 1u) << "the model at the " << c.side << " side";
        ReleaseModelRecord(&model);
    }
}

} // namespace
