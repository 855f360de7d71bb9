// The OpenGL back end in a hidden window (SDL's offscreen driver needs no display):
// a known frame is drawn through the game's own operations and read back.
#include <gtest/gtest.h>

#include <SDL.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <filesystem>
#include <string>

#include "engine/archive.h"
#include "engine/assets.h"
#include "engine/config.h"
#include "engine/draw3d.h"
#include "engine/input.h"
#include "engine/sprite.h"
#include "engine/graphics.h"
#include "frontend/team_select.h"
#include "frontend/title.h"
#include "platform/mesh.h"
#include "test_gfx_support.h"

namespace {

using WorldVertexFan = std::array<plat::WorldVertex, 6>;

class GfxOpenGl : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
        plat::PrepareGlWindowAttributes(true);
        window = SDL_CreateWindow("gfx test", 0, 0, 640, 480, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        ASSERT_NE(window, nullptr) << SDL_GetError();
        ReleaseGraphics();
        SetDefaultConfig();
        plat::SelectGfxBackend(plat::GfxBackend::OpenGL);
        // The device and its fixed state as the start-up makes them; assets are the test's own.
        ASSERT_EQ(CreateD3DDevice(window, 60), 1);
        ASSERT_EQ(g_d3dDevice->Backend(), plat::GfxBackend::OpenGL);
        SetFixedRenderStates();
        SetFullViewport();
        SetBlendStates();
    }
    void TearDown() override
    {
        for (ModelRecord& r : models)
            ReleaseModelRecord(&r);
        for (plat::Texture* t : textures)
            if (g_d3dDevice)
                g_d3dDevice->ReleaseTexture(t);
        ReleaseGraphics();
        if (window)
            SDL_DestroyWindow(window);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }

    plat::Texture* Texture(uint32_t w, uint32_t h, const std::vector<uint32_t>& pixels)
    {
        plat::Image image;
        image.width = image.imageWidth = w;
        image.height = image.imageHeight = h;
        image.pixels = pixels;
        return textures.emplace_back(g_d3dDevice->CreateTexture(image));
    }

    // A 4 x 4 square on the ground around the origin, texture corners in order.
    static void FloorQuad(Vertex3D quad[4])
    {
        const float corner[4][2] = {{-2, 2}, {2, 2}, {2, -2}, {-2, -2}};
        for (int i = 0; i < 4; ++i)
            SetVertex3D(&quad[i], corner[i][0], 0, corner[i][1], float(i == 1 || i == 2), float(i >= 2));
    }

    uint32_t At(const float point[3])
    {
        float s[3];
        ProjectToScreen(s, point);
        const int x = static_cast<int>(s[0]), y = static_cast<int>(s[1]);
        EXPECT_TRUE(x >= 0 && x < 640 && y >= 0 && y < 480) << "off screen: " << x << "," << y;
        if (x < 0 || x >= 640 || y < 0 || y >= 480)
            return 0;
        return pixels.at(static_cast<size_t>(y) * 640 + x);
    }

    SDL_Window* window = nullptr;
    std::vector<plat::Texture*> textures;
    ModelRecord models[3] = {};
    std::vector<uint32_t> pixels;
};

TEST_F(GfxOpenGl, KnownFrameIsDrawnTexelExact)
{
    const uint32_t red = 0xFFFF0000u, blue = 0xFF0000FFu;
    plat::Texture* checker = Texture(2, 2, {red, blue, blue, red});
    std::vector<uint32_t> texels(16);
    for (uint32_t i = 0; i < 16; ++i)
        texels[i] = 0xFF000000u | (i * 0x0F0000u) | ((15 - i) * 0x000F00u) | 0x40u;
    texels[15] = 0x00000000u; // keyed out: the quad shows through
    plat::Texture* sprite = Texture(4, 4, texels);

    // A lit model: one large triangle whose material glows green and whose diffuse colour must not show.
    plat::XMeshData tri;
    tri.positions = {3, 0, 3, 7, 0, 3, 5, 0, -3};
    tri.indices = {0, 1, 2};
    tri.triangleMaterial = {0};
    plat::XMaterial glow;
    glow.diffuse[0] = 1.0f;
    glow.diffuse[3] = 1.0f;
    glow.emissive[1] = 1.0f;
    tri.materials = {glow};
    ASSERT_EQ(LoadModelFromMeshData(&models[0], tri), 1);
    ASSERT_EQ(CreateColouredSphereModel(&models[1], 16, 3.4f, 0xFFFF0000u), 1);
    ASSERT_EQ(CreateColouredSphereModel(&models[2], 8, 0.4f, 0xFFFFFF00u), 1);

    SetCameraLookAt(0, 0, 0, 0, 20, -20);
    BeginFrameDraw();
    Vertex3D quad[4];
    FloorQuad(quad);
    g_d3dDevice->SetTransform(plat::TransformState::World, plat::MatrixIdentity());
    DrawQuad3D(quad, 0xFFFFFFFFu, checker);
    const plat::Matrix4 identity = plat::MatrixIdentity();
    DrawModel(&models[0], &identity);
    const float redAt[3] = {-5.5f, 0, 0}, yellowAt[3] = {0, 1, -7};
    DrawModelAtPosition(&models[1], redAt);
    DrawModelAtPosition(&models[2], yellowAt);

    float centre[3];
    const float middle[3] = {0, 0, 0};
    ProjectToScreen(centre, middle);
    const float sx = RoundToNearest(centre[0]) - 2.0f, sy = RoundToNearest(centre[1]) - 2.0f;
    EXPECT_FLOAT_EQ(DrawSprite(sx, sy, {0, 0, 4, 4}, 4, 4, 0xFFFFFFFFu, sprite), sx + 4.0f);
    DrawSprite(20, 20, {0, 0, 4, 4}, 4, 4, 0x80FFFFFFu, nullptr); // untextured, half transparent
    ASSERT_TRUE(g_d3dDevice->ReadPixels(pixels));
    EXPECT_EQ(EndFrameDraw(), 1);

    // The sprite lands texel for texel; its keyed corner shows the quad below.
    const int x0 = static_cast<int>(sx), y0 = static_cast<int>(sy);
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i)
            if (i != 3 || j != 3)
                EXPECT_EQ(pixels[(y0 + j) * 640 + x0 + i], texels[j * 4 + i]) << i << "," << j;
    const uint32_t under = pixels[(y0 + 3) * 640 + x0 + 3];
    EXPECT_TRUE(under == red || under == blue) << std::hex << under;
    EXPECT_NE(pixels[(y0 - 1) * 640 + x0], texels[0]);

    // The checker: each quarter of the quad shows one texel (point sampling, no blur).
    // The lit triangle shows only its emissive green; the spheres their vertex colours.
    const float nearLeft[3] = {-1, 0, -1}, nearRight[3] = {1, 0, -1}, farLeft[3] = {-1, 0, 1}, lit[3] = {5, 0, 1};
    EXPECT_EQ((std::vector<uint32_t>{At(nearLeft), At(nearRight), At(farLeft), At(lit), At(redAt), At(yellowAt)}),
              (std::vector<uint32_t>{blue, red, red, 0xFF00FF00u, 0xFFFF0000u, 0xFFFFFF00u}));

    const uint32_t grey = pixels[21 * 640 + 21];
    EXPECT_NEAR(static_cast<int>(grey & 0xFF), 128, 2);
    EXPECT_EQ(pixels[2 * 640 + 2], 0xFF000000u); // cleared to black
}

TEST_F(GfxOpenGl, SpriteAtDepthZeroHidesLaterGeometry)
{
    SetCameraLookAt(0, 0, 0, 0, 20, -20);
    BeginFrameDraw();
    DrawSprite(300, 220, {0, 0, 40, 40}, 64, 64, 0xFF0000FFu, nullptr);
    Vertex3D quad[4];
    FloorQuad(quad);
    DrawQuad3D(quad, 0xFFFFFFFFu, nullptr);
    ASSERT_TRUE(g_d3dDevice->ReadPixels(pixels));
    EndFrameDraw();
    EXPECT_EQ(pixels[240 * 640 + 320], 0xFF0000FFu);
    EXPECT_EQ(pixels[240 * 640 + 345], 0xFFFFFFFFu); // the quad beside the sprite
}

// Draws the same frame with every fan on its own and with fans gathered into
// batches; returns how many pixels differ (-1 when a read-back fails).
int PixelsChangedByGathering(const std::function<void()>& drawFrame, std::vector<uint32_t>* picture)
{
    std::vector<uint32_t> plain, gathered;
    plat::UseGlDrawBatching(false);
    BeginFrameDraw();
    drawFrame();
    const bool readPlain = g_d3dDevice->ReadPixels(plain);
    EndFrameDraw();
    plat::UseGlDrawBatching(true);
    BeginFrameDraw();
    drawFrame();
    const bool readGathered = g_d3dDevice->ReadPixels(gathered);
    EndFrameDraw();
    if (!readPlain || !readGathered || plain.size() != gathered.size())
        return -1;
    int changed = 0;
    for (size_t i = 0; i < plain.size(); ++i)
        changed += plain[i] != gathered[i];
    if (picture)
        *picture = gathered;
    return changed;
}

// How many different colours a picture holds: a frame that drew next to nothing
// would match itself trivially.
size_t ColourCount(const std::vector<uint32_t>& picture)
{
    std::vector<uint32_t> sorted = picture;
    std::sort(sorted.begin(), sorted.end());
    return static_cast<size_t>(std::unique(sorted.begin(), sorted.end()) - sorted.begin());
}

TEST_F(GfxOpenGl, GatheredFansDrawTheSamePictureAsSingleFans)
{
    std::vector<uint32_t> texels(64);
    for (uint32_t i = 0; i < 64; ++i)
        texels[i] = (i % 5 == 0 ? 0x40000000u : 0xFF000000u) | (i * 0x030507u);
    plat::Texture* first = Texture(8, 8, texels);
    std::reverse(texels.begin(), texels.end());
    plat::Texture* second = Texture(8, 8, texels);
    for (uint32_t& t : texels)
        t |= 0xFF000000u;
    plat::Texture* solid = Texture(8, 8, texels);
    ASSERT_EQ(CreateColouredSphereModel(&models[0], 12, 1.5f, 0xC000FF80u), 1);
    plat::Material glow{};
    glow.diffuse[3] = 0.5f;
    glow.emissive[0] = 0.9f;
    glow.emissive[2] = 0.3f;

    SetCameraLookAt(0, 0, 0, 3, 14, -18);
    auto frame = [&] {
        // Overlapping floor quads: the texture changes every third one, the world
        // matrix is set again (to the same value, then to a new one) between them.
        Vertex3D quad[4];
        for (int i = 0; i < 24; ++i) {
            const float x = -8.0f + 0.7f * static_cast<float>(i), z = -3.0f + 0.25f * static_cast<float>(i % 7);
            SetVertex3D(&quad[0], x, 0, z + 3, 0, 0);
            SetVertex3D(&quad[1], x + 2, 0, z + 3, 1.5f, 0);
            SetVertex3D(&quad[2], x + 2, 0.1f * static_cast<float>(i % 3), z, 1.5f, 1);
            SetVertex3D(&quad[3], x, 0, z, 0, 1);
            const plat::Matrix4 world =
                i < 12 ? plat::MatrixIdentity() : plat::MatrixTranslation(0, 0.5f, static_cast<float>(i - 12) * 0.1f);
            g_d3dDevice->SetTransform(plat::TransformState::World, world);
            DrawQuad3D(quad, 0xFFFFFFFFu - static_cast<uint32_t>(i) * 0x0A000905u, i % 3 == 2 ? second : first);
        }
        // Lit quads with a material, a vertex-coloured sphere between them, then unlit again.
        g_d3dDevice->SetRenderState(plat::RenderState::Lighting, 1);
        g_d3dDevice->SetMaterial(glow);
        g_d3dDevice->SetTransform(plat::TransformState::World, plat::MatrixIdentity());
        FloorQuad(quad);
        DrawQuad3D(quad, 0xFF00FF00u, nullptr);
        const float at[3] = {1, 1, 0};
        DrawModelAtPosition(&models[0], at);
        g_d3dDevice->SetRenderState(plat::RenderState::Lighting, 1);
        g_d3dDevice->SetMaterial(glow);
        g_d3dDevice->SetTransform(plat::TransformState::World, plat::MatrixTranslation(-3, 0.2f, 1));
        DrawQuad3D(quad, 0xFF00FF00u, first);
        g_d3dDevice->SetRenderState(plat::RenderState::Lighting, 0);
        // Solid quads over the rest, one of them see-through by its colour's alpha.
        for (int i = 0; i < 4; ++i) {
            g_d3dDevice->SetTransform(plat::TransformState::World, plat::MatrixTranslation(2.0f * i - 4, 0.4f, -1));
            DrawQuad3D(quad, i == 2 ? 0x80FFFFFFu : 0xFFFFFFFFu, solid);
        }
        // Sprites over it all, half transparent, some without depth testing; one
        // world fan of six corners in the middle of them.
        for (int i = 0; i < 40; ++i) {
            if (i == 30)
                g_d3dDevice->SetRenderState(plat::RenderState::DepthTest, 0);
            const float x = static_cast<float>((i * 37) % 600), y = static_cast<float>((i * 53) % 440);
            DrawSprite(x, y, {0, 0, 8, 8}, 8, 8, 0x90FFFFFFu - static_cast<uint32_t>(i) * 0x00040302u,
                       i % 4 == 3 ? nullptr : (i % 2 ? second : first));
            if (i == 20) {
                WorldVertexFan hexagon;
                for (int k = 0; k < 6; ++k) {
                    const float a = static_cast<float>(k) * 1.047f;
                    hexagon[static_cast<size_t>(k)] = {3.0f * std::cos(a), 2.0f, 3.0f * std::sin(a),
                                                       0xFF203040u + static_cast<uint32_t>(k) * 0x00302010u,
                                                       0.5f + 0.5f * std::cos(a), 0.5f + 0.5f * std::sin(a)};
                }
                g_d3dDevice->SetTransform(plat::TransformState::World, plat::MatrixIdentity());
                g_d3dDevice->SetTexture(second);
                g_d3dDevice->SetVertexFormat(plat::kFvfWorld);
                g_d3dDevice->DrawTriangleFan(hexagon.data(), 4, sizeof(plat::WorldVertex));
            }
        }
        g_d3dDevice->SetRenderState(plat::RenderState::DepthTest, 1);
    };
    std::vector<uint32_t> picture;
    EXPECT_EQ(PixelsChangedByGathering(frame, &picture), 0);
    EXPECT_GT(ColourCount(picture), 200u);
}

// The real art: team select's tiled background, labels and the eighteen lit models.
TEST(GfxOpenGlGathering, TeamSelectOnTheBuiltArtIsUnchanged)
{
    const std::string archive = std::string(SUGOROKU_BUILD_DIR) + "/data.dat";
    if (!std::filesystem::exists(archive))
        GTEST_SKIP() << "data.dat has not been built";
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
    plat::PrepareGlWindowAttributes(true);
    SDL_Window* window = SDL_CreateWindow("gather test", 0, 0, 640, 480, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    ASSERT_NE(window, nullptr) << SDL_GetError();
    ReleaseGraphics();
    SetDefaultConfig();
    plat::SelectGfxBackend(plat::GfxBackend::OpenGL);
    ASSERT_EQ(LoadDataFileFrom(archive.c_str()), 1);
    ASSERT_EQ(InitGraphics(window), 1);

    TeamSelectWork work{};
    const float angles[3] = {250.0f, 130.0f, 10.0f}; // mid-turn: every row partly hidden by another
    for (int t = 0; t < 3; ++t) {
        work.ringAngles[t] = angles[t];
        OffsetByAngle(&work.ringPositions[t][0], &work.ringPositions[t][2], 0, 0, angles[t], 15.0f);
    }
    SetCameraLookAt(0, 0, 0, 0, 10, -40);
    auto frame = [&] {
        DrawTiledBackground(kBackgroundTileRect.left, kBackgroundTileRect.top, kBackgroundTileRect.right,
                            kBackgroundTileRect.bottom);
        DrawTeamLabel(400.0f, 1);
        DrawSideArrows(32.0f, 400.0f);
        for (int t = 0; t < 3; ++t)
            DrawTeamModels(&work, t);
    };
    std::vector<uint32_t> picture;
    EXPECT_EQ(PixelsChangedByGathering(frame, &picture), 0);
    EXPECT_GT(ColourCount(picture), 100u);

    ReleaseGraphics();
    FreeDataFile();
    SDL_DestroyWindow(window);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

} // namespace
