// The options screen: rows, working copies, confirmation, music and the display
// change that rebuilds the graphics device.
#include "test_frontend_fixture.h"

#include "engine/config.h"
#include "engine/graphics.h"
#include "frontend/options.h"
#include "frontend/title.h"

namespace {

using Slots = std::vector<int>;

int g_refusedCreations = 0;
int g_creationsToRefuse = 0;

// A creation that fails the next g_creationsToRefuse attempts the way a real one
// can: after the device itself was made (as when a texture cannot be created).
int RefusingCreation(void* window)
{
    const int created = InitGraphics(window);
    if (g_creationsToRefuse > 0) {
        --g_creationsToRefuse;
        ++g_refusedCreations;
        return 0;
    }
    return created;
}

} // namespace

class OptionsTest : public FrontendRun {
protected:
    void SetUp() override
    {
        FrontendRun::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        Press(kKeyDown);   // entry 2: options
        Press(kKeyReturn);
        ASSERT_EQ(LiveSlots(), Slots{kOptionsSlot});
    }
    void TearDown() override
    {
        g_createDisplayDevice = InitGraphics;
        g_creationsToRefuse = g_refusedCreations = 0;
        FrontendRun::TearDown();
    }

    static const OptionsWork* Work()
    {
        return g_tasks[kOptionsSlot].alive ? TaskWork<OptionsWork>(&g_tasks[kOptionsSlot]) : nullptr;
    }

    // A fresh device comes with lighting off; a device that was not rebuilt keeps
    // this mark.
    static void MarkDevice() { g_d3dDevice->SetRenderState(plat::RenderState::Lighting, 1); }
    static bool DeviceRebuilt() { return g_d3dDevice->GetRenderState(plat::RenderState::Lighting) == 0; }

    static float RowY(int row) { return 100.0f + 8.0f + 25.0f * static_cast<float>(row); }

    void Flip(int row)
    {
        while (Work()->cursor != row) Press(kKeyDown);
        Press(kKeyRight);
    }
};

TEST_F(OptionsTest, DrawsEveryRowWithItsValueOnTheTiledBackground)
{
    EXPECT_EQ(g_tasks[kOptionsSlot].kind, kOptionsKind);
    EXPECT_EQ(DrawnFrom(kBackgroundTileRect).size(), 300u);
    EXPECT_TRUE(Drawn(250, 50, kOptionsTitleRect)) << "(640 - 141) / 2 = 249.5 rounds up";
    EXPECT_TRUE(Drawn(92, 100, kOptionsPanelRect));
    EXPECT_TRUE(Drawn(104, 453, kOptionsHelpRect));
    for (int row = 0; row < kOptionRowCount; ++row) {
        SCOPED_TRACE(row);
        EXPECT_TRUE(Drawn(140, RowY(row), g_optionRows[row].label));
        EXPECT_TRUE(Drawn(360, RowY(row), g_optionRows[row].value[1])) << "every setting starts on";
    }
    const auto cursors = DrawnFrom(kMenuCursorRect);
    ASSERT_EQ(cursors.size(), 1u);
    EXPECT_TRUE(Drawn(100, RowY(0), kMenuCursorRect));
}

TEST_F(OptionsTest, CursorWrapsAndFlippingShowsTheCopyButChangesNothingYet)
{
    Press(kKeyUp);
    EXPECT_EQ(Work()->cursor, 5);
    EXPECT_TRUE(Heard(0));
    Press(kKeyDown);
    EXPECT_EQ(Work()->cursor, 0);
    Press(kKeyDown);
    Press(kKeyLeft); // Left flips as Right does
    EXPECT_TRUE(Heard(0));
    EXPECT_EQ(Work()->copies[1], 0);
    EXPECT_EQ(g_vsyncOption, 1) << "not applied before confirmation";
    EXPECT_TRUE(Drawn(360, RowY(1), g_optionRows[1].value[0]));
    EXPECT_TRUE(Drawn(100, RowY(1), kMenuCursorRect));

    Press(kKeyEscape);
    EXPECT_FALSE(Heard(0));
    EXPECT_EQ(LiveSlots(), Slots{kOptionsSlot}) << "there is no leaving without confirming";
    Press((1u << kKeyUp) | (1u << kKeyRight));
    EXPECT_EQ(Work()->cursor, 0) << "Up is tested first";
    EXPECT_EQ(Work()->copies[0], 1);
}

TEST_F(OptionsTest, ConfirmingUnchangedRestartsTheMusicWithoutRebuildingTheDevice)
{
    MarkDevice();
    plat::SetBufferPosition(g_music[0], 1000);
    ASSERT_EQ(plat::BufferPosition(g_music[0]), 1000u);
    Flip(3);
    Flip(3); // flipped twice: unchanged
    Press(kKeyZ);
    EXPECT_TRUE(Heard(0));
    EXPECT_EQ(LiveSlots(), Slots{kTitleSlot});
    EXPECT_FALSE(DeviceRebuilt());
    EXPECT_TRUE(g_musicOn == 1 && plat::BufferPlaying(g_music[0]));
    EXPECT_EQ(plat::BufferPosition(g_music[0]), 0u);
}

TEST_F(OptionsTest, SoundMusicAndBattleRowsApplyWithoutTouchingTheDevice)
{
    MarkDevice();
    for (int row : {3, 4, 5}) Flip(row);
    Press(kKeyReturn);
    // music, effects, battle animation off; windowed, vsync, depth and colour depth (no row has it) kept
    EXPECT_EQ((std::vector<int>{g_musicOn, g_soundEffectsOn, g_battleAnimation, g_windowedOption, g_vsyncOption,
                                g_depth24Option, g_colour32Option}),
              (std::vector<int>{0, 0, 0, 1, 1, 1, 1}));
    EXPECT_FALSE(DeviceRebuilt());
    for (plat::SoundBuffer* track : g_music) EXPECT_FALSE(plat::BufferPlaying(track)) << "music stopped at once";
    EXPECT_EQ(LiveSlots(), Slots{kTitleSlot});
    EXPECT_FALSE(plat::BufferPlaying(g_music[0])) << "the title does not start music that is off";

    // The screen reopens with the stored values.
    Press(kKeyDown);
    Press(kKeyReturn);
    ASSERT_NE(Work(), nullptr);
    EXPECT_EQ(Work()->copies[3], 0);
    EXPECT_TRUE(Drawn(360, RowY(4), g_optionRows[4].value[0]));
}

TEST_F(OptionsTest, EachDisplayRowRebuildsTheDeviceAndTheTitleDrawsAgain)
{
    for (int row = 0; row < 3; ++row) {
        SCOPED_TRACE(row);
        if (row > 0) {
            Press(kKeyDown);
            Press(kKeyReturn);
            ASSERT_NE(Work(), nullptr);
        }
        MarkDevice();
        Flip(row);
        Press(kKeyReturn);
        EXPECT_TRUE(DeviceRebuilt());
        ASSERT_EQ(LiveSlots(), Slots{kTitleSlot});
        EXPECT_NE(g_uiAtlas, nullptr) << "textures reloaded";
        Frames(1);
        EXPECT_TRUE(Drawn(136, 200, kTitleMenuPanelRect)) << "drawn with the new device";
    }
    EXPECT_EQ((std::vector<int>{g_windowedOption, g_vsyncOption, g_depth24Option, g_running}),
              (std::vector<int>{0, 0, 0, 1}));
}

TEST_F(OptionsTest, ARefusedDisplayModeFallsBackToTheOneThatWorked)
{
    g_createDisplayDevice = RefusingCreation;
    g_creationsToRefuse = 1;
    Flip(0); // full screen
    Press(kKeyReturn);
    EXPECT_EQ(g_refusedCreations, 1);
    EXPECT_EQ(g_windowedOption, 1) << "back to windowed";
    EXPECT_TRUE(g_running == 1 && HeadlessIsRunning());
    ASSERT_TRUE(HasGraphicsDevice());
    ASSERT_EQ(LiveSlots(), Slots{kTitleSlot});
    Frames(2);
    EXPECT_TRUE(Drawn(136, 200, kTitleMenuPanelRect));
}

TEST_F(OptionsTest, WhenNoModeWorksNothingHalfBuiltIsLeftAndTheGameEndsAfterTheFrame)
{
    g_createDisplayDevice = RefusingCreation;
    g_creationsToRefuse = 2;
    g_depth24Option = 0; // as confirmed on the screen
    ApplyDisplaySettings();
    EXPECT_EQ(g_refusedCreations, 2);
    EXPECT_FALSE(HasGraphicsDevice()) << "no half-built device to draw on";
    EXPECT_EQ(g_depth24Option, 1) << "the settings that worked are back";
    EXPECT_EQ(g_running, 0);
    EXPECT_TRUE(HeadlessIsRunning()) << "the rest of the frame still runs";

    HeadlessRunFrames(1);
    EXPECT_FALSE(HeadlessIsRunning());
    EXPECT_TRUE(std::filesystem::exists(dir_ / "save.dat")) << "shutdown wrote the history as always";
}

// Opened from the in-game command menu: over the frozen board, which resumes on confirmation.
TEST(OptionsPool, InGameConfirmationResumesTheFrozenTasksInsteadOfTheTitle)
{
    ASSERT_EQ(InitTaskPool(), 1);
    Task* board = CreateTask(2);
    ASSERT_NE(board, nullptr);
    board->alive = 1;
    SetAllTasksMode(kModeFreeze);
    ASSERT_EQ(CreateOptionsScreen(100.0f, kOptionsInGame), 1);
    EXPECT_EQ(CreateOptionsScreen(100.0f, kOptionsInGame), 0) << "slot 162 is taken";
    Task* options = &g_tasks[kOptionsSlot];
    OptionsWork* work = TaskWork<OptionsWork>(options);

    // Confirm by hand: the work procedure clears the alive word as confirmation does.
    work->alive = 0;
    work->procedure = StartOptionsScreen;
    UpdateOptionsScreen(options);
    EXPECT_EQ(options->alive, 0);
    EXPECT_EQ(board->updateEnabled, 1) << "the board runs again";
    EXPECT_EQ(g_tasks[kTitleSlot].alive, 0) << "no title in-game";
    FreeTaskPool();
}

// Opened from the in-game command menu over a running game: no title screen parts are
// drawn, and confirming plays the board's track, not the title's.
TEST_F(FrontendRun, InGameOptionsDrawNoTitleBackgroundAndConfirmWithTheBoardTrack)
{
    KillAllTasks();
    StopAllMusic();
    ASSERT_EQ(CreateOptionsScreen(100.0f, 1), 1);
    Frames(2);
    const SpriteRect tile{404, 596, 436, 628}, title{767, 94, 908, 125}, panel{1590, 1394, 2047, 1565};
    EXPECT_TRUE(DrawnFrom(tile).empty()) << "no tiled background in-game";
    EXPECT_TRUE(DrawnFrom(title).empty()) << "no options title in-game";
    EXPECT_TRUE(Drawn(92, 100, panel)) << "(640 - 457) / 2 = 91.5 rounds up";

    Press(kKeyReturn);
    EXPECT_FALSE(g_tasks[162].alive) << "the options closed";
    EXPECT_FALSE(g_tasks[160].alive) << "no title in-game";
    EXPECT_TRUE(plat::BufferPlaying(g_music[1])) << "the board's track";
    for (int track : {0, 2, 3}) EXPECT_FALSE(plat::BufferPlaying(g_music[track])) << "track " << track;
}
