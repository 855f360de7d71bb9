// The stage map pack reader, the board geometry with its checked lookups, the track
// walk and the character tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "board/characters.h"
#include "board/stage.h"
#include "board/world.h"
#include "engine/glyph_table.h"
#include "engine/text.h"
#include "test_board_support.h"

using board_test::MapEntry;
using board_test::MapPack;
using test_support::Bytes;
using test_support::PutU32;

namespace {

class StageMap : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(InitWorldBuffers(), 1);
        g_stageNumber = 1;
        g_boardWidth = g_boardHeight = 0;
    }
    void TearDown() override
    {
        FreeWorldBuffers();
        g_stageNumber = 1;
    }

    // Loads a single-stage pack holding entry as stage 1.
    static int Load(const MapEntry& entry)
    {
        const Bytes pack = MapPack({{0, entry.Serialised()}});
        g_stageNumber = 1;
        return LoadStageFromMapPackMemory(pack.data(), pack.size());
    }

    static bool LayersAllZero()
    {
        for (const int8_t* layer : {g_squareLayer, g_routeLayer, g_layerD, g_eventLayer, g_layerE})
            if (std::any_of(layer, layer + kStageCells, [](int8_t v) { return v != 0; })) return false;
        return true;
    }
    static std::vector<int> First(const int8_t* layer, int n) { return std::vector<int>(layer, layer + n); }
};

} // namespace

TEST_F(StageMap, ReadsTheChosenStageEntryAndItsFiveLayersInOrder)
{
    MapEntry first(2, 2), second(3, 2), third(1, 1);
    second.square = {10, 11, 12, 13, 14, 15};
    second.route = {20, 21, 22, 23, 24, 25};
    second.back = {30, 31, 32, 33, 34, 35};
    second.event = {40, 41, 42, 43, 44, 45};
    second.enemy = {50, 51, 52, 53, 54, 55};
    const Bytes pack = MapPack({{0, first.Serialised()}, {4200, second.Serialised()}, {8400, third.Serialised()}});
    ASSERT_EQ(test_support::GetU32(pack, 4212), 3u) << "stage 2's W sits at byte 4212";

    g_stageNumber = 2;
    ASSERT_EQ(LoadStageFromMapPackMemory(pack.data(), pack.size()), 1);
    EXPECT_EQ((std::pair{g_boardWidth, g_boardHeight}), (std::pair{3, 2}));
    EXPECT_EQ(First(g_squareLayer, 6), (std::vector<int>{10, 11, 12, 13, 14, 15}));
    EXPECT_EQ(First(g_routeLayer, 6), (std::vector<int>{20, 21, 22, 23, 24, 25}));
    EXPECT_EQ(First(g_layerD, 6), (std::vector<int>{30, 31, 32, 33, 34, 35}));
    EXPECT_EQ(First(g_eventLayer, 6), (std::vector<int>{40, 41, 42, 43, 44, 45}));
    EXPECT_EQ(First(g_layerE, 6), (std::vector<int>{50, 51, 52, 53, 54, 55}));
    // Row-major: cell (2, 1) is index 5.
    EXPECT_EQ((std::tuple{CellKindAt(2, 1), RouteAt(0, 1)}), std::make_tuple(15, 23));

    // Another load replaces everything, the unused tail of the layers included.
    g_stageNumber = 3;
    ASSERT_EQ(LoadStageFromMapPackMemory(pack.data(), pack.size()), 1);
    EXPECT_EQ((std::tuple{g_boardWidth, g_squareLayer[1]}), std::make_tuple(1, 0));
}

TEST_F(StageMap, ReadsCellsAsSignedBytes)
{
    MapEntry entry(2, 1);
    entry.Cell(0, 0, 200);
    entry.Cell(1, 0, 15);
    entry.event[0] = 200;
    ASSERT_EQ(Load(entry), 1);
    EXPECT_EQ(CellKindAt(0, 0), -56) << "200 is a walkable corridor cell";
    EXPECT_EQ(IsWalkableAhead(1.0f, 0.0f, 180.0f), 1);
    EXPECT_EQ(IsWalkableAhead(-1.0f, 0.0f, 0.0f), 0) << "kind 15 is blocked ground";
    EXPECT_EQ(EventAt(0, 0), -56);
}

TEST_F(StageMap, RefusesEntriesThatCannotFitOrCannotBeFound)
{
    // A sound board first, so that a refusal visibly clears it.
    MapEntry good(2, 2);
    good.Cell(0, 0, 10, kRouteStart | 1);
    good.Cell(1, 0, 10, kRouteGoal);
    ASSERT_EQ(Load(good), 1);
    ASSERT_EQ(g_trackLength, 1);

    struct Case { const char* what; Bytes pack; int stage; };
    const Bytes goodEntry = good.Serialised();
    Bytes cut = MapPack({{0, goodEntry}});
    cut.resize(12 + 6); // the pack ends inside H
    Bytes noOffsets(8, 0);
    Bytes offsetPastEnd = MapPack({{0, goodEntry}});
    PutU32(offsetPastEnd, 0, 0xFFFFFFF0u); // 12 + offset wraps a 32-bit position
    Bytes wraps(12, 0); // W = H = 65536: the 32-bit product is 0
    test_support::PutLE(wraps, 0x10000, 4);
    test_support::PutLE(wraps, 0x10000, 4);
    wraps.resize(12 + 16 + 64, 0x0F);
    const std::vector<Case> cases = {
        {"W 0", MapPack({{0, MapEntry(0, 5).Serialised()}}), 1},
        {"H 0", MapPack({{0, MapEntry(5, 0).Serialised()}}), 1},
        {"W 101", MapPack({{0, MapEntry(101, 1).Serialised()}}), 1},
        {"H 101", MapPack({{0, MapEntry(1, 101).Serialised()}}), 1},
        {"W x H wraps to 0", wraps, 1},
        {"stage 0", MapPack({{0, goodEntry}}), 0},
        {"stage 4", MapPack({{0, goodEntry}}), 4},
        {"stage -1", MapPack({{0, goodEntry}}), -1},
        {"W and H unreadable", cut, 1},
        {"no offset table", noOffsets, 1},
        {"offset beyond the file", offsetPastEnd, 1},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(Load(good), 1);
        g_stageNumber = c.stage;
        EXPECT_EQ(LoadStageFromMapPackMemory(c.pack.data(), c.pack.size()), 0) << c.what;
        EXPECT_EQ(g_trackLength, 0) << c.what;
        EXPECT_TRUE(LayersAllZero()) << c.what;
        EXPECT_TRUE(g_boardWidth >= 1 && g_boardWidth <= 100 && g_boardHeight >= 1 && g_boardHeight <= 100)
            << c.what << ": the board keeps dimensions that fit the layers";
    }
}

TEST_F(StageMap, ShortEntryKeepsZerosWhereTheFileEnds)
{
    MapEntry entry(4, 1);
    entry.Cell(0, 0, 10, kRouteStart | 1);
    entry.Cell(1, 0, 11);
    entry.Cell(2, 0, 12);
    entry.Cell(3, 0, 13, kRouteGoal);
    entry.back.assign(4, 7);
    Bytes pack = MapPack({{0, entry.Serialised()}});
    pack.resize(12 + 16 + 4 + 4 + 2); // square and route whole, two bytes of the back layer
    ASSERT_EQ(LoadStageFromMapPackMemory(pack.data(), pack.size()), 1);
    EXPECT_EQ(g_trackLength, 3);
    EXPECT_EQ(BackLinksAt(1, 0), 7);
    EXPECT_EQ(BackLinksAt(2, 0), 0);
    EXPECT_EQ(EventAt(0, 0), 0);
}

TEST_F(StageMap, FileVariantReadsThePackAndFailsWithoutIt)
{
    test_support::TempDir dir;
    MapEntry entry(3, 1);
    entry.Cell(0, 0, 10, kRouteStart | 1);
    entry.Cell(2, 0, 10, kRouteGoal);
    test_support::WriteFileBytes(dir / "mappack.dat", MapPack({{0, entry.Serialised()}}));
    EXPECT_EQ(LoadStageFromMapPack((dir / "mappack.dat").c_str()), 1);
    EXPECT_EQ(g_trackLength, 1);
    EXPECT_EQ(LoadStageFromMapPack((dir / "missing.dat").c_str()), 0);
    EXPECT_EQ(g_trackLength, 0);
    EXPECT_TRUE(LayersAllZero());
}

TEST_F(StageMap, TrackWalkCountsSquaresAlongCorridors)
{
    // Start, three corridor cells, two squares, the goal: 3. The start is not counted.
    MapEntry line(7, 1);
    line.Cell(0, 0, 10, kRouteStart | 1);
    for (int c : {1, 2, 3}) line.Cell(c, 0, 0);
    line.Cell(4, 0, 11);
    line.Cell(5, 0, 14);
    line.Cell(6, 0, 12, kRouteGoal);
    ASSERT_EQ(Load(line), 1);
    EXPECT_EQ(g_trackLength, 3);

    // A square's first direction bit (order 1, 2, 4, 8) turns the walk: down the left
    // column, then along the bottom row to the goal.
    MapEntry bend(3, 3, 15);
    bend.Cell(0, 0, 10, kRouteStart | 4 | 8);
    bend.Cell(0, 1, 0);
    bend.Cell(0, 2, 13, 8 | 1);
    bend.Cell(1, 2, 11);
    bend.Cell(2, 2, 10, kRouteGoal);
    ASSERT_EQ(Load(bend), 1);
    EXPECT_EQ(g_trackLength, 3);

    // Of two start marks, the first row by row wins.
    MapEntry two(3, 2);
    two.Cell(0, 1, 10, kRouteStart | 1);
    two.Cell(1, 1, 10);
    two.Cell(2, 1, 10, kRouteGoal);
    two.Cell(1, 0, 10, kRouteStart | 1);
    two.Cell(2, 0, 10, kRouteGoal);
    ASSERT_EQ(Load(two), 1);
    EXPECT_EQ(g_trackLength, 1);
}

TEST_F(StageMap, TrackWalkTurnsRightAngleFirstAndNeverBack)
{
    // Start (0,2) heading 0; (3,2) is blocked. Turning to 90 leads up to a goal one
    // square away, 270 leads down to a goal two squares away.
    auto fork = [](bool upOpen) {
        MapEntry m(4, 5, 15);
        m.Cell(0, 2, 10, kRouteStart | 1);
        m.Cell(1, 2, 0);
        m.Cell(2, 2, 0);
        m.Cell(2, 1, upOpen ? 0 : 15);
        m.Cell(2, 0, 10, kRouteGoal);
        m.Cell(2, 3, 10);
        m.Cell(2, 4, 10, kRouteGoal);
        return m;
    };
    ASSERT_EQ(Load(fork(true)), 1);
    EXPECT_EQ(g_trackLength, 1) << "0 -> 90 first";
    ASSERT_EQ(Load(fork(false)), 1);
    EXPECT_EQ(g_trackLength, 2) << "90 blocked -> 270, not 180 back to the start";
}

TEST_F(StageMap, TrackWalkEndsOnlyOnGoalValueExactly32)
{
    // A goal square that also carries direction bit 1 (33) is passed over.
    MapEntry m(4, 1);
    m.Cell(0, 0, 10, kRouteStart | 1);
    m.Cell(1, 0, 10, kRouteGoal | 1);
    m.Cell(2, 0, 0);
    m.Cell(3, 0, 10, kRouteGoal);
    ASSERT_EQ(Load(m), 1);
    EXPECT_EQ(g_trackLength, 2);

    MapEntry none(3, 1);
    none.Cell(0, 0, 10, 1);
    ASSERT_EQ(Load(none), 1);
    EXPECT_EQ(g_trackLength, 0) << "no start mark";
    EXPECT_EQ(FindStartAndMeasureTrack(), 0);
}

TEST_F(StageMap, TrackWalkIsBoundedAndStaysOnTheBoard)
{
    // A start square walled in on every side: the walk only turns, for ever unless bounded.
    MapEntry boxed(3, 3, 15);
    boxed.Cell(1, 1, 10, kRouteStart | 1);
    ASSERT_EQ(Load(boxed), 1);
    EXPECT_EQ(g_trackLength, 0);

    // A ring of corridor cells with no goal returns after a bounded walk; it passes the
    // start square on each lap.
    MapEntry ring(3, 3);
    ring.Cell(1, 1, 15);
    ring.Cell(0, 0, 10, kRouteStart | 1);
    ASSERT_EQ(Load(ring), 1);
    EXPECT_GE(g_trackLength, 1);
    EXPECT_LE(g_trackLength, 36);

    // Heading 180 from column 0 leaves the board; it must not wrap to the end of the
    // row above, where a goal square waits.
    MapEntry edge(3, 2, 15);
    edge.Cell(2, 0, 10, kRouteGoal);
    edge.Cell(0, 1, 10, kRouteStart | 2);
    ASSERT_EQ(Load(edge), 1);
    EXPECT_EQ(g_trackLength, 0);
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
    EXPECT_EQ(CellAtPosition(2.0f, -1.0f), 5);
    EXPECT_EQ(CellAtPosition(2.9f, -0.1f), 5) << "0.9 off the centre is still the cell";
    EXPECT_EQ(CellAtPosition(0.0f, 1.0f), 1);

    struct Point { float x, z; int cell; };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // The far-left corner itself is on the board; x at the right edge, z at the near
    // edge, and -3.5 / -4.9 (whose truncated column would be 0) are not.
    const Point points[] = {{-3.0f, 2.0f, 0},   {-3.0f, -1.9f, 3},   {2.99f, 0.5f, 2},  {3.0f, 0.5f, -1},
                            {-3.5f, 0.5f, -1},  {-4.9f, 0.5f, -1},   {0.0f, 2.5f, -1},  {0.0f, -2.0f, -1},
                            {-1.0f, -3.9f, -1}, {nan, 0.0f, -1},     {0.0f, nan, -1},   {3.0e9f, 0.0f, -1},
                            {-3.0e9f, 0.0f, -1}};
    for (const Point& p : points)
        EXPECT_EQ(CellAtPosition(p.x, p.z), p.cell) << p.x << ", " << p.z;

    // Off the board: blocked ground, no bits, no event; by column and row and by index.
    for (auto [c, r] : {std::pair{-1, 0}, {3, 0}, {0, -1}, {0, 2}, {-1, -1}, {3, 2}})
        EXPECT_EQ((std::vector{CellKindAt(c, r), RouteAt(c, r), BackLinksAt(c, r), EnemyLinksAt(c, r), EventAt(c, r)}),
                  (std::vector{15, 0, 0, 0, 0})) << c << ", " << r;
    for (int cell : {-1, 6, 10000}) {
        EXPECT_EQ(CellKindOf(cell), 15);
        EXPECT_EQ(RouteOf(cell) | BackLinksOf(cell) | EnemyLinksOf(cell) | EventOf(cell), 0);
    }
    EXPECT_EQ((std::vector{CellKindOf(4), RouteOf(4), BackLinksOf(4), EnemyLinksOf(4), EventOf(4)}),
              (std::vector{4, 5, 2, 4, 5}));

    // Neighbours along the four headings, never across a row end.
    const int neighbours[][3] = {{1, 0, 2},    {4, 90, 1},   {1, 180, 0}, {1, 270, 4},  {2, 0, -1},
                                 {3, 180, -1}, {0, 90, -1},  {5, 270, -1}, {1, 45, -1}, {-1, 0, -1}};
    for (const auto& n : neighbours) EXPECT_EQ(NeighbourCell(n[0], n[1]), n[2]) << n[0] << " heading " << n[1];

    // Looking two units past an edge cell finds blocked ground.
    CellCentre(0, 1, &x, &z);
    EXPECT_EQ((std::vector{IsWalkableAhead(x, z, 180.0f), IsWalkableAhead(x, z, 270.0f), IsWalkableAhead(x, z, 90.0f),
                           IsWalkableAhead(x, z, 0.0f)}),
              (std::vector{0, 0, 1, 1}));
}

TEST_F(StageMap, SquareTestsTakeKinds10To14)
{
    MapEntry m(6, 1);
    const int kinds[] = {9, 10, 14, 15, -1, 127};
    for (int c = 0; c < 6; ++c) m.Cell(c, 0, kinds[c]);
    ASSERT_EQ(Load(m), 1);
    const int expected[] = {0, 1, 1, 0, 0, 0};
    for (int c = 0; c < 6; ++c) EXPECT_EQ(IsSquareCell(c) + IsTrackSquare(c), 2 * expected[c]) << kinds[c];
}

// Every name must draw: an even count of bytes, each pair a glyph the font has.
TEST(CharacterTable, EveryNameCharacterHasAGlyph)
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
}

// The tables name the same pictures: a profile's name plate is its character's, and the
// portraits are face icons (0..6 of rows 0..6, 7 of row 18, 8..13 of rows 12..17).
TEST(CharacterTable, ProfilesAndPortraitsShowTheirCharactersPictures)
{
    for (int id = 0; id < kPlayableCharacterCount; ++id)
        EXPECT_EQ(std::memcmp(g_characterProfiles[id].nameRect, g_characters[id].namePlateRect, 16), 0) << id;
    const int faceRow[kPortraitCount] = {0, 1, 2, 3, 4, 5, 6, 18, 12, 13, 14, 15, 16, 17};
    for (int i = 0; i < kPortraitCount; ++i)
        EXPECT_EQ(std::memcmp(g_portraitRects[i], g_characters[faceRow[i]].faceRect, 16), 0) << i;
    const float portrait7[4] = {1908, 100, 2047, 185};
    EXPECT_EQ(std::memcmp(g_portraitRects[7], portrait7, 16), 0);
}
