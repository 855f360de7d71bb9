// The OpenGL back end in a hidden window (SDL's offscreen driver needs no display):
// a known frame is drawn through the game's own operations and read back.
#include <gtest/gtest.h>

#include <SDL.h>

#include <algorithm>
#include <array>
#include <cstdlib>

#include "engine/config.h"
#include "engine/draw3d.h"
#include "engine/input.h"
#include "engine/sprite.h"
#include "test_gfx_support.h"

namespace {

class GfxOpenGl : public ::testing::Test {
protected:
    void SetUp() override {
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
    void TearDown() override {
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

    plat::Texture* Texture(uint32_t w, uint32_t h, const std::vector<uint32_t>& pixels) {
        plat::Image image;
        image.width = image.imageWidth = w;
        image.height = image.imageHeight = h;
        image.pixels = pixels;
        return textures.emplace_back(g_d3dDevice->CreateTexture(image));
    }

    // A 4 x 4 square on the ground around the origin, texture corners in order.
    static void FloorQuad(Vertex3D quad[4]) {
        const float corner[4][2] = {{-2, 2}, {2, 2}, {2, -2}, {-2, -2}};
        for (int i = 0; i < 4; ++i)
            SetVertex3D(&quad[i], corner[i][0], 0, corner[i][1], float(i == 1 || i == 2), float(i >= 2));
    }

    uint32_t At(const float point[3]) {
        float s[3];
        ProjectToScreen(s, point);
        return pixels.at(static_cast<size_t>(s[1]) * 640 + static_cast<size_t>(s[0])); // off screen throws
    }

    SDL_Window* window = nullptr;
    std::vector<plat::Texture*> textures;
    ModelRecord models[3] = {};
    std::vector<uint32_t> pixels;
};

TEST_F(GfxOpenGl, KnownFrameIsDrawnTexelExact) {
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
    glow.diffuse[0] = glow.diffuse[3] = glow.emissive[1] = 1.0f;
    tri.materials = {glow};
    ASSERT_EQ(LoadModelFromMeshData(&models[0], tri), 1);
    ASSERT_EQ(CreateColouredSphereModel(&models[1], 16, 3.4f, 0xFFFF0000u), 1);
    ASSERT_EQ(CreateColouredSphereModel(&models[2], 8, 0.4f, 0xFFFFFF00u), 1);

    SetCameraLookAt(0, 0, 0, 0, 20, -20);
    BeginFrameDraw();
    // A sprite at depth 0 hides what is drawn later: here a quarter of the checker.
    float centre[3];
    const float middle[3] = {0, 0, 0}, farRight[3] = {1, 0, 1};
    ProjectToScreen(centre, farRight);
    DrawSprite(RoundToNearest(centre[0]) - 2.0f, RoundToNearest(centre[1]) - 2.0f, {0, 0, 4, 4}, 4, 4, 0xFF00FFFFu, nullptr);
    Vertex3D quad[4];
    FloorQuad(quad);
    g_d3dDevice->SetTransform(plat::TransformState::World, plat::MatrixIdentity());
    DrawQuad3D(quad, 0xFFFFFFFFu, checker);
    const plat::Matrix4 identity = plat::MatrixIdentity();
    DrawModel(&models[0], &identity);
    const float redAt[3] = {-5.5f, 0, 0}, yellowAt[3] = {0, 1, -7};
    DrawModelAtPosition(&models[1], redAt);
    DrawModelAtPosition(&models[2], yellowAt);
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
    EXPECT_EQ((std::vector<uint32_t>{At(nearLeft), At(nearRight), At(farLeft), At(farRight), At(lit), At(redAt), At(yellowAt)}),
              (std::vector<uint32_t>{blue, red, red, 0xFF00FFFFu, 0xFF00FF00u, 0xFFFF0000u, 0xFFFFFF00u}));

    EXPECT_NEAR(static_cast<int>(pixels[21 * 640 + 21] & 0xFF), 128, 2);
    EXPECT_EQ(pixels[2 * 640 + 2], 0xFF000000u); // cleared to black
}

TEST_F(GfxOpenGl, GatheredFansDrawTheSamePictureAsSingleFans) {
    std::vector<uint32_t> texels(64);
    for (uint32_t i = 0; i < 64; ++i)
        texels[i] = (i % 5 == 0 ? 0x40000000u : 0xFF000000u) | (i * 0x030507u);
    plat::Texture* first = Texture(8, 8, texels);
    std::reverse(texels.begin(), texels.end());
    plat::Texture* second = Texture(8, 8, texels);
    ASSERT_EQ(CreateColouredSphereModel(&models[0], 12, 1.5f, 0xC000FF80u), 1);
    plat::Material glow{};
    glow.diffuse[3] = 0.5f;
    glow.emissive[0] = 0.9f;
    SetCameraLookAt(0, 0, 0, 3, 14, -18);
    // The same frame with every fan on its own and with fans gathered into batches.
    std::vector<uint32_t> picture[2];
    for (int gathered = 0; gathered < 2; ++gathered) {
        plat::UseGlDrawBatching(gathered == 1);
        BeginFrameDraw();
        // Overlapping quads: the texture changes every third one, the world matrix is set
        // again (to the same value, then to a new one) between them; the last six are lit
        // with a see-through material, a vertex-coloured sphere drawn among them.
        Vertex3D quad[4];
        for (int i = 0; i < 24; ++i) {
            const float x = -8.0f + 0.7f * static_cast<float>(i), z = -3.0f + 0.25f * static_cast<float>(i % 7);
            for (int k = 0; k < 4; ++k)
                SetVertex3D(&quad[k], x + float(k == 1 || k == 2) * 2, k == 2 ? 0.1f * float(i % 3) : 0, z + float(k < 2) * 3,
                            float(k == 1 || k == 2) * 1.5f, float(k >= 2));
            const plat::Matrix4 world = i < 12 ? plat::MatrixIdentity() : plat::MatrixTranslation(0, 0.5f, float(i - 12) * 0.1f);
            g_d3dDevice->SetTransform(plat::TransformState::World, world);
            if (i >= 18) {
                g_d3dDevice->SetRenderState(plat::RenderState::Lighting, 1);
                g_d3dDevice->SetMaterial(glow);
            }
            DrawQuad3D(quad, 0xFFFFFFFFu - static_cast<uint32_t>(i) * 0x0A000905u, i % 3 == 2 ? second : first);
            if (i == 20)
                DrawModelAtPosition(&models[0], std::array<float, 3>{1, 1, 0}.data());
        }
        g_d3dDevice->SetRenderState(plat::RenderState::Lighting, 0);
        // Sprites over it all, half transparent, the last ten without depth testing.
        for (int i = 0; i < 40; ++i) {
            g_d3dDevice->SetRenderState(plat::RenderState::DepthTest, i < 30);
            DrawSprite(float((i * 37) % 600), float((i * 53) % 440), {0, 0, 8, 8}, 8, 8,
                       0x90FFFFFFu - static_cast<uint32_t>(i) * 0x00040302u, i % 4 == 3 ? nullptr : (i % 2 ? second : first));
        }
        g_d3dDevice->SetRenderState(plat::RenderState::DepthTest, 1);
        ASSERT_TRUE(g_d3dDevice->ReadPixels(picture[gathered]));
        EndFrameDraw();
    }
    ASSERT_EQ(picture[0].size(), picture[1].size());
    EXPECT_EQ(std::mismatch(picture[0].begin(), picture[0].end(), picture[1].begin()).first, picture[0].end());
    // Many colours: an empty frame would match itself trivially.
    std::sort(picture[1].begin(), picture[1].end());
    EXPECT_GT(std::unique(picture[1].begin(), picture[1].end()) - picture[1].begin(), 200);
}

} // namespace
