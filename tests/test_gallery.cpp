// The model gallery in the running game: opened from the title's gallery entry, the
// ring turns a whole degree a frame to the next model, the selection moves out, and
// after a while without keys the selected model turns on the spot.
#include "frontend/gallery.h"
#include <tuple>
#include "test_frontend_fixture.h"

namespace {

class GalleryTest : public FrontendRun {
protected:
    void SetUp() override
    {
        FrontendRun::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        // Entry 6: left column, fourth row.
        for (int i = 0; i < 3; ++i) Press(kKeyDown);
        Press(kKeyReturn);
        ASSERT_EQ(g_tasks[164].alive, 1);
    }
    static GalleryWork* Work() { return TaskWork<GalleryWork>(&g_tasks[164]); }
};

TEST_F(GalleryTest, OpensWithTheRingSpreadAndModelOneInFront)
{
    // Opened by the key press two frames ago: the first frame only installed the input state.
    const GalleryWork* work = Work();
    EXPECT_EQ((std::tuple{g_tasks[164].kind, work->count, work->selected}), std::make_tuple(154, 25, 0));
    EXPECT_FLOAT_EQ(work->turnStep, 1.0f);
    EXPECT_FLOAT_EQ(work->ringAngles[0], 270.0f);
    EXPECT_NEAR(work->ringAngles[1], 284.4f, 1e-3f);
    EXPECT_NEAR(work->ringAngles[6], 356.4f, 1e-3f);
    EXPECT_NEAR(work->ringAngles[7], 10.8f, 1e-3f);
    EXPECT_NEAR(work->ringAngles[24], 255.6f, 1e-3f);
    EXPECT_FLOAT_EQ(work->ringRadii[0], 12.0f) << "moving out a unit a frame";
    EXPECT_FLOAT_EQ(work->ringRadii[1], 10.0f);

    // Every model is drawn, the caption, the arrows and the counter "1 / 25".
    Frames(1);
    EXPECT_EQ(plat::LastRecordedFrame().MeshDraws().empty(), false);
    EXPECT_TRUE(Drawn(0, 0, {838, 313, 1042, 338}));
    EXPECT_TRUE(Drawn(32, 400, {519, 675, 551, 707}));
    EXPECT_TRUE(Drawn(576, 400, {519, 641, 551, 673}));
    EXPECT_TRUE(Drawn(276, 460, {787, 1, 798, 22})) << "tall 1";
    EXPECT_TRUE(Drawn(310, 459, {1022, 63, 1033, 85}));
}

TEST_F(GalleryTest, LeftFromTheFirstSelectsTheLastAndTurnsFourteenFrames)
{
    HeadlessSetKeys(1u << kKeyLeft);
    Frames(1);
    HeadlessSetKeys(0);
    EXPECT_EQ((std::tuple{Work()->selected, Work()->proc}), std::make_tuple(24, TurnGalleryForward));
    EXPECT_FLOAT_EQ(Work()->ringAngles[24], 256.0f) << "rounded at the key";
    int frames = 0;
    while (Work()->proc == TurnGalleryForward && frames < 40) {
        Frames(1);
        ++frames;
    }
    EXPECT_EQ(frames, 14);
    EXPECT_FLOAT_EQ(Work()->ringAngles[24], 270.0f);
    EXPECT_FLOAT_EQ(Work()->ringAngles[0], 284.0f);
    EXPECT_FLOAT_EQ(Work()->ringRadii[24], 25.0f);
    EXPECT_FLOAT_EQ(Work()->ringRadii[0], 10.0f);
    Frames(1);
    // "25 / 25": the selected model's number starts at 276, the total at 325.
    EXPECT_TRUE(Drawn(276, 460, {800, 1, 816, 22}) && Drawn(293, 460, {857, 1, 873, 22}));
    EXPECT_TRUE(Drawn(325, 460, {800, 1, 816, 22}) && Drawn(342, 460, {857, 1, 873, 22}));
}

TEST_F(GalleryTest, TwentyFiveRightsBringTheFirstModelBack)
{
    for (int i = 0; i < 25; ++i) {
        Press(kKeyRight);
        EXPECT_TRUE(Heard(4));
        Frames(16);
        ASSERT_EQ(Work()->proc, RunGalleryIdle) << "turn " << i;
    }
    EXPECT_EQ(Work()->selected, 0);
    EXPECT_FLOAT_EQ(Work()->ringAngles[0], 270.0f);
    // Up and Down do nothing here.
    Press(kKeyUp);
    Press(kKeyDown);
    EXPECT_EQ(Work()->selected, 0);
    EXPECT_FALSE(Heard(4));
}

TEST_F(GalleryTest, IdleModelTurnsFromTheEightyThirdFrameAndAKeyStopsIt)
{
    // The screen opened two frames ago: one frame installed the input state, one
    // idle frame has passed. The spin starts in the 83rd idle frame.
    Frames(81);
    EXPECT_FLOAT_EQ(Work()->spinAngle, 270.0f);
    Frames(1);
    EXPECT_FLOAT_EQ(Work()->spinAngle, 271.0f);
    Frames(89);
    EXPECT_FLOAT_EQ(Work()->spinAngle, 360.0f);
    Frames(1);
    EXPECT_FLOAT_EQ(Work()->spinAngle, 1.0f);
    Press(kKeyRight);
    EXPECT_FLOAT_EQ(Work()->spinAngle, 270.0f);
    EXPECT_EQ(Work()->idleFrames, 0);
}

TEST_F(GalleryTest, EscapeReturnAndZGoBackToTheTitleWithSoundFour)
{
    Press(kKeyEscape);
    EXPECT_TRUE(Heard(4));
    EXPECT_EQ(LiveSlots(), std::vector<int>{160});
}

} // namespace
