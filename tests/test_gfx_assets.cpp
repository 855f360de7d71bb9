// Textures and models from archive blocks, meshes, spheres, model drawing and the device's life.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/archive.h"
#include "engine/draw3d.h"
#include "test_gfx_support.h"

namespace {

using gfx_test::ArchiveImage;
using gfx_test::SolidBmp;

// A mesh of one triangle per entry; entry i is the material of triangle i.
plat::XMeshData Triangles(const std::vector<uint32_t>& faceMaterials, const std::vector<bool>& textured)
{
    plat::XMeshData d;
    for (size_t i = 0; i < faceMaterials.size(); ++i) {
        const float x = static_cast<float>(i);
        const uint32_t b = static_cast<uint32_t>(3 * i);
        d.positions.insert(d.positions.end(), {x, 0, 0, x + 1, 0, 0, x, 2, -1});
        d.indices.insert(d.indices.end(), {b, b + 1, b + 2});
        d.triangleMaterial.push_back(faceMaterials[i]);
    }
    for (size_t i = 0; i < textured.size(); ++i) {
        plat::XMaterial m;
        m.diffuse[3] = 0.5f;
        m.emissive[0] = 0.25f * static_cast<float>(i);
        m.textureFile = textured[i] ? "skin.bmp" : "";
        d.materials.push_back(m);
    }
    return d;
}

// The block a recorded texture came from: the tests' images carry it in their blue byte.
int BlockOf(const plat::Texture* t)
{
    return t ? static_cast<int>(t->pixels.at(0) & 0xFF) : -1;
}

std::vector<int> BlocksOf(const ModelRecord& m, uint32_t n)
{
    std::vector<int> blocks;
    for (uint32_t i = 0; i < n; ++i)
        blocks.push_back(BlockOf(m.textures[i]));
    return blocks;
}

class GfxAssets : public ::testing::Test {
protected:
    void SetUp() override { g_meshTextureCounter = 0; }
    void TearDown() override
    {
        for (ModelRecord& r : models)
            ReleaseModelRecord(&r);
        FreeDataFile();
    }
    void Load(const ArchiveImage& archive)
    {
        ASSERT_EQ(LoadDataFromMemory(archive.Bytes().data(), archive.Bytes().size()), 1);
    }

    gfx_test::RecordingDevice device;
    ModelRecord models[4] = {};
};

TEST_F(GfxAssets, MeshSubsetsGroupFacesByMaterialAndBadMeshesAreRefused)
{
    plat::Mesh* mesh = plat::CreateMeshFromXData(Triangles({1, 0, 1}, {false, false}));
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->subsets.size(), 2u);
    const plat::MeshSubset *s0 = mesh->FindSubset(0), *s1 = mesh->FindSubset(1);
    ASSERT_TRUE(s0 && s1 && mesh->FindSubset(2) == nullptr);
    EXPECT_EQ(std::make_pair(s0->faceCount, s1->faceCount), std::make_pair(1u, 2u));
    EXPECT_EQ(mesh->indices[s0->faceStart * 3], 3u); // the middle triangle is material 0's
    plat::ReleaseMesh(mesh);

    // No such vertex; no such material; texture coordinates for two vertices of three.
    for (auto breakIt :
         {+[](plat::XMeshData& d) { d.indices[2] = 3; }, +[](plat::XMeshData& d) { d.triangleMaterial[0] = 1; },
          +[](plat::XMeshData& d) {
              d.texCoords = {0, 0, 1, 1};
          }}) {
        plat::XMeshData bad = Triangles({0}, {false});
        breakIt(bad);
        EXPECT_EQ(plat::CreateMeshFromXData(bad), nullptr);
    }

    // Spheres keep their poles as vertices (their colours show in the OpenGL frame test).
    for (const auto& [segments, radius] : {std::pair<uint32_t, float>{8, 0.4f}, {16, 3.4f}, {5, 1.0f}}) {
        ModelRecord& sphere = models[segments % 4];
        ASSERT_EQ(CreateColouredSphereModel(&sphere, segments, radius, 0xFFFFA500u), 1);
        EXPECT_FLOAT_EQ(sphere.height, 2.0f * radius);
        EXPECT_NEAR(sphere.radius, radius, 1e-5f);
        ASSERT_TRUE(sphere.materialCount == 0u && sphere.mesh->fvf == plat::kFvfColoured);
        EXPECT_EQ(std::make_pair(sphere.mesh->vertexCount, sphere.mesh->FaceCount()),
                  std::make_pair(segments * (segments - 1) + 2, 2 * segments * (segments - 1)));
        ReleaseModelRecord(&sphere);
    }
}

TEST_F(GfxAssets, TexturesAreKeyedAndPaddedAndMaterialTexturesTakeBlocksInOrderNeverPastTheirRange)
{
    ArchiveImage archive;
    const uint32_t pixels[6] = {0xFF00FF00u, 0xFF00FE00u, 0xFF01FF00u, 0x8000FF00u, 0xFF00FF00u, 0xFFFFFFFFu};
    archive.Add(5, plat::EncodeBmp32(pixels, 3, 2));
    archive.Add(6, "BM but not really");
    for (int b = 34; b <= 38; ++b)
        archive.Add(b, SolidBmp(1, 1, 0xFF000000u | static_cast<uint32_t>(b)));
    archive.Add(36, "not an image"); // the later entry wins: block 36 is unusable
    archive.Add(100, SolidBmp(1, 1, 0xFF000064u));
    archive.Add(101, SolidBmp(1, 1, 0xFF000065u)); // a model block that happens to decode as an image
    Load(archive);
    plat::Texture* t = nullptr;
    ASSERT_EQ(LoadTextureFromDataBlock(&t, 5), 1);
    ASSERT_EQ(std::make_pair(t->width, t->height), std::make_pair(4u, 2u));
    // Only opaque pure green is keyed; the padding column is transparent black.
    EXPECT_EQ(std::vector<uint32_t>(t->pixels.begin(), t->pixels.begin() + 6),
              (std::vector<uint32_t>{0, 0xFF00FE00u, 0xFF01FF00u, 0, 0x8000FF00u, 0}));
    g_d3dDevice->ReleaseTexture(t);
    for (int bad : {6, 150, -1}) {
        EXPECT_EQ(LoadTextureFromDataBlock(&t, bad), 0) << bad;
        EXPECT_EQ(t, nullptr) << bad;
    }

    ASSERT_EQ(LoadModelFromMeshData(&models[0], Triangles({0, 1, 2}, {true, false, true})), 1);
    ASSERT_EQ(LoadModelFromMeshData(&models[1], Triangles({0}, {false})), 1);
    ASSERT_EQ(LoadModelFromMeshData(&models[2], Triangles({0, 1}, {true, true})), 1);
    // Model 1 takes no block; block 36 holds no image: model 2's first material is untextured, still counted.
    EXPECT_EQ(BlocksOf(models[0], 3), (std::vector<int>{34, -1, 35}));
    EXPECT_EQ(BlocksOf(models[1], 1), (std::vector<int>{-1}));
    EXPECT_EQ(BlocksOf(models[2], 2), (std::vector<int>{-1, 37}));
    EXPECT_EQ(g_meshTextureCounter, 4);
    EXPECT_EQ((std::vector<float>{models[0].materials[2].emissive[0], models[0].materials[2].diffuse[3],
                                  models[0].height, models[0].width, models[0].depth}),
              (std::vector<float>{0.5f, 0.5f, 2, 3, 1}));

    // Past block 100 a material stays untextured but is still counted, also far past the archive's table.
    ReleaseModelRecord(&models[0]);
    g_meshTextureCounter = 66;
    ASSERT_EQ(LoadModelFromMeshData(&models[0], Triangles({0, 1, 2}, {true, true, true})), 1);
    EXPECT_EQ(BlocksOf(models[0], 3), (std::vector<int>{100, -1, -1}));
    EXPECT_EQ(g_meshTextureCounter, 69);
    g_meshTextureCounter = 200;
    ASSERT_EQ(LoadModelFromMeshData(&models[3], Triangles({0}, {true})), 1);
    EXPECT_EQ(models[3].textures[0], nullptr);
}

TEST_F(GfxAssets, ModelDrawingLightsEachSubsetWithItsMaterial)
{
    ArchiveImage archive;
    archive.Add(34, SolidBmp(1, 1, 0xFF000022u));
    Load(archive);
    ASSERT_EQ(LoadModelFromMeshData(&models[0], Triangles({0, 1}, {false, true})), 1);
    ASSERT_EQ(CreateColouredSphereModel(&models[1], 8, 0.4f, 0xFFFFFF00u), 1);
    plat::XMeshData bare; // no materials: loads, and draws nothing
    bare.positions = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    ASSERT_EQ(LoadModelFromMeshData(&models[2], bare), 1);
    plat::Matrix4 world;
    const float at[3] = {3, 0, 7}, spot[3] = {1, 2, 3};
    float facing = 90;
    MakeWorldMatrixYaw(&world, at, &facing);
    SetCameraLookAt(2, 1, 5, 2, 5, -20); // both models in view
    DrawModel(&models[2], &world);
    DrawModel(&models[0], &world);
    DrawModelAtPosition(&models[1], spot);

    const plat::RecordedFrame& frame = plat::CurrentRecordedFrame();
    const auto draws = frame.MeshDraws();
    ASSERT_EQ(draws.size(), 3u);
    for (int i = 0; i < 2; ++i) {
        const plat::DrawState& st = frame.StateOf(*draws[size_t(i)]);
        EXPECT_TRUE(draws[size_t(i)]->mesh == models[0].mesh && draws[size_t(i)]->subset == uint32_t(i) &&
                    draws[size_t(i)]->fvf == plat::kFvfWorld && st.lighting);
        EXPECT_EQ(std::memcmp(&st.world, &world, sizeof world), 0);
        EXPECT_FLOAT_EQ(st.material.emissive[0], 0.25f * static_cast<float>(i));
    }
    EXPECT_EQ(std::make_pair(BlockOf(draws[0]->texture), BlockOf(draws[1]->texture)), std::make_pair(-1, 34));
    const plat::DrawState& sphere = frame.StateOf(*draws[2]);
    EXPECT_TRUE(!sphere.lighting && draws[2]->fvf == plat::kFvfColoured && draws[2]->texture == nullptr);
    EXPECT_EQ(std::make_pair(sphere.world.m[3][0], sphere.world.m[3][2]), std::make_pair(1.0f, 3.0f));

    EXPECT_EQ(ModelById(24), &g_modelTable[24]);
    EXPECT_TRUE(ModelById(25) == nullptr && ModelById(-1) == nullptr);
    DrawModel(ModelById(25), &world); // bad entries are skipped
    ModelRecord empty{};
    DrawModel(&empty, &world);
    DrawModelAtPosition(&empty, spot);
    EXPECT_EQ(frame.MeshDraws().size(), 3u);
}

TEST_F(GfxAssets, RebuildGivesEveryMaterialTheSameBlockAndTheStartCamera)
{
    ReleaseGraphics(); // the device comes from the start-up here
    plat::SelectGfxBackend(plat::GfxBackend::Recording);
    gfx_test::ArchiveImage archive = gfx_test::MinimalGraphicsArchive();
    archive.Add(kModelFirstBlock + 0, gfx_test::TriangleModel({true, false}));
    archive.Add(kModelFirstBlock + 3, gfx_test::TriangleModel({true, true}, 2.0f));
    for (int b = 34; b < 37; ++b)
        archive.Add(b, SolidBmp(1, 1, 0xFF000000u | static_cast<uint32_t>(b)));
    Load(archive);
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(InitGraphics(nullptr), 1);
        EXPECT_EQ(BlocksOf(g_modelTable[0], 2), (std::vector<int>{34, -1}));
        EXPECT_EQ(BlocksOf(g_modelTable[3], 2), (std::vector<int>{35, 36}));
        EXPECT_EQ(g_meshTextureCounter, 3);
        EXPECT_EQ((std::vector<float>{g_modelTable[3].height, g_effectModels[2].height}),
                  (std::vector<float>{2.0f, 6.8f}));
        EXPECT_EQ(g_textures[31]->pixels[0], 0xFF00001Fu);
        float out[3];
        const float start[3] = {0, 100, 0};
        ProjectToScreen(out, start);
        EXPECT_NEAR(out[0], 320.0f, 1e-3f);
        EXPECT_NEAR(out[1], 240.0f, 1e-3f);
        SetCameraLookAt(5, 0, 5, 0, 10, 0); // moved by a screen, then the device is rebuilt
        ReleaseGraphics();
    }
    plat::SelectGfxBackend(plat::GfxBackend::OpenGL);
}

} // namespace
