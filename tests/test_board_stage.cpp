// The stage map pack reader, the board geometry with its checked lookups, the track
// walk and the character tables.

#include <limits>

#include "test_board_support.h"

using board_test::MapEntry;
using board_test::MapPack;
using test_support::Bytes;
using test_support::PutU32;

namespace {

struct Cell {
    int column, row, kind, route = 0;
};

// A W x H entry filled with one kind, with the given cells set.
MapEntry Map(uint32_t width, uint32_t height, int fill, std::initializer_list<Cell> cells)
{
    MapEntry entry(width, height, fill);
    for (const Cell& c : cells)
        entry.Cell(c.column, c.row, c.kind, c.route);
    return entry;
}

class StageMap : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(InitWorldBuffers(), 1);
        g_stageLayers.stageNumber = 1;
        g_stageLayers.boardWidth = g_stageLayers.boardHeight = 0;
    }
    void TearDown() override
    {
        FreeWorldBuffers();
        g_stageLayers.stageNumber = 1;
    }

    // Loads a single-stage pack holding entry as stage 1.
    static int Load(const MapEntry& entry)
    {
        const Bytes pack = MapPack({{0, entry.Serialised()}});
        g_stageLayers.stageNumber = 1;
        return LoadStageFromMapPackMemory(pack.data(), pack.size());
    }

    static bool LayersAllZero()
    {
        for (const int8_t* layer : {g_stageLayers.squareLayer, g_stageLayers.routeLayer, g_stageLayers.layerD,
                                    g_stageLayers.eventLayer, g_stageLayers.layerE})
            if (std::any_of(layer, layer + kStageCells, [](int8_t v) { return v != 0; }))
                return false;
        return true;
    }
};

} // namespace

TEST_F(StageMap, ReadsTheChosenEntrysFiveLayersInOrderAsSignedBytes)
{
    MapEntry first(2, 2), second(3, 2), third(1, 1);
    second.square = {10, 11, 12, 13, 14, 200};
    second.route = {20, 21, 22, 23, 24, 25};
    second.back = {30, 31, 32, 33, 34, 35};
    second.event = {40, 41, 42, 43, 44, 200};
    second.enemy = {50, 51, 52, 53, 54, 55};
    const Bytes pack = MapPack({{0, first.Serialised()}, {4200, second.Serialised()}, {8400, third.Serialised()}});
    ASSERT_EQ(test_support::GetU32(pack, 4212), 3u) << "stage 2's W sits at byte 4212";

    g_stageLayers.stageNumber = 2;
    ASSERT_EQ(LoadStageFromMapPackMemory(pack.data(), pack.size()), 1);
    EXPECT_EQ((std::pair{g_stageLayers.boardWidth, g_stageLayers.boardHeight}), (std::pair{3, 2}));
    // Row-major, one layer after another; 200 reads as -56, a walkable corridor cell.
    EXPECT_EQ((std::vector{CellKindAt(1, 0), RouteAt(0, 1), BackLinksAt(2, 0), EventAt(2, 1), EnemyLinksAt(1, 1),
                           CellKindAt(2, 1)}),
              (std::vector{11, 23, 32, -56, 54, -56}));
    EXPECT_EQ(IsWalkableAhead(0.0f, -1.0f, 0.0f), 1);

    // Another load replaces everything, the unused tail of the layers included.
    g_stageLayers.stageNumber = 3;
    ASSERT_EQ(LoadStageFromMapPackMemory(pack.data(), pack.size()), 1);
    EXPECT_EQ((std::tuple{g_stageLayers.boardWidth, g_stageLayers.squareLayer[1]}), std::make_tuple(1, 0));
}

TEST_F(StageMap, RefusesEntriesThatCannotFitOrCannotBeFound)
{
    // A sound board first, so that a refusal visibly clears it.
    const MapEntry good = Map(2, 2, 0, {{0, 0, 10, kRouteStart | 1}, {1, 0, 10, kRouteGoal}});
    const Bytes goodEntry = good.Serialised();
    Bytes cut = MapPack({{0, goodEntry}});
    cut.resize(12 + 6); // the pack ends inside H
    Bytes offsetPastEnd = MapPack({{0, goodEntry}});
    PutU32(offsetPastEnd, 0, 0xFFFFFFF0u); // 12 + offset wraps a 32-bit position
    Bytes wraps(12, 0);                    // W = H = 65536: the 32-bit product is 0
    test_support::PutLE(wraps, 0x10000, 4);
    test_support::PutLE(wraps, 0x10000, 4);
    wraps.resize(12 + 16 + 64, 0x0F);
    struct Case {
        const char* what;
        Bytes pack;
        int stage;
    };
    const Case cases[] = {
        {"W 0", MapPack({{0, MapEntry(0, 5).Serialised()}}), 1},
        {"H 0", MapPack({{0, MapEntry(5, 0).Serialised()}}), 1},
        {"W 101", MapPack({{0, MapEntry(101, 1).Serialised()}}), 1},
        {"H 101", MapPack({{0, MapEntry(1, 101).Serialised()}}), 1},
        {"W x H wraps to 0", wraps, 1},
        {"stage 0", MapPack({{0, goodEntry}}), 0},
        {"stage 4", MapPack({{0, goodEntry}}), 4},
        {"stage -1", MapPack({{0, goodEntry}}), -1},
        {"W and H unreadable", cut, 1},
        {"no offset table", Bytes(8, 0), 1},
        {"offset beyond the file", offsetPastEnd, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(Load(good), 1);
        ASSERT_EQ(g_stageLayers.trackLength, 1);
        g_stageLayers.stageNumber = c.stage;
        EXPECT_EQ(LoadStageFromMapPackMemory(c.pack.data(), c.pack.size()), 0);
        EXPECT_EQ(g_stageLayers.trackLength, 0);
        EXPECT_TRUE(LayersAllZero());
        EXPECT_TRUE(g_stageLayers.boardWidth >= 1 && g_stageLayers.boardWidth <= 100 &&
                    g_stageLayers.boardHeight >= 1 && g_stageLayers.boardHeight <= 100)
            << "the board keeps dimensions that fit the layers";
    }

    // An entry cut short keeps zeros where the file ends: square and route whole, two
    // bytes of the back layer.
    MapEntry shortEntry = Map(4, 1, 0, {{0, 0, 10, kRouteStart | 1}, {1, 0, 11}, {2, 0, 12}, {3, 0, 13, kRouteGoal}});
    shortEntry.back.assign(4, 7);
    Bytes pack = MapPack({{0, shortEntry.Serialised()}});
    pack.resize(12 + 16 + 4 + 4 + 2);
    ASSERT_EQ(LoadStageFromMapPackMemory(pack.data(), pack.size()), 1);
    EXPECT_EQ((std::vector{g_stageLayers.trackLength, BackLinksAt(1, 0), BackLinksAt(2, 0), EventAt(0, 0)}),
              (std::vector{3, 7, 0, 0}));
}

// The walk follows corridors from the first start mark (row by row), turns on a
// square's first direction bit (order 1, 2, 4, 8), at a wall tries the right angles
// (90 first) but never goes back, ends only on a route value of exactly 32, and always ends.
TEST_F(StageMap, TrackWalkCountsSquaresToTheGoalAndAlwaysEnds)
{
    const int s = kRouteStart;
    const int g = kRouteGoal;
    struct Case {
        const char* what;
        MapEntry map;
        int least, most;
    };
    const Case cases[] = {
        {"corridors and the start not counted",
         Map(7, 1, 0, {{0, 0, 10, s | 1}, {4, 0, 11}, {5, 0, 14}, {6, 0, 12, g}}), 3, 3},
        {"a bend by direction bits",
         Map(3, 3, 15, {{0, 0, 10, s | 4 | 8}, {0, 1, 0}, {0, 2, 13, 8 | 1}, {1, 2, 11}, {2, 2, 10, g}}), 3, 3},
        {"bit 2 before bit 4", Map(3, 3, 15, {{2, 0, 10, s | 2 | 4}, {1, 0, 10, g}, {2, 1, 10}, {2, 2, 10, g}}), 1, 1},
        {"first start mark wins",
         Map(3, 2, 0, {{0, 1, 10, s | 1}, {1, 1, 10}, {2, 1, 10, g}, {1, 0, 10, s | 1}, {2, 0, 10, g}}), 1, 1},
        {"90 before 270",
         Map(4, 5, 15, {{0, 2, 10, s | 1}, {1, 2, 0}, {2, 2, 0}, {2, 1, 0}, {2, 0, 10, g}, {2, 3, 10}, {2, 4, 10, g}}),
         1, 1},
        {"90 blocked: 270, not back",
         Map(4, 5, 15, {{0, 2, 10, s | 1}, {1, 2, 0}, {2, 2, 0}, {2, 0, 10, g}, {2, 3, 10}, {2, 4, 10, g}}), 2, 2},
        {"goal with a direction bit passed over", Map(4, 1, 0, {{0, 0, 10, s | 1}, {1, 0, 10, g | 1}, {3, 0, 10, g}}),
         2, 2},
        {"no start mark", Map(3, 1, 0, {{0, 0, 10, 1}}), 0, 0},
        {"start walled in: only turns", Map(3, 3, 15, {{1, 1, 10, s | 1}}), 0, 0},
        {"ring without a goal", Map(3, 3, 0, {{1, 1, 15}, {0, 0, 10, s | 1}}), 1, 36},
        {"no wrap past the row end", Map(3, 2, 15, {{2, 0, 10, g}, {0, 1, 10, s | 2}}), 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(Load(c.map), 1);
        EXPECT_GE(g_stageLayers.trackLength, c.least);
        EXPECT_LE(g_stageLayers.trackLength, c.most);
    }
}

TEST_F(StageMap, CellGeometryAndCheckedLookupsAtEveryEdge)
{
    MapEntry m(3, 2);
    m.square = {0, 1, 2, 3, 4, 5};
    m.route = m.event = {1, 2, 3, 4, 5, 6};
    m.back.assign(6, 2);
    m.enemy.assign(6, 4);
    ASSERT_EQ(Load(m), 1);

    // Centres: x = 2c - W + 1, z = H - 2r - 1.
    float x = 0.0f, z = 0.0f;
    CellCentre(2, 1, &x, &z);
    EXPECT_EQ((std::pair{x, z}), (std::pair{2.0f, -1.0f}));

    struct Point {
        float x, z;
        int cell;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // The far-left corner itself is on the board; x at the right edge, z at the near
    // edge, and -3.5 / -4.9 (whose truncated column would be 0) are not.
    const Point points[] = {{2.0f, -1.0f, 5},  {2.9f, -0.1f, 5}, {0.0f, 1.0f, 1},    {-3.0f, 2.0f, 0},
                            {-3.0f, -1.9f, 3}, {2.99f, 0.5f, 2}, {3.0f, 0.5f, -1},   {-3.5f, 0.5f, -1},
                            {-4.9f, 0.5f, -1}, {0.0f, 2.5f, -1}, {0.0f, -2.0f, -1},  {-1.0f, -3.9f, -1},
                            {nan, 0.0f, -1},   {0.0f, nan, -1},  {3.0e9f, 0.0f, -1}, {-3.0e9f, 0.0f, -1}};
    for (const Point& p : points)
        EXPECT_EQ(CellAtPosition(p.x, p.z), p.cell) << p.x << ", " << p.z;

    // Off the board: blocked ground, no bits, no event; by column and row and by index.
    for (auto [c, r] : {std::pair{-1, 0}, {3, 0}, {0, -1}, {0, 2}, {-1, -1}, {3, 2}})
        EXPECT_EQ((std::vector{CellKindAt(c, r), RouteAt(c, r), BackLinksAt(c, r), EnemyLinksAt(c, r), EventAt(c, r)}),
                  (std::vector{15, 0, 0, 0, 0}))
            << c << ", " << r;
    for (int cell : {-1, 6, 10000}) {
        EXPECT_EQ(CellKindOf(cell), 15);
        EXPECT_EQ(RouteOf(cell) | BackLinksOf(cell) | EnemyLinksOf(cell) | EventOf(cell), 0);
    }
    EXPECT_EQ((std::vector{CellKindOf(4), RouteOf(4), BackLinksOf(4), EnemyLinksOf(4), EventOf(4)}),
              (std::vector{4, 5, 2, 4, 5}));

    // Neighbours along the four headings, never across a row end.
    const int neighbours[][3] = {{1, 0, 2},    {4, 90, 1},  {1, 180, 0},  {1, 270, 4}, {2, 0, -1},
                                 {3, 180, -1}, {0, 90, -1}, {5, 270, -1}, {1, 45, -1}, {-1, 0, -1}};
    for (const auto& n : neighbours)
        EXPECT_EQ(NeighbourCell(n[0], n[1]), n[2]) << n[0] << " heading " << n[1];

    // Looking two units past an edge cell finds blocked ground.
    CellCentre(0, 1, &x, &z);
    EXPECT_EQ((std::vector{IsWalkableAhead(x, z, 180.0f), IsWalkableAhead(x, z, 270.0f), IsWalkableAhead(x, z, 90.0f),
                           IsWalkableAhead(x, z, 0.0f)}),
              (std::vector{0, 0, 1, 1}));

    // Squares are kinds 10 to 14.
    ASSERT_EQ(Load(Map(6, 1, 0, {{0, 0, 9}, {1, 0, 10}, {2, 0, 14}, {3, 0, 15}, {4, 0, -1}, {5, 0, 127}})), 1);
    const int squares[] = {0, 2, 2, 0, 0, 0};
    for (int c = 0; c < 6; ++c)
        EXPECT_EQ(IsSquareCell(c) + IsTrackSquare(c), squares[c]) << c;
}

// Every name must draw: an even count of bytes, each pair a glyph the font has. The
// tables name the same pictures: a profile's name plate is its character's, and the
// portraits are face icons (0..6 of rows 0..6, 7 of row 18, 8..13 of rows 12..17).
TEST(CharacterTable, NamesDrawAndProfilesAndPortraitsShowTheirCharacters)
{
    for (int row = 0; row < kCharacterCount; ++row) {
        const char* name = g_characters[row].name;
        EXPECT_TRUE(std::strlen(name) >= 4 && std::strlen(name) % 2 == 0) << "row " << row;
        for (size_t i = 0; i + 1 < std::strlen(name); i += 2) {
            const char character[3] = {name[i], name[i + 1], '\0'};
            int32_t glyph = 0;
            FindGlyph(&glyph, character);
            EXPECT_NE(glyph, 0) << "row " << row << " byte " << i;
        }
    }
    for (int id = 0; id < kPlayableCharacterCount; ++id)
        EXPECT_EQ(std::memcmp(&g_characterProfiles[id].nameRect, &g_characters[id].namePlateRect, 16), 0) << id;
    const int faceRow[kPortraitCount] = {0, 1, 2, 3, 4, 5, 6, 18, 12, 13, 14, 15, 16, 17};
    for (int i = 0; i < kPortraitCount; ++i)
        EXPECT_EQ(std::memcmp(&g_portraitRects[i], &g_characters[faceRow[i]].faceRect, 16), 0) << i;
    const float portrait7[4] = {1908, 100, 2047, 185};
    EXPECT_EQ(std::memcmp(&g_portraitRects[7], portrait7, 16), 0);
}

// The game takes every map pack entry that is there whole with a size the layers hold:
// links onto blocked ground, a second start mark, no start or a track walk that misses
// the goal play as movement and the track walk say (whether a race on the map can end
// depends on where the scripts place the pieces, and is asked with them). These used to
// be refused here; now only the builder refuses them. An entry the file cuts short goes
// back with nothing loaded, and stderr says why. The board: squares in row 1 from the
// start (column 1) to the goal (column 5), blocked ground all round.
TEST_F(StageMap, TheGameTakesEveryWholeMapAndRefusesOneTheFileCutsShort)
{
    auto good = [] {
        return Map(7, 3, 15,
                   {{1, 1, 10, kRouteStart | 1}, {2, 1, 11, 1}, {3, 1, 12, 1}, {4, 1, 13, 1}, {5, 1, 14, kRouteGoal}});
    };
    struct Case {
        const char* what;
        MapEntry map;
        size_t cut;
        const char* reason;
    };
    auto with = [&](auto change) {
        MapEntry m = good();
        change(m);
        return m;
    };
    const Case cases[] = {
        {"as the builder builds it", good(), 0, nullptr},
        {"a track that does not reach the goal", with([](MapEntry& m) { m.Cell(5, 1, 14, 0); }), 0, nullptr},
        {"a 1 x 1 board", Map(1, 1, 10, {{0, 0, 10, kRouteStart | 1}}), 0, nullptr},
        {"a route link onto blocked ground", with([](MapEntry& m) { m.route[m.At(3, 1)] = 1 | 4; }), 0, nullptr},
        {"a back-move link off the board", with([](MapEntry& m) { m.back[m.At(6, 2)] = 1; }), 0, nullptr},
        {"an enemy-move link onto blocked ground", with([](MapEntry& m) { m.enemy[m.At(2, 1)] = 8; }), 0, nullptr},
        {"two starts", with([](MapEntry& m) { m.route[m.At(2, 1)] |= kRouteStart; }), 0, nullptr},
        {"a start on a corridor", with([](MapEntry& m) { m.square[m.At(1, 1)] = 3; }), 0, nullptr},
        {"an eleventh event", with([](MapEntry& m) { m.event[m.At(4, 1)] = 11; }), 0, nullptr},
        {"an entry the file cuts short", good(), 1, "the file ends inside the stage's map"},
    };
    test_support::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes pack = MapPack({{0, c.map.Serialised()}});
        pack.resize(pack.size() - c.cut);
        test_support::WriteFileBytes(dir / "mappack.dat", pack);
        g_stageLayers.stageNumber = 1;
        testing::internal::CaptureStderr();
        const int loaded = LoadStageFromMapPack((dir / "mappack.dat").c_str());
        const std::string said = testing::internal::GetCapturedStderr();
        if (c.reason == nullptr) {
            EXPECT_EQ((std::tuple{loaded, said}), std::make_tuple(1, std::string()));
            if (&c == &cases[0])
                EXPECT_EQ(g_stageLayers.trackLength, 4);
            continue;
        }
        EXPECT_EQ(loaded, 0);
        EXPECT_NE(said.find("mappack.dat: stage 1 cannot be read:"), std::string::npos) << said;
        EXPECT_NE(said.find(c.reason), std::string::npos) << said;
        EXPECT_TRUE(LayersAllZero());
        EXPECT_EQ(g_stageLayers.trackLength, 0);
    }
}
