// The board view against a recording device: what is drawn for small hand-made
// boards (tiles, walls, sea, the mountain ring), what a real camera culls, the sea
// cycle and the two overlay keys.
#include "board/board_view.h"
#include "board/task_table.h"
#include "engine/draw3d.h"
#include "test_board_support.h"

namespace {

// One drawn quad: its first corner, whether it stands upright and along which axis,
// and which board texture it carries.
struct Quad {
    char kind; // 'T' flat tile, 'Z' wall in a plane of constant x, 'X' wall in a plane of constant z
    float x, y, z;
    int texture;
    auto operator<=>(const Quad&) const = default;
};

class BoardViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(AllocStageBuffers(), 1);
        for (plat::Texture*& t : g_textures)
            t = device_.MakeTexture(2, 2);
        // Every plane passes every sphere: nothing is culled unless a test sets a camera.
        for (float* plane : g_frustumPlanes)
            plane[0] = plane[1] = plane[2] = 0.0f, plane[3] = 1.0f;
    }
    void TearDown() override
    {
        for (plat::Texture*& t : g_textures)
            t = nullptr;
        g_stageLayers.boardWidth = g_stageLayers.boardHeight = 0;
        FreeStageBuffers();
    }

    static void SetBoard(int w, int h, const std::vector<int>& codes)
    {
        g_stageLayers.boardWidth = w;
        g_stageLayers.boardHeight = h;
        for (size_t i = 0; i < codes.size(); ++i)
            g_stageLayers.squareLayer[i] = static_cast<int8_t>(codes[i]);
    }

    // The quads drawn since the last reset, in drawing order.
    static std::vector<Quad> DrawnQuads(bool sorted = false)
    {
        const plat::RecordedFrame& frame = plat::CurrentRecordedFrame();
        std::vector<Quad> quads;
        for (const plat::RecordedDraw* d : frame.WorldFans()) {
            const plat::WorldVertex v0 = frame.WorldVertexOf(*d, 0), v1 = frame.WorldVertexOf(*d, 1),
                                    v2 = frame.WorldVertexOf(*d, 2);
            const char kind = v0.y == v2.y ? 'T' : v0.x == v1.x ? 'Z' : 'X';
            const int texture = int(std::find(std::begin(g_textures), std::end(g_textures), d->texture) - g_textures);
            quads.push_back({kind, v0.x, v0.y, v0.z, texture});
        }
        if (sorted)
            std::sort(quads.begin(), quads.end());
        return quads;
    }

    gfx_test::RecordingDevice device_;
};

TEST_F(BoardViewTest, SeaRisesAndFallsOverEightyEightFramesAndTilesLookByCode)
{
    // From creation the first step shows entry 1; entry 87 is followed by entry 0.
    BoardView view{};
    std::vector<float> levels;
    for (int i = 0; i < 89; ++i)
        levels.push_back(StepSeaLevel(&view));
    EXPECT_EQ(view.seaCounter, 1);
    const std::pair<int, float> steps[] = {{0, -2.0f},  {2, -2.0f},  {3, -1.9f},  {7, -1.8f},
                                           {38, -1.1f}, {39, -1.0f}, {46, -1.0f}, {47, -1.1f},
                                           {82, -1.9f}, {83, -2.0f}, {86, -2.0f}, {87, -2.0f}};
    for (const auto& [step, level] : steps)
        EXPECT_FLOAT_EQ(levels[step], level) << "step " << step;

    struct Look {
        int code, texture;
        float height;
    };
    const Look looks[] = {{1, 3, 0},  {2, 7, 0},  {10, 27, 0}, {11, 22, 0}, {12, 4, 0}, {13, 5, 0},
                          {14, 6, 0}, {15, 1, 0}, {16, 2, 4},  {0, 0, 0},   {44, 0, 0}, {-7, 0, 0}};
    for (const Look& look : looks) {
        int32_t texture = -1;
        float height = -1.0f;
        GetCellTileLook(look.code, &texture, &height);
        EXPECT_EQ((std::tuple{texture, height, GetWallTexture(look.code)}),
                  std::make_tuple(look.texture, look.height, 9))
            << "code " << look.code;
    }
}

TEST_F(BoardViewTest, WallsWhereNeighboursAlongTheLayerDifferSeaFirstAndHighCodesLeaveHoles)
{
    // Cells 0 and 8 (the first and last) never count as neighbours; a row's last cell
    // meets the next row's first.
    SetBoard(3, 3,
             {16, 15, 15, //
              15, 15, 16, //
              15, 15, 14});
    DrawBoardTiles(-2.0f);
    std::vector<Quad> expected = {
        {'T', -3, 4, 3, 2},  {'T', -1, 0, 3, 1},  {'T', 1, 0, 3, 1},  //
        {'T', -3, 0, 1, 1},  {'T', -1, 0, 1, 1},  {'T', 1, 4, 1, 2},  //
        {'T', -3, 0, -1, 1}, {'T', -1, 0, -1, 1}, {'T', 1, 0, -1, 6}, //
        {'Z', -1, 4, 3, 9},  {'X', -3, 4, 1, 9},                      // cell 0, the mountain: right and below
        {'X', 1, 0, 1, 9},                                            // cell 2: the mountain below
        {'Z', 1, 0, 1, 9},                                            // cell 4: the mountain to its right
        {'Z', 3, 4, 1, 9},                                            // cell 5: right is cell 6, across the row end
        {'Z', 1, 4, 1, 9},   {'X', 1, 4, 1, 9},                       // cell 5: left and above
        {'Z', -3, 0, -1, 9},                                          // cell 6: left is cell 5, across the row end
        {'Z', 1, 0, -1, 9},  {'X', 1, 0, -1, 9},                      // cell 8: left and above
    };
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(DrawnQuads(true), expected);
    plat::CurrentRecordedFrame().Reset();

    SetBoard(5, 1, {15, 45, 15, 60, 15});
    DrawBoardTiles(-1.5f);
    const std::vector<Quad> inOrder = {
        {'T', -3, -1.5f, 1, 8},                                         // the sea, before any land
        {'T', -5, 0, 1, 1},     {'Z', -3, 0, 1, 9},                     // cell 0 and its wall to the sea
        {'T', -1, 0, 1, 1},     {'Z', 1, 0, 1, 9},  {'Z', -1, 0, 1, 9}, // cell 2: the hole right, the sea left
        {'T', 3, 0, 1, 1},      {'Z', 3, 0, 1, 9},                      // cell 4: the hole left
    };
    EXPECT_EQ(DrawnQuads(), inOrder);
}

TEST_F(BoardViewTest, WallsHangSixUnitsFromTheirOwnTileAndQuadsAreWhite)
{
    SetBoard(4, 1, {15, 16, 15, 15});
    // Whatever world transform a model left, the board is drawn untransformed.
    g_d3dDevice->SetTransform(plat::TransformState::World, plat::MatrixTranslation(5, 5, 5));
    static Task task{};
    TaskWork<BoardView>(&task)->seaLevel = -2.0f;
    DrawBoardView(&task);
    const plat::RecordedFrame& frame = plat::CurrentRecordedFrame();
    std::vector<const plat::RecordedDraw*> fans = frame.WorldFans();
    ASSERT_GE(fans.size(), 7u);
    fans.resize(7); // four tops, a wall from cells 0, 1 and 2 each; then the ring
    using Corners = std::vector<std::vector<float>>;
    auto corners = [&](int fan) {
        Corners out;
        for (uint32_t i = 0; i < 4; ++i) {
            const plat::WorldVertex v = frame.WorldVertexOf(*fans[fan], i);
            out.push_back({v.x, v.y, v.z, v.u, v.v});
            EXPECT_EQ(v.colour, 0xFFFFFFFFu);
        }
        return out;
    };
    // The mountain's top, then its wall from 4 down to -2 ...
    EXPECT_EQ(corners(2), (Corners{{-2, 4, 1, 0, 0}, {0, 4, 1, 1, 0}, {0, 4, -1, 1, 1}, {-2, 4, -1, 0, 1}}));
    EXPECT_EQ(corners(3), (Corners{{0, 4, 1, 0, 0}, {0, 4, -1, 1, 0}, {0, -2, -1, 1, 1}, {0, -2, 1, 0, 1}}));
    // ... and in the same plane the grass cell's own wall from 0 down to -6.
    EXPECT_EQ(corners(5), (Corners{{0, 0, 1, 0, 0}, {0, 0, -1, 1, 0}, {0, -6, -1, 1, 1}, {0, -6, 1, 0, 1}}));
    const plat::Matrix4 identity = plat::MatrixIdentity();
    for (const plat::RecordedDraw* fan : fans) {
        EXPECT_EQ(fan->primitiveCount, 2u);
        EXPECT_EQ(std::memcmp(&frame.StateOf(*fan).world, &identity, sizeof identity), 0);
    }
}

TEST_F(BoardViewTest, MountainRingSurroundsTheBoardFifteenCellsDeep)
{
    SetBoard(4, 2, {});
    DrawMountainRing();
    const std::vector<Quad> ring = DrawnQuads(true);
    ASSERT_EQ(ring.size(), 1080u) << "(68 x 64 - 8 x 4) / 4 tiles";
    float minX = 1e9f, maxX = -1e9f, minZ = 1e9f, maxZ = -1e9f;
    for (const Quad& q : ring) {
        EXPECT_EQ((std::tuple{q.kind, q.y, q.texture}), std::make_tuple('T', 4.0f, 2));
        minX = std::min(minX, q.x);
        maxX = std::max(maxX, q.x + 2);
        minZ = std::min(minZ, q.z - 2);
        maxZ = std::max(maxZ, q.z);
        EXPECT_FALSE(q.x >= -4 && q.x < 4 && q.z <= 2 && q.z > -2) << "over the board at " << q.x << ", " << q.z;
    }
    EXPECT_EQ(std::vector<float>({minX, maxX, minZ, maxZ}), std::vector<float>({-34, 34, -32, 32}));
    EXPECT_EQ(std::adjacent_find(ring.begin(), ring.end()), ring.end()) << "no tile drawn twice";
}

TEST_F(BoardViewTest, OnlyTilesInTheCameraViewAreSent)
{
    // The largest board, all grass, seen by the board camera over its centre.
    SetBoard(100, 100, std::vector<int>(10000, 15));
    const float lookAt[3] = {0.0f, 0.25f, 0.0f};
    float eye[3] = {0.0f, 60.0f, 0.0f};
    OffsetByAngle(&eye[0], &eye[2], lookAt[0], lookAt[2], 270.0f, 20.0f);
    SetCameraTransforms(lookAt, eye);
    UpdateFrustumPlanes();
    DrawBoardTiles(-2.0f);
    DrawMountainRing();
    const std::vector<Quad> drawn = DrawnQuads(true);
    EXPECT_GT(drawn.size(), 50u);
    EXPECT_LT(drawn.size(), 600u) << "of 10,000 cells and 6,900 ring tiles";

    // Every tile whose centre shows on the screen is among them.
    int onScreen = 0;
    for (int r = 0; r < 100; ++r) {
        for (int c = 0; c < 100; ++c) {
            const float x = static_cast<float>(2 * c - 100), z = static_cast<float>(100 - 2 * r);
            const float centre[3] = {x + 1.0f, 0.0f, z - 1.0f};
            float s[3];
            ProjectToScreen(s, centre);
            if (s[0] < 0 || s[0] > 640 || s[1] < 0 || s[1] > 480 || s[2] < 0 || s[2] > 1)
                continue;
            ++onScreen;
            EXPECT_TRUE(std::binary_search(drawn.begin(), drawn.end(), Quad{'T', x, 0, z, 1}))
                << "cell " << c << ", " << r << " shows but was culled";
        }
    }
    EXPECT_GT(onScreen, 20);
}

TEST_F(BoardViewTest, TilesDrawnAreThoseThatPassTheirOwnTestWhereverTheCameraIs)
{
    // Testing every cell and ring tile, the plain way, is the yardstick: for each built
    // stage and many cameras the board must send the same quads in the same order.
    const auto maps = test_support::ReadFileBytes(std::string(SUGOROKU_BUILD_DIR) + "/mappack.dat");
    struct Restore {
        ~Restore() { g_stageLayers.stageNumber = 1; }
    } restore;
    auto everyTile = [](float x0, float z0, float y, int columns, int rows) {
        for (int j = 0; j < rows; ++j)
            for (int k = 0; k < columns; ++k) {
                const float x = x0 + 2.0f * static_cast<float>(k), z = z0 - 2.0f * static_cast<float>(j);
                if (IsSphereInFrustum(x + 1.0f, y - 2.0f, z - 1.0f, 4.0f))
                    DrawFlatTile(x, y, z, 2);
            }
    };
    auto plainly = [&](float sea) {
        const int w = g_stageLayers.boardWidth, h = g_stageLayers.boardHeight;
        for (int pass = 0; pass < 2; ++pass)
            for (int r = 0; r < h; ++r)
                for (int c = 0; c < w; ++c) {
                    const int code = g_stageLayers.squareLayer[r * w + c];
                    const float x = static_cast<float>(2 * c - w), z = static_cast<float>(h - 2 * r);
                    if (pass == 0 && code == 45)
                        DrawSeaCell(x, sea, z);
                    if (pass == 1 && code < 45)
                        DrawBoardCell(c, r, x, z);
                }
        const auto f = [](int v) { return static_cast<float>(v); };
        everyTile(f(-(w + 30)), f(h + 30), 4.0f, w + 30, 15);
        everyTile(f(-(w + 30)), f(-h), 4.0f, w + 30, 15);
        everyTile(f(w), f(h), 4.0f, 15, h);
        everyTile(f(-w - 30), f(h), 4.0f, 15, h);
    };
    // Everything a drawing leaves: the vertices and each quad's texture, in order.
    auto take = []() {
        plat::RecordedFrame& frame = plat::CurrentRecordedFrame();
        std::vector<const plat::Texture*> textures;
        for (const plat::RecordedDraw& d : frame.draws)
            textures.push_back(d.texture);
        auto taken = std::make_pair(frame.vertexBytes, textures);
        frame.Reset();
        return taken;
    };

    uint32_t chance = 12345;
    auto next = [&](float low, float high) {
        chance = chance * 1664525u + 1013904223u;
        return low + (high - low) * static_cast<float>(chance >> 8) / 16777216.0f;
    };
    const float seaLevels[] = {-2.0f, -1.3f, -1.0f};
    for (int stage = 1; stage <= 3; ++stage) {
        g_stageLayers.stageNumber = stage;
        ASSERT_EQ(LoadStageFromMapPackMemory(maps.data(), maps.size()), 1);
        const int w = g_stageLayers.boardWidth, h = g_stageLayers.boardHeight;
        const size_t everything = [&] {
            for (float* plane : g_frustumPlanes)
                plane[0] = plane[1] = plane[2] = 0.0f, plane[3] = 1.0f;
            plainly(-2.0f);
            return take().second.size();
        }();
        int partly = 0;
        for (int pose = 0; pose < 240; ++pose) {
            // The board camera over points on and off the board, then anything at all:
            // low and level, from below, far off, straight down, on the look-at point.
            const float lookAt[3] = {next(-w - 40.0f, w + 40.0f), pose % 5 == 0 ? next(-10, 10) : 0.25f,
                                     next(-h - 40.0f, h + 40.0f)};
            float eye[3] = {0, pose < 80 ? 60.0f : next(-30, 130), 0};
            OffsetByAngle(&eye[0], &eye[2], lookAt[0], lookAt[2], pose < 40 ? 270.0f : next(0, 360),
                          pose < 80 ? 20.0f : next(0, 90));
            if (pose % 8 == 1)
                eye[0] = lookAt[0]; // looking straight along z: planes level in x
            if (pose == 200)
                eye[0] = lookAt[0], eye[2] = lookAt[2];
            if (pose == 201)
                std::copy(lookAt, lookAt + 3, eye);
            SetCameraTransforms(lookAt, eye);
            UpdateFrustumPlanes();
            const float sea = seaLevels[pose % 3];
            plainly(sea);
            const auto expected = take();
            DrawBoardTiles(sea);
            DrawMountainRing();
            ASSERT_TRUE(take() == expected) << "stage " << stage << ", camera " << pose << ": " << lookAt[0] << ", "
                                            << lookAt[1] << ", " << lookAt[2] << " from " << eye[0] << ", " << eye[1]
                                            << ", " << eye[2] << " (" << expected.second.size() << " quads)";
            partly += !expected.second.empty() && expected.second.size() < everything / 2;
        }
        EXPECT_GT(partly, 120) << "most cameras see part of stage " << stage;
    }
}

TEST_F(BoardViewTest, SAndAToggleTheMinimapAndTeamPanelWithSoundFour)
{
    ASSERT_EQ(InitTaskPool(), 1);
    ASSERT_EQ(CreateBoardView(), 1);
    EXPECT_EQ(CreateBoardView(), 0) << "slot 2 is taken";
    Task* task = &g_tasks[kBoardViewSlot];
    EXPECT_EQ(task->kind, 3);
    BoardView* view = TaskWork<BoardView>(task);
    EXPECT_EQ(std::vector<int32_t>({view->minimapOn, view->overlayOn, view->seaCounter}),
              std::vector<int32_t>({1, 1, 0}));

    // Keys held this frame; whether sound 4 was asked for, then the two flags.
    auto frame = [&](std::vector<int> held) {
        for (KeySlot& key : g_keys)
            key.current = 0;
        for (int k : held)
            g_keys[k].current = 0x80;
        ClearSoundRequests();
        UpdateAllTasks();
        for (KeySlot& key : g_keys)
            key.previous = key.current;
        return std::vector<int32_t>{g_soundRequests[4].requested != 0, view->minimapOn, view->overlayOn};
    };
    EXPECT_EQ(frame({}), (std::vector<int32_t>{0, 1, 1}));
    EXPECT_FLOAT_EQ(view->seaLevel, -2.0f);
    const std::pair<std::vector<int>, std::vector<int32_t>> steps[] = {
        {{kKeyS}, {1, 0, 1}},        {{kKeyS}, {0, 0, 1}}, {{}, {0, 0, 1}}, // held, not pressed again
        {{kKeyS, kKeyA}, {1, 1, 0}}, {{}, {0, 1, 0}},      {{kKeyA}, {1, 1, 1}}};
    for (const auto& [held, expected] : steps)
        EXPECT_EQ(frame(held), expected);
    for (KeySlot& key : g_keys)
        key.current = key.previous = 0;

    view->alive = 0;
    UpdateAllTasks();
    EXPECT_EQ(task->alive, 0);
    FreeTaskPool();
}

} // namespace
