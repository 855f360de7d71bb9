// The OpenGL back end in a hidden window (SDL's offscreen driver needs no display):
// a known frame is drawn through the game's own operations and read back.
#include <gtest/gtest.h>

#include <SDL.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <tuple>
#include <utility>

#include "engine/config.h"
#include "engine/draw3d.h"
#include "engine/input.h"
#include "engine/sprite.h"
#include "frame_floor.h"
#include "test_gfx_support.h"

namespace {

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
        return pixels.at(static_cast<size_t>(s[1]) * 640 + static_cast<size_t>(s[0])); // off screen throws
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
    DrawSprite(RoundToNearest(centre[0]) - 2.0f, RoundToNearest(centre[1]) - 2.0f, {0, 0, 4, 4}, 4, 4, 0xFF00FFFFu,
               nullptr);
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
    EXPECT_EQ((std::vector<uint32_t>{At(nearLeft), At(nearRight), At(farLeft), At(farRight), At(lit), At(redAt),
                                     At(yellowAt)}),
              (std::vector<uint32_t>{blue, red, red, 0xFF00FFFFu, 0xFF00FF00u, 0xFFFF0000u, 0xFFFFFF00u}));

    EXPECT_NEAR(static_cast<int>(pixels[21 * 640 + 21] & 0xFF), 128, 2);
    EXPECT_EQ(pixels[2 * 640 + 2], 0xFF000000u); // cleared to black
}

TEST_F(GfxOpenGl, GatheredFansDrawTheSamePictureAsSingleFans)
{
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
                SetVertex3D(&quad[k], x + float(k == 1 || k == 2) * 2, k == 2 ? 0.1f * float(i % 3) : 0,
                            z + float(k < 2) * 3, float(k == 1 || k == 2) * 1.5f, float(k >= 2));
            const plat::Matrix4 world =
                i < 12 ? plat::MatrixIdentity() : plat::MatrixTranslation(0, 0.5f, float(i - 12) * 0.1f);
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
                       0x90FFFFFFu - static_cast<uint32_t>(i) * 0x00040302u,
                       i % 4 == 3 ? nullptr : (i % 2 ? second : first));
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

// Draws the frame twice, every fan on its own and gathered, and returns both pictures
// and what the gathered frame asked of OpenGL.
template <typename DrawFn>
std::pair<std::vector<uint32_t>, std::vector<uint32_t>> PlainAndGathered(DrawFn draw, plat::GlCallCounts* gathered)
{
    std::vector<uint32_t> picture[2];
    for (int on = 0; on < 2; ++on) {
        plat::UseGlDrawBatching(on == 1);
        BeginFrameDraw();
        draw();
        EXPECT_TRUE(g_d3dDevice->ReadPixels(picture[on]));
        EndFrameDraw();
    }
    plat::UseGlDrawBatching(true);
    *gathered = plat::LastGlFrameCallCounts();
    return {picture[0], picture[1]};
}

size_t DifferentPixels(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b)
{
    size_t n = a.size() == b.size() ? 0 : std::max(a.size(), b.size());
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        n += a[i] != b[i];
    return n;
}

// A square of side 2 in the plane z = 0 with its top left corner at (x, y), corners in
// the board's order.
void Square(float x, float y, plat::Texture* texture)
{
    Vertex3D q[4];
    SetVertex3D(&q[0], x, y, 0, 0, 0);
    SetVertex3D(&q[1], x + 2, y, 0, 1, 0);
    SetVertex3D(&q[2], x + 2, y - 2, 0, 1, 1);
    SetVertex3D(&q[3], x, y - 2, 0, 0, 1);
    DrawQuad3D(q, 0xFFFFFFFFu, texture);
}

// The camera looks straight at the plane z = 0, so that every pixel of it has one depth:
// wherever two quads of it overlap they tie, and only their order decides.
TEST_F(GfxOpenGl, OpaqueQuadsGatherByTextureWhereNoTwoMeetAtEqualDepth)
{
    std::vector<uint32_t> texels(16);
    for (uint32_t i = 0; i < 16; ++i)
        texels[i] = 0xFF000000u | (i * 0x0B0D07u);
    plat::Texture* grass = Texture(4, 4, texels);
    for (uint32_t& t : texels)
        t ^= 0x00FFFF00u;
    plat::Texture* road = Texture(4, 4, texels);
    SetCameraLookAt(0, 0, 0, 0, 0, -40);
    g_d3dDevice->SetTransform(plat::TransformState::World, plat::MatrixIdentity());

    // A checkerboard drawn row by row: neighbours only share edges, each on its own
    // side, so all of one texture goes out in one draw.
    const auto checkerboard = [&] {
        for (int r = 0; r < 6; ++r)
            for (int c = 0; c < 6; ++c)
                Square(-6.0f + 2.0f * float(c), 6.0f - 2.0f * float(r), (r + c) % 2 ? road : grass);
    };
    plat::GlCallCounts calls;
    auto [plain, gathered] = PlainAndGathered(checkerboard, &calls);
    EXPECT_EQ(DifferentPixels(plain, gathered), 0u);
    EXPECT_EQ(std::make_pair(calls.draws, calls.triangles), std::make_pair(2u, 72u));

    // Where quads overlap, the later still shows: squares stacked over the board (the
    // last, grass, on top), and a grass square folded back over a road square across the
    // edge they share. Also a square out of view and one reaching back past the eye.
    const auto ties = [&] {
        checkerboard();
        for (int k = 0; k < 5; ++k)
            Square(-3.0f, 1.0f, k % 2 ? road : grass);
        Square(7.0f, 9.0f, road);
        Vertex3D folded[4];
        SetVertex3D(&folded[0], 9.0f, 9.0f, 0, 0, 0);
        SetVertex3D(&folded[1], 9.0f, 7.0f, 0, 1, 0);
        SetVertex3D(&folded[2], 8.0f, 7.0f, 0, 1, 1);
        SetVertex3D(&folded[3], 8.0f, 9.0f, 0, 0, 1);
        DrawQuad3D(folded, 0xFFFFFFFFu, grass);
        // A grass quad over a road square, touching one of its corners.
        Square(7.0f, -3.0f, road);
        Vertex3D corner[4];
        SetVertex3D(&corner[0], 7.0f, -3.0f, 0, 0, 0);
        SetVertex3D(&corner[1], 8.5f, -3.0f, 0, 1, 0);
        SetVertex3D(&corner[2], 8.5f, -4.5f, 0, 1, 1);
        SetVertex3D(&corner[3], 7.0f, -4.5f, 0, 0, 1);
        DrawQuad3D(corner, 0xFFFFFFFFu, grass);
        // A grass square drawn again after a road square over half of it: the grass shows.
        Square(-9.0f, -7.0f, grass);
        Square(-8.0f, -7.0f, road);
        Square(-9.0f, -7.0f, grass);
        Square(30.0f, 0.0f, grass);
        Vertex3D past[4];
        SetVertex3D(&past[0], -10.0f, -8.0f, -60.0f, 0, 0);
        SetVertex3D(&past[1], 10.0f, -8.0f, -60.0f, 4, 0);
        SetVertex3D(&past[2], 10.0f, -8.0f, 5.0f, 4, 4);
        SetVertex3D(&past[3], -10.0f, -8.0f, 5.0f, 0, 4);
        DrawQuad3D(past, 0xFFFFFFFFu, road);
    };
    std::tie(plain, gathered) = PlainAndGathered(ties, &calls);
    EXPECT_EQ(DifferentPixels(plain, gathered), 0u);
    // The top of the stack, the folded square, the quad on the road's corner and the grass
    // drawn again show grass, the road beside the folded square road (texels (1, 1),
    // (1, 2), (1, 1), (1, 1) and (2, 1) of 4 x 4).
    const auto at = [&](float x, float y) {
        const float p[3] = {x, y, 0};
        return At(p);
    };
    std::swap(pixels, gathered);
    EXPECT_EQ(std::vector<uint32_t>(
                  {at(-2.25f, 0.25f), at(8.375f, 8.25f), at(7.75f, 8.25f), at(7.5625f, -3.5625f), at(-7.75f, -7.75f)}),
              std::vector<uint32_t>({0xFF374123u, 0xFF63753Fu, 0xFF374123u ^ 0x00FFFF00u, 0xFF374123u, 0xFF424E2Au}));
}

// A model's vertices are kept by OpenGL between frames, and follow its mesh: colours
// written through LockVertices show at the next draw, and a model made anew (perhaps
// where the old one lay in memory) shows its own.
TEST_F(GfxOpenGl, ModelsAreDrawnAsTheirMeshesAreNow)
{
    SetCameraLookAt(0, 0, 0, 0, 0, -10);
    const float centre[3] = {0, 0, 0};
    const auto drawn = [&] {
        BeginFrameDraw();
        DrawModelAtPosition(&models[0], centre);
        EXPECT_TRUE(g_d3dDevice->ReadPixels(pixels));
        EndFrameDraw();
        return At(centre);
    };
    ASSERT_EQ(CreateColouredSphereModel(&models[0], 8, 3.4f, 0xFFFF0000u), 1);
    EXPECT_EQ(drawn(), 0xFFFF0000u);
    EXPECT_EQ(drawn(), 0xFFFF0000u);
    plat::Mesh& mesh = *models[0].mesh;
    uint8_t* vertices = mesh.LockVertices();
    for (uint32_t i = 0; i < mesh.vertexCount; ++i) {
        const uint32_t green = 0xFF00FF00u;
        std::memcpy(vertices + size_t{i} * mesh.Stride() + 12, &green, 4);
    }
    EXPECT_EQ(drawn(), 0xFF00FF00u);
    ReleaseModelRecord(&models[0]);
    ASSERT_EQ(CreateColouredSphereModel(&models[0], 8, 3.4f, 0xFF0000FFu), 1);
    EXPECT_EQ(drawn(), 0xFF0000FFu);
}

TEST_F(GfxOpenGl, ArraysBlendingAndTexturingAreSetOnlyWhenTheyChange)
{
    ASSERT_EQ(CreateColouredSphereModel(&models[0], 8, 0.4f, 0xFFFFFF00u), 1);
    plat::Texture* tile = Texture(1, 1, {0xFF20A040u});
    SetCameraLookAt(0, 0, 0, 0, 10, -10);
    // Spheres and a textured quad in turn; after a first frame that sets everything, a
    // frame of two of each and one of ten of each.
    plat::GlCallCounts calls[3];
    for (int frame = 0; frame < 3; ++frame) {
        BeginFrameDraw();
        for (int i = 0; i < (frame < 2 ? 2 : 10); ++i) {
            DrawModelAtPosition(&models[0], std::array<float, 3>{float(i % 5) - 2.0f, 0, float(i / 5)}.data());
            Vertex3D quad[4];
            FloorQuad(quad);
            g_d3dDevice->SetTransform(plat::TransformState::World, plat::MatrixTranslation(0, 0.1f * float(i), 0));
            DrawQuad3D(quad, 0xFFFFFFFFu, tile);
        }
        EndFrameDraw();
        calls[frame] = plat::LastGlFrameCallCounts();
    }
    EXPECT_EQ(calls[2].draws, calls[1].draws * 5);
    // Each draw switches the texture coordinates' array and texturing (the tile stays
    // bound): blending and the depth test stay as they are.
    EXPECT_EQ(calls[2].capabilities - calls[1].capabilities, 8u * 4u);
    EXPECT_EQ(calls[2].fragmentStateChanges - calls[1].fragmentStateChanges, 8u * 2u);
    EXPECT_EQ(calls[2].textureBinds, calls[1].textureBinds);
}

// The floor draws the frame's triangles where the frame drew them: the same pixels,
// sprites to the pixel and world quads and models through the same camera.
TEST_F(GfxOpenGl, TheFloorCoversThePixelsOfItsFrame)
{
    plat::Texture* bright = Texture(2, 2, {0xFFFFFFFFu, 0xFFC0C0C0u, 0xFFC0C0C0u, 0xFFFFFFFFu});
    plat::XMeshData tri;
    tri.positions = {3, 0, 3, 7, 0, 3, 5, 0, -3};
    tri.indices = {0, 1, 2};
    tri.triangleMaterial = {0};
    plat::XMaterial glow;
    glow.diffuse[3] = glow.emissive[1] = 1.0f;
    tri.materials = {glow};
    ASSERT_EQ(LoadModelFromMeshData(&models[0], tri), 1);
    ASSERT_EQ(CreateColouredSphereModel(&models[1], 8, 1.5f, 0xFFFF8000u), 1);
    SetCameraLookAt(0, 0, 0, 2, 15, -18);
    const auto frame = [&] {
        g_d3dDevice->SetTransform(plat::TransformState::World, plat::MatrixIdentity());
        Vertex3D quad[4];
        FloorQuad(quad);
        DrawQuad3D(quad, 0xFFFFFFFFu, bright);
        DrawQuad3D(quad, 0xFFFFFFFFu, bright); // a repeat: the game draws it once, and so does the floor
        const plat::Matrix4 identity = plat::MatrixIdentity();
        DrawModel(&models[0], &identity);
        DrawModelAtPosition(&models[1], std::array<float, 3>{-5, 1, 2}.data());
        DrawSprite(10, 10, {0, 0, 2, 2}, 2, 2, 0xFFFFFFFFu, bright);
        DrawSprite(600.5f, 470, {0, 0, 37, 9}, 2, 2, 0xFFFFFFFFu, nullptr);
    };
    // The frame as a recorder takes it down, standing in for the OpenGL device.
    plat::GfxDevice* gl = g_d3dDevice;
    g_d3dDevice = plat::CreateRecordingDevice();
    g_d3dDevice->AdoptStateOf(*gl);
    BeginFrameDraw();
    frame();
    const plat::RecordedFrame recorded = plat::CurrentRecordedFrame();
    delete g_d3dDevice;
    g_d3dDevice = gl;
    bench::FloorFrame* floor = bench::CreateFloorFrame(gl, recorded);
    ASSERT_NE(floor, nullptr);
    EXPECT_EQ(bench::SummariseFloorFrame(floor).triangles, 2u + 1u + 112u + 2u + 2u);

    std::vector<uint32_t> game, cheap;
    for (int settle = 0; settle < 2; ++settle) {
        BeginFrameDraw();
        frame();
        ASSERT_TRUE(gl->ReadPixels(game));
        EndFrameDraw();
    }
    const plat::GlCallCounts steady = plat::LastGlFrameCallCounts();
    bench::DrawFloorFrame(floor);
    ASSERT_TRUE(gl->ReadPixels(cheap));
    gl->Present();
    bench::ReleaseFloorFrame(floor);
    size_t covered = 0, differ = 0;
    for (size_t i = 0; i < game.size(); ++i) {
        covered += game[i] != 0xFF000000u;
        differ += (game[i] != 0xFF000000u) != (cheap[i] != 0xFF000000u);
    }
    EXPECT_GT(covered, 5000u);
    EXPECT_EQ(differ, 0u);
    // The game's own frame after the floor is as before, and finds OpenGL as it left it:
    // it sets no more state than after a frame of its own.
    BeginFrameDraw();
    frame();
    ASSERT_TRUE(gl->ReadPixels(cheap));
    EndFrameDraw();
    EXPECT_EQ(DifferentPixels(game, cheap), 0u);
    const plat::GlCallCounts after = plat::LastGlFrameCallCounts();
    EXPECT_EQ(after.StateCalls(), steady.StateCalls());
    EXPECT_EQ(after.fragmentStateChanges, steady.fragmentStateChanges);
}

} // namespace
