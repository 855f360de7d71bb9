// The team status screen over hand-made pieces: pages and cursor wrap, the faces,
// the counts and the detail panel where they belong, and closing resumes the game.
#include "frontend/team_status.h"

#include <algorithm>
#include <cmath>
#include <tuple>

#include "board/characters.h"
#include "test_board_support.h"
#include "test_gfx_support.h"

namespace {

using battle_test::Team;
using board_test::BoardWorld;
using board_test::SpawnPiece;

class TeamStatusTest : public ::testing::Test {
protected:
    TeamStatusTest() : world_(4, 4) { g_uiAtlas = device_.MakeTexture(2048, 2048); }
    ~TeamStatusTest() override { g_uiAtlas = nullptr; }

    static StatusScreen* Screen() { return TaskWork<StatusScreen>(&g_tasks[165]); }

    // One update of the screen with the given key pressed in that frame.
    static void Key(int slot)
    {
        BoardWorld::PressKeys({slot});
        ClearSoundRequests();
        UpdateStatusScreen(&g_tasks[165]);
        BoardWorld::ReleaseKeys();
    }

    static void Draw()
    {
        plat::CurrentRecordedFrame().Reset();
        DrawStatusScreenTask(&g_tasks[165]);
    }

    // Sprites cut from the rectangle whose top-left texel is (l, t): where they went, and their colour.
    static std::vector<std::tuple<float, float, uint32_t>> At(float l, float t)
    {
        std::vector<std::tuple<float, float, uint32_t>> found;
        for (const plat::RecordedSprite& s : plat::CurrentRecordedFrame().Sprites())
            if (std::round(s.u0 * 2048.0f) == l && std::round(s.v0 * 2048.0f) == t)
                found.emplace_back(s.left, s.top, s.colour);
        return found;
    }

    gfx_test::RecordingDevice device_;
    BoardWorld world_;
};

using Spots = std::vector<std::tuple<float, float, uint32_t>>;
constexpr uint32_t kWhite = 0xFFFFFFFFu;

TEST_F(TeamStatusTest, OpensOnThePlayersPageAndWrapsPagesAndColumnsWithSoundFour)
{
    Team(10, kControllerPlayer, 0);
    g_playerTeam = 1;
    ASSERT_EQ(OpenPlayerStatus(), 1);
    EXPECT_EQ(g_tasks[165].kind, 156);
    EXPECT_EQ(std::make_tuple(Screen()->page, Screen()->column), std::make_tuple(1, 0));
    EXPECT_EQ(CreateStatusScreen(0), 0) << "the slot is taken";

    Key(kKeyDown); // the first frame only installs the input state
    EXPECT_EQ(Screen()->page, 1);
    const struct {
        int key, page, column;
    } steps[] = {
        {kKeyDown, 2, 0}, {kKeyDown, 0, 0}, {kKeyUp, 2, 0}, {kKeyLeft, 2, 5}, {kKeyRight, 2, 0}, {kKeyRight, 2, 1},
    };
    for (const auto& step : steps) {
        Key(step.key);
        EXPECT_EQ(std::make_tuple(Screen()->page, Screen()->column), std::make_tuple(step.page, step.column))
            << "key " << step.key;
        EXPECT_TRUE(BoardWorld::Heard(4));
    }
    Key(kKeySpace);
    EXPECT_FALSE(BoardWorld::Heard(4));
    g_playerTeam = 0;
}

TEST_F(TeamStatusTest, AnyCloseKeyResumesEveryTask)
{
    for (int key : {kKeyEscape, kKeyReturn, kKeyZ}) {
        Task* board = CreateTask(2);
        board->alive = 1;
        SetAllTasksMode(kModeFreeze);
        ASSERT_EQ(CreateStatusScreen(0), 1);
        Key(kKeyDown);
        Key(key);
        EXPECT_EQ(g_tasks[165].alive, 0) << key;
        EXPECT_TRUE(BoardWorld::Heard(4));
        EXPECT_EQ(board->updateEnabled, 1);
        KillAllTasks();
    }
}

TEST_F(TeamStatusTest, PageShowsFacesCursorCountsAndTheSelectedMembersDetail)
{
    BoardPiece* piece = Team(11, kControllerComputer, 0);
    piece->members[2].hitPoints = 0.0f;
    piece->liveCount = 5;
    // An enemy group with the same id earlier in the slots never takes the page.
    SpawnPiece(10, kControllerEnemy, 2, 2, 0.0f, 0);
    ASSERT_EQ(CreateStatusScreen(0), 1);
    EXPECT_EQ(Screen()->teamPiece[0], piece);
    Screen()->column = 2;
    Draw();
    // Page tab of team 0, frame, cursor on column 2, slash between 5 and 6, the detail
    // panel centred, member 2 fallen, the hints.
    const struct {
        float l, t, x, y;
    } spots[] = {
        {1979, 468, 0, 0},      {1429, 216, 22, 0},    {1947, 195, 240, 220},
        {873, 227, 502, 7},     {1010, 943, 162, 300}, {1010, 1908, 170, 304},
        {1302, 1757, 170, 379}, {1218, 565, 239, 379}, {519, 675, 32, 400},
    };
    for (const auto& s : spots)
        EXPECT_EQ(At(s.l, s.t), (Spots{{s.x, s.y, kWhite}})) << s.l << "," << s.t;
    EXPECT_EQ(std::pair(At(1357, 1758).size(), At(1010, 1875).size()), std::pair(size_t{0}, size_t{1}));
    // The face of member 2, bottom-centred in its column and faded; the name of
    // character 2 from its profile at (238, 304).
    const SpriteRect& face = piece->members[2].faceRect;
    const float w = face.right - face.left, h = face.bottom - face.top;
    EXPECT_EQ(At(face.left, face.top), (Spots{{std::round(240 + (100 - w) / 2), 180 - h, 0x64FFFFFFu}}));
    const SpriteRect& name = g_characterProfiles[2].nameRect;
    EXPECT_EQ(At(name.left, name.top), (Spots{{238, 304, kWhite}}));
    // Live count 5 before the slash, member count 6 after it, in medium digits.
    const auto digitAt = [](float left, float x) {
        const Spots found = At(left, 343);
        return std::count(found.begin(), found.end(), std::tuple{x, 8.0f, kWhite});
    };
    EXPECT_EQ(std::pair(digitAt(997, 480), digitAt(1009, 530)), std::pair(1L, 1L)) << "5 / 6";

    // The kind icon of each of the four kinds, at (238, 354): characters 0, 12, 6 and 5
    // are of kinds 0, 1, 2 and 3.
    const struct {
        int32_t character;
        float l, t;
    } kinds[] = {{0, 1010, 1974}, {12, 1010, 1995}, {6, 1010, 2016}, {5, 1044, 1875}};
    for (const auto& kind : kinds) {
        piece->members[2].id = kind.character;
        Draw();
        EXPECT_EQ(At(kind.l, kind.t), (Spots{{238, 354, kWhite}})) << kind.character;
    }
}

TEST_F(TeamStatusTest, AMonsterInTheTeamShowsNoProfileAndAGonePageOnlyItsFrame)
{
    BoardPiece* piece = Team(10, kControllerComputer, 1);
    piece->members[0] = g_characters[20]; // a monster: no profile row
    ASSERT_EQ(CreateStatusScreen(1), 1);
    Draw();
    EXPECT_EQ(At(1010, 943).size(), 1u) << "the panel is drawn";
    EXPECT_TRUE(At(1010, 1974).empty() && At(1010, 1995).empty() && At(1010, 2016).empty() && At(1044, 1875).empty())
        << "no category";
    for (const plat::RecordedSprite& s : plat::CurrentRecordedFrame().Sprites())
        EXPECT_FALSE(s.left == 238 && (s.top == 304 || s.top == 330)) << "no name and no value";
    EXPECT_EQ(At(1357, 1758).size(), 1u) << "its condition still shows";

    // Team 2 has no piece: tab, frame and hints, but no faces, counts or detail.
    Screen()->page = 2;
    Draw();
    EXPECT_EQ(At(2025, 468).size(), 1u);
    EXPECT_TRUE(At(1947, 195).empty() && At(873, 227).empty() && At(1010, 943).empty());
    EXPECT_EQ(At(519, 641).size(), 1u);
}

} // namespace
