// A board frame of each stage of the real game, drawn the plain way (every model sent,
// every fan drawn on its own) and the quick way (models out of view skipped, fans
// gathered), in the same run: the recorded draws differ only by models that no pixel
// of the picture shows, and the OpenGL pictures are the same.
#include <gtest/gtest.h>

#include <SDL.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "app/headless.h"
#include "board/board_view.h"
#include "board/piece.h"
#include "board/stage.h"
#include "board/world.h"
#include "engine/draw3d.h"
#include "engine/graphics.h"
#include "engine/input.h"
#include "engine/task.h"
#include "platform/backends.h"
#include "platform/gfx_device.h"
#include "test_support.h"

namespace {

bool SameState(const plat::DrawState& a, const plat::DrawState& b)
{
    return std::memcmp(&a.world, &b.world, sizeof a.world) == 0 && std::memcmp(&a.view, &b.view, sizeof a.view) == 0 &&
           std::memcmp(&a.projection, &b.projection, sizeof a.projection) == 0 && a.depthTest == b.depthTest &&
           a.lighting == b.lighting && a.alphaBlend == b.alphaBlend &&
           std::memcmp(&a.material, &b.material, sizeof a.material) == 0;
}

// Everything the recorder keeps of a draw that the picture depends on.
bool SameDraw(const plat::RecordedFrame& a, const plat::RecordedDraw& da, const plat::RecordedFrame& b,
              const plat::RecordedDraw& db)
{
    if (da.primitive != db.primitive || da.fvf != db.fvf || da.stride != db.stride ||
        da.primitiveCount != db.primitiveCount || da.vertexCount != db.vertexCount || da.texture != db.texture ||
        da.mesh != db.mesh || da.subset != db.subset)
        return false;
    if (!SameState(a.StateOf(da), b.StateOf(db)))
        return false;
    const size_t bytes = da.primitive == plat::RecordedPrimitive::TriangleFan ? size_t{da.vertexCount} * da.stride : 0;
    return bytes == 0 || std::memcmp(&a.vertexBytes[da.vertexOffset], &b.vertexBytes[db.vertexOffset], bytes) == 0;
}

// Whether every vertex of the drawn mesh lies beyond one side of the view volume
// (clip x or y beyond -w..w, z beyond 0..w): then the draw shows no pixel.
bool WhollyOutOfView(const plat::RecordedFrame& frame, const plat::RecordedDraw& draw)
{
    const plat::DrawState& st = frame.StateOf(draw);
    const plat::Matrix4 m = plat::MatrixMultiply(plat::MatrixMultiply(st.world, st.view), st.projection);
    const plat::Mesh& mesh = *draw.mesh;
    unsigned outside = 0x3F;
    for (uint32_t i = 0; i < mesh.vertexCount; ++i) {
        float p[3];
        std::memcpy(p, &mesh.vertices[size_t{i} * mesh.Stride()], sizeof p);
        float c[4];
        for (int j = 0; j < 4; ++j)
            c[j] = p[0] * m.m[0][j] + p[1] * m.m[1][j] + p[2] * m.m[2][j] + m.m[3][j];
        outside &= (c[0] < -c[3] ? 1u : 0u) | (c[0] > c[3] ? 2u : 0u) | (c[1] < -c[3] ? 4u : 0u) |
                   (c[1] > c[3] ? 8u : 0u) | (c[2] < 0.0f ? 16u : 0u) | (c[2] > c[3] ? 32u : 0u);
    }
    return outside != 0;
}

class BoardFrames : public ::testing::Test {
protected:
    void SetUp() override
    {
        namespace fs = std::filesystem;
        const fs::path build = SUGOROKU_BUILD_DIR;
        for (const char* name : {"data.dat", "mappack.dat", "epack.dat"}) {
            if (!fs::exists(build / name))
                GTEST_SKIP() << "the data files are not built";
            fs::copy_file(build / name, dir_ / name);
        }
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
        plat::PrepareGlWindowAttributes(true);
        window_ = SDL_CreateWindow("board frames", 0, 0, 640, 480, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        ASSERT_NE(window_, nullptr) << SDL_GetError();
        ASSERT_EQ(HeadlessStart(dir_.path().c_str()), 1) << HeadlessLastMessage();
        started_ = true;
        SeedRandom(7);
    }
    void TearDown() override
    {
        UseModelCulling(true);
        plat::UseGlDrawBatching(true);
        if (started_) {
            // Back on the recorder, as the headless game began.
            ReleaseGraphics();
            plat::SelectGfxBackend(plat::GfxBackend::Recording);
            InitGraphics(nullptr);
            HeadlessStop();
        }
        if (window_)
            SDL_DestroyWindow(window_);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }

    // The frame the tasks draw now, taken down by a recorder standing in for the device.
    static plat::RecordedFrame Record()
    {
        plat::GfxDevice* device = g_d3dDevice;
        g_d3dDevice = plat::CreateRecordingDevice();
        g_d3dDevice->AdoptStateOf(*device);
        BeginFrameDraw();
        DrawAllTasks();
        plat::RecordedFrame frame = plat::CurrentRecordedFrame();
        delete g_d3dDevice;
        g_d3dDevice = device;
        return frame;
    }

    // The frame drawn through OpenGL, and what it asked of OpenGL.
    static std::vector<uint32_t> Picture(plat::GlCallCounts* calls)
    {
        std::vector<uint32_t> pixels;
        BeginFrameDraw();
        DrawAllTasks();
        EXPECT_TRUE(g_d3dDevice->ReadPixels(pixels));
        EndFrameDraw();
        *calls = plat::LastGlFrameCallCounts();
        return pixels;
    }

    test_support::TempDir dir_;
    SDL_Window* window_ = nullptr;
    bool started_ = false;
};

TEST_F(BoardFrames, OnEveryStageTheQuickFrameShowsWhatThePlainOneShows)
{
    size_t culledOnAllStages = 0;
    for (int stage = 1; stage <= 3; ++stage) {
        SCOPED_TRACE(stage);
        // A race of the computer's, played a while on the recorder, then shown on OpenGL.
        plat::SelectGfxBackend(plat::GfxBackend::Recording);
        ReleaseGraphics();
        ASSERT_EQ(InitGraphics(nullptr), 1);
        g_stageLayers.stageNumber = stage;
        g_playerTeam = 0;
        KillAllTasks();
        StartStageFromPacks();
        ASSERT_NE(g_tasks[2].alive, 0); // the board view
        SetPlayerTeamController(kControllerComputer);
        HeadlessRunFrames(500);
        ReleaseGraphics();
        plat::SelectGfxBackend(plat::GfxBackend::OpenGL);
        ASSERT_EQ(InitGraphics(window_), 1);
        UpdateAllTasks(); // the board camera on the new device

        UseModelCulling(false);
        const plat::RecordedFrame plain = Record();
        UseModelCulling(true);
        const plat::RecordedFrame quick = Record();
        // The quick list is the plain one without some model draws, each wholly out of view.
        size_t q = 0, culled = 0;
        for (const plat::RecordedDraw& d : plain.draws) {
            if (q < quick.draws.size() && SameDraw(plain, d, quick, quick.draws[q])) {
                ++q;
                continue;
            }
            ASSERT_EQ(d.primitive, plat::RecordedPrimitive::MeshSubset) << "only models are left out";
            EXPECT_TRUE(WhollyOutOfView(plain, d));
            ++culled;
        }
        EXPECT_EQ(q, quick.draws.size());
        EXPECT_EQ(plain.draws.size(), quick.draws.size() + culled);
        culledOnAllStages += culled;

        // The same picture both ways, the quick one in far fewer draws.
        UseModelCulling(false);
        plat::UseGlDrawBatching(false);
        plat::GlCallCounts plainCalls, quickCalls;
        const std::vector<uint32_t> plainPicture = Picture(&plainCalls);
        UseModelCulling(true);
        plat::UseGlDrawBatching(true);
        const std::vector<uint32_t> quickPicture = Picture(&quickCalls);
        ASSERT_EQ(plainPicture.size(), size_t{640} * 480);
        size_t differ = 0;
        for (size_t i = 0; i < plainPicture.size(); ++i)
            differ += plainPicture[i] != quickPicture[i];
        EXPECT_EQ(differ, 0u);
        EXPECT_LT(quickCalls.draws * 4, plainCalls.draws);
    }
    EXPECT_GT(culledOnAllStages, 0u) << "some figures stand outside the view";
}

} // namespace
