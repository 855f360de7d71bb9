// Team select in the headless game: opened from the title's first entry, the ring
// turned with the arrow keys, left with Escape or confirmed into a race.
#include <algorithm>
#include <filesystem>
#include <set>
#include <tuple>

#include "board/piece.h"
#include "board/turn.h"
#include "board/world.h"
#include "frontend/team_select.h"
#include "frontend/title.h"
#include "test_board_support.h"

namespace {

using Slots = std::vector<int>;

const SpriteRect kTitle = {906, 28, 1045, 58};
const SpriteRect kLabelFrame = {1012, 637, 1241, 667};
const SpriteRect kTeamNames[3] = {{1012, 566, 1215, 585}, {1012, 615, 1153, 632}, {1012, 589, 1214, 608}};
const SpriteRect kLeftArrow = {519, 675, 551, 707};
const SpriteRect kRightArrow = {519, 641, 551, 673};

class TeamSelectTest : public FrontendRun {
protected:
    void SetUp() override
    {
        FrontendRun::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        Press(kKeyReturn); // the title's first entry
        ASSERT_EQ(LiveSlots(), Slots{152});
    }

    static TeamSelectWork* Work() { return TaskWork<TeamSelectWork>(&g_tasks[152]); }
    static std::vector<float> Angles() { return {Work()->ringAngles, Work()->ringAngles + 3}; }
    static bool Idle() { return Work()->proc == RunTeamSelectIdle; }
    static bool LabelShown() { return !DrawnFrom(kLabelFrame).empty(); }
};

TEST_F(TeamSelectTest, OpensWithTeamZeroInFrontAndTheLabelFromItsSecondFrame)
{
    EXPECT_EQ(g_tasks[152].kind, 155);
    EXPECT_EQ(Work()->selection, 0);
    EXPECT_EQ(Angles(), std::vector<float>({270, 150, 30}));
    // The frame drawn before the screen's first update has everything but the label.
    EXPECT_TRUE(Drawn(251, 50, kTitle));
    EXPECT_TRUE(Drawn(32, 400, kLeftArrow));
    EXPECT_TRUE(Drawn(576, 400, kRightArrow));
    EXPECT_FALSE(LabelShown());

    Frames(1);
    EXPECT_TRUE(Drawn(206, 400, kLabelFrame));
    EXPECT_TRUE(Drawn(219, 406, kTeamNames[0])) << "centred, (30 - 19) / 2 below the frame's top, rounded";

    // Eighteen models, six per row along x, two units apart, each row at its ring point.
    std::set<std::tuple<int, int, int>> spots;
    for (const plat::RecordedDraw* d : plat::LastRecordedFrame().MeshDraws()) {
        const plat::Matrix4& w = plat::LastRecordedFrame().StateOf(*d).world;
        spots.emplace(static_cast<int>(std::lround(w.m[3][0] * 10)), static_cast<int>(std::lround(w.m[3][1] * 10)),
                      static_cast<int>(std::lround(w.m[3][2] * 10)));
    }
    ASSERT_EQ(spots.size(), 18u);
    for (int i = 0; i < 6; ++i) {
        // Team 0 at 270 degrees: about (0, 0, -15); x is off by 3.14's rounding.
        const int x = static_cast<int>(std::lround((15.0 * std::cos(270 * 3.14 / 180) - 5 + 2 * i) * 10));
        EXPECT_EQ(spots.count({x, 0, -150}), 1u) << "member " << i;
    }
}

TEST_F(TeamSelectTest, RightTurnsTheRingForwardAndThreeTurnsComeBack)
{
    Frames(1);
    Press(kKeyRight);
    EXPECT_TRUE(Heard(4));
    EXPECT_EQ(Work()->selection, 1);
    EXPECT_FALSE(Idle());
    EXPECT_FALSE(LabelShown()) << "no label while turning";

    // A key during the turn is not taken.
    Press(kKeyLeft);
    EXPECT_FALSE(Heard(4));
    EXPECT_EQ(Work()->selection, 1);
    Frames(9); // twelve frames of turning from the press on
    ASSERT_TRUE(Idle());
    EXPECT_EQ(Angles(), std::vector<float>({30, 270, 150})) << "team 1 in front, whole degrees";
    Frames(1);
    EXPECT_TRUE(Drawn(250, 407, kTeamNames[1]));

    Press(kKeyDown);
    EXPECT_TRUE(Heard(4));
    Frames(11);
    Press(kKeyRight);
    Frames(11);
    ASSERT_TRUE(Idle());
    EXPECT_EQ(Work()->selection, 0);
    EXPECT_EQ(Angles(), std::vector<float>({270, 150, 30}));
}

TEST_F(TeamSelectTest, LeftFromTeamZeroSelectsTeamTwoAndEscapeLeaves)
{
    Frames(1);
    Press(kKeyLeft);
    EXPECT_TRUE(Heard(4));
    EXPECT_EQ((std::tuple{Work()->selection, Work()->proc}), std::make_tuple(2, TurnTeamRingBack));
    // Midway the angles are still inside 0..360.
    for (float a : Angles())
        EXPECT_TRUE(a >= 0.0f && a < 360.0f) << a;
    Frames(11);
    ASSERT_TRUE(Idle());
    EXPECT_EQ(Angles(), std::vector<float>({150, 30, 270}));

    Press(kKeyEscape);
    EXPECT_TRUE(Heard(0));
    EXPECT_EQ(LiveSlots(), Slots{kTitleSlot});
    EXPECT_EQ(g_playerTeam, 0) << "leaving changes no team";
}

TEST_F(TeamSelectTest, ConfirmingStartsTheRaceWithTheFrontTeam)
{
    if (!board_test::HasStagePacks(dir_.path())) GTEST_SKIP() << "the stage packs are not built";
    Frames(1);
    Press(kKeyLeft);
    Frames(11);
    Press(kKeyZ);
    EXPECT_FALSE(Heard(0) || Heard(4)) << "confirming is silent";
    EXPECT_EQ(g_playerTeam, 2);
    const Slots live = LiveSlots();
    EXPECT_TRUE(std::count(live.begin(), live.end(), 152) == 0);
    EXPECT_TRUE(std::count(live.begin(), live.end(), 100) == 1) << "the turns began";
    EXPECT_TRUE(std::count(live.begin(), live.end(), 2) == 1) << "the board is shown";
    // The pieces were placed for that team: it leads the turn list under the player's hand.
    const BoardPiece* first = TurnControllerWork()->turnList[0];
    ASSERT_NE(first, nullptr);
    EXPECT_EQ((std::tuple{first->teamId, first->controller}), std::make_tuple(2, kControllerPlayer));
}

TEST_F(TeamSelectTest, WithoutTheStagePacksConfirmingReturnsToTheTitleWithTheTeamSet)
{
    std::filesystem::remove(dir_ / "mappack.dat");
    Frames(1);
    Press(kKeyRight);
    Frames(11);
    Press(kKeyReturn);
    EXPECT_EQ((std::tuple{LiveSlots(), g_playerTeam}), std::make_tuple(Slots{kTitleSlot}, 1));
}

} // namespace

namespace {

// A ring knocked off whole degrees (by any drift) settles on whole degrees after a turn.
TEST(TeamRing, ATurnEndsOnWholeDegrees)
{
    TeamSelectWork work{};
    work.ringAngles[0] = 270.3f;
    work.ringAngles[1] = 149.8f;
    work.ringAngles[2] = 29.6f;
    work.turnFrames = 12;
    work.proc = TurnTeamRingForward;
    for (int i = 0; i < 11; ++i)
        TurnTeamRingForward(&work);
    EXPECT_EQ(work.proc, TurnTeamRingForward);
    TurnTeamRingForward(&work);
    EXPECT_EQ(work.proc, RunTeamSelectIdle);
    EXPECT_EQ(std::vector<float>(work.ringAngles, work.ringAngles + 3), std::vector<float>({30, 270, 150}));
}

} // namespace
