// The two model rings in the headless game. Team select: opened from the title's first
// entry, the ring turned with the arrow keys, left with Escape or confirmed into a race.
// The model gallery: the ring turns a whole degree a frame to the next model, the
// selection moves out, and after a while without keys the selected model turns on the spot.
#include <algorithm>
#include <filesystem>
#include <set>
#include <tuple>

#include "board/piece.h"
#include "board/task_table.h"
#include "board/turn.h"
#include "board/world.h"
#include "engine/draw3d.h"
#include "frontend/gallery.h"
#include "frontend/team_select.h"
#include "frontend/title.h"
#include "test_board_support.h"

namespace {

using Slots = std::vector<int>;

const SpriteRect kLabelFrame = {1012, 637, 1241, 667};

// How far ahead of the eye the origin, where both rings are centred, lies in the last
// frame's view: straight ahead, at the eye's distance from it.
float CameraDistance()
{
    const plat::RecordedFrame& frame = plat::LastRecordedFrame();
    if (frame.MeshDraws().empty())
        return 0.0f;
    const auto& m = frame.StateOf(*frame.MeshDraws().front()).view.m;
    EXPECT_TRUE(std::fabs(m[3][0]) < 1e-3f && std::fabs(m[3][1]) < 1e-3f) << "the origin straight ahead";
    return m[3][2];
}

class TeamSelectTest : public FrontendRun {
protected:
    void SetUp() override
    {
        FrontendRun::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        Press(kKeyReturn); // the title's first entry
        ASSERT_EQ(LiveSlots(), Slots{152});
    }

    static TeamSelectWork* Work() { return TaskWork<TeamSelectWork>(&g_tasks[152]); }
    static std::vector<float> Angles() { return {Work()->ringAngles, Work()->ringAngles + 3}; }
    static bool Idle() { return Work()->stateProc == RunTeamSelectIdle; }
    void TurnWith(KeySlotId key)
    {
        Press(key);
        Frames(11);
    }
    static bool LabelShown() { return !DrawnFrom(kLabelFrame).empty(); }
};

TEST_F(TeamSelectTest, OpensWithTeamZeroInFrontAndTheLabelFromItsSecondFrame)
{
    EXPECT_EQ((std::tuple{g_tasks[152].kind, Work()->selection, Angles()}),
              std::make_tuple(155, 0, std::vector<float>({270, 150, 30})));
    // The frame drawn before the screen's first update has everything but the label.
    EXPECT_TRUE(Drawn(251, 50, {906, 28, 1045, 58}) && Drawn(32, 400, {519, 675, 551, 707}) &&
                Drawn(576, 400, {519, 641, 551, 673}));
    EXPECT_FALSE(LabelShown());

    // Every model of the ring is asked for, also the row ends that lie outside the view.
    struct CullingOff {
        CullingOff() { UseModelCulling(false); }
        ~CullingOff() { UseModelCulling(true); }
    } cullingOff;
    Frames(1);
    EXPECT_TRUE(Drawn(206, 400, kLabelFrame) && Drawn(219, 406, {1012, 566, 1215, 585}))
        << "the name centred, (30 - 19) / 2 below the frame's top, rounded";

    // Eighteen models, six per row along x, two units apart, each row at its ring point.
    // Team 0 at 270 degrees: about (0, 0, -15); x is off by 3.14's rounding.
    std::set<std::tuple<long, long, long>> spots;
    for (const plat::RecordedDraw* d : plat::LastRecordedFrame().MeshDraws()) {
        const auto& m = plat::LastRecordedFrame().StateOf(*d).world.m;
        spots.emplace(std::lround(m[3][0] * 10), std::lround(m[3][1] * 10), std::lround(m[3][2] * 10));
    }
    ASSERT_EQ(spots.size(), 18u);
    EXPECT_NEAR(CameraDistance(), std::sqrt(10.0f * 10.0f + 40.0f * 40.0f), 1e-3f) << "the eye 40 out and 10 up";
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(spots.count({std::lround((15.0 * std::cos(270 * 3.14 / 180) - 5 + 2 * i) * 10), 0, -150}), 1u) << i;
}

TEST_F(TeamSelectTest, TheRingTurnsTwelveFramesEitherWayAndEscapeLeaves)
{
    Frames(1);
    Press(kKeyRight);
    EXPECT_TRUE(Heard(4) && Work()->selection == 1 && !Idle());
    EXPECT_FALSE(LabelShown()) << "no label while turning";
    Press(kKeyLeft);
    EXPECT_TRUE(!Heard(4) && Work()->selection == 1) << "a key during the turn is not taken";
    Frames(9); // twelve frames of turning from the press on
    ASSERT_TRUE(Idle());
    EXPECT_EQ(Angles(), std::vector<float>({30, 270, 150})) << "team 1 in front, whole degrees";
    Frames(1);
    EXPECT_TRUE(Drawn(250, 407, {1012, 615, 1153, 632}));

    // Down turns as Right does; three turns come back to team 0.
    TurnWith(kKeyDown);
    TurnWith(kKeyRight);
    EXPECT_TRUE(Heard(4) && Idle());
    EXPECT_EQ((std::tuple{Work()->selection, Angles()}), std::make_tuple(0, std::vector<float>({270, 150, 30})));
    Press(kKeyLeft);
    EXPECT_EQ((std::tuple{Work()->selection, Work()->stateProc, Heard(4)}), std::make_tuple(2, TurnTeamRingBack, true));
    for (float a : Angles())
        EXPECT_TRUE(a >= 0.0f && a < 360.0f) << "midway the angles stay inside 0..360: " << a;
    Frames(11);
    EXPECT_TRUE(Idle() && Angles() == std::vector<float>({150, 30, 270}));

    Press(kKeyEscape);
    EXPECT_TRUE(Heard(0) && LiveSlots() == Slots{kTitleSlot});
    EXPECT_EQ(g_playerTeam, 0) << "leaving changes no team";
}

TEST_F(TeamSelectTest, ConfirmingStartsTheRaceWithTheFrontTeamOrWithoutPacksGoesBackToTheTitle)
{
    if (!board_test::HasStagePacks(dir_.path()))
        GTEST_SKIP() << "the stage packs are not built";
    std::filesystem::rename(dir_ / "mappack.dat", dir_ / "mappack.bak");
    Frames(1);
    TurnWith(kKeyRight);
    Press(kKeyReturn);
    EXPECT_EQ((std::tuple{LiveSlots(), g_playerTeam}), std::make_tuple(Slots{kTitleSlot}, 1)) << "the team is set";

    std::filesystem::rename(dir_ / "mappack.bak", dir_ / "mappack.dat");
    Press(kKeyReturn);
    Frames(1);
    TurnWith(kKeyLeft);
    Press(kKeyZ);
    EXPECT_FALSE(Heard(0) || Heard(4)) << "confirming is silent";
    EXPECT_EQ(g_playerTeam, 2);
    const Slots live = LiveSlots();
    EXPECT_TRUE(!std::count(live.begin(), live.end(), 152) && std::count(live.begin(), live.end(), 100) &&
                std::count(live.begin(), live.end(), 2))
        << "the turns began on the board";
    // The pieces were placed for that team: it leads the turn list under the player's hand.
    const BoardPiece* first = TurnControllerWork()->turnList[0];
    ASSERT_NE(first, nullptr);
    EXPECT_EQ((std::tuple{first->teamId, first->controller}), std::make_tuple(2, kControllerPlayer));
}

class GalleryTest : public FrontendRun {
protected:
    void SetUp() override
    {
        FrontendRun::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        // Entry 6: left column, fourth row.
        for (int i = 0; i < 3; ++i)
            Press(kKeyDown);
        Press(kKeyReturn);
        ASSERT_EQ(g_tasks[164].alive, 1);
    }
    static GalleryWork* Work() { return TaskWork<GalleryWork>(&g_tasks[164]); }
};

TEST_F(GalleryTest, OpensWithModelOneInFrontAndLeftTurnsFourteenFramesToTheLast)
{
    // Opened by the key press two frames ago: the first frame only installed the input state.
    const GalleryWork* work = Work();
    EXPECT_EQ((std::tuple{g_tasks[164].kind, work->count, work->selected, work->turnStep}),
              std::make_tuple(154, 25, 0, 1.0f));
    for (auto [model, angle] : {std::pair{0, 270.0f}, {1, 284.4f}, {7, 10.8f}, {24, 255.6f}})
        EXPECT_NEAR(work->ringAngles[model], angle, 1e-3f) << "spread 14.4 degrees apart: " << model;
    EXPECT_TRUE(work->ringRadii[0] == 12.0f && work->ringRadii[1] == 10.0f) << "moving out a unit a frame";

    // Every model is drawn, the caption, the arrows and the counter "1 / 25".
    Frames(1);
    EXPECT_FALSE(plat::LastRecordedFrame().MeshDraws().empty());
    EXPECT_TRUE(Drawn(0, 0, {838, 313, 1042, 338}) && Drawn(32, 400, {519, 675, 551, 707}) &&
                Drawn(576, 400, {519, 641, 551, 673}));
    EXPECT_TRUE(Drawn(276, 460, {787, 1, 798, 22}) && Drawn(310, 459, {1022, 63, 1033, 85})) << "a tall 1, the slash";
    EXPECT_TRUE(Drawn(325, 460, {800, 1, 816, 22}) && Drawn(342, 460, {857, 1, 873, 22})) << "the total, 25";
    EXPECT_NEAR(CameraDistance(), std::sqrt(5.0f * 5.0f + 40.0f * 40.0f), 1e-3f) << "the eye at (0, 5, -40)";

    HeadlessSetKeys(1u << kKeyLeft);
    Frames(1);
    HeadlessSetKeys(0);
    EXPECT_EQ((std::tuple{Work()->selected, Work()->stateProc, Work()->ringAngles[24]}),
              std::make_tuple(24, TurnGalleryForward, 256.0f))
        << "the angles rounded at the key";
    int frames = 0;
    for (; Work()->stateProc == TurnGalleryForward && frames < 40; ++frames)
        Frames(1);
    EXPECT_EQ(frames, 14);
    EXPECT_EQ((std::vector<float>{Work()->ringAngles[24], Work()->ringAngles[0], Work()->ringRadii[24],
                                  Work()->ringRadii[0]}),
              (std::vector<float>{270, 284, 25, 10}));
    Frames(1);
    // "25 / 25": the selected model's number starts at 276, the total at 325.
    for (float x : {276.0f, 325.0f})
        EXPECT_TRUE(Drawn(x, 460, {800, 1, 816, 22}) && Drawn(x + 17, 460, {857, 1, 873, 22})) << x;
}

TEST_F(GalleryTest, TwentyFiveRightsBringTheFirstModelBackAndEscapeLeaves)
{
    for (int i = 0; i < 25; ++i) {
        Press(kKeyRight);
        Frames(16);
        ASSERT_TRUE(Heard(4) && Work()->stateProc == RunGalleryIdle) << "turn " << i;
    }
    EXPECT_TRUE(Work()->selected == 0 && Work()->ringAngles[0] == 270.0f);
    // Up and Down do nothing here.
    Press(kKeyUp);
    Press(kKeyDown);
    EXPECT_TRUE(Work()->selected == 0 && !Heard(4));
    Press(kKeyEscape);
    EXPECT_TRUE(Heard(4) && LiveSlots() == std::vector<int>{160});
}

TEST_F(GalleryTest, IdleModelTurnsFromTheEightyThirdFrameAndAKeyStopsIt)
{
    // The screen opened two frames ago: one frame installed the input state, one
    // idle frame has passed. The spin starts in the 83rd idle frame.
    for (auto [frames, angle] : {std::pair{81, 270.0f}, {1, 271.0f}, {89, 360.0f}, {1, 1.0f}}) {
        Frames(frames);
        EXPECT_FLOAT_EQ(Work()->spinAngle, angle);
    }
    Press(kKeyRight);
    EXPECT_TRUE(Work()->spinAngle == 270.0f && Work()->idleFrames == 0);
}

} // namespace
