// The title menu and the screens it opens that are not a race: the quit dialog, the
// picture screen, stage select and the options (rows, working copies, confirmation,
// music and the display change that rebuilds the graphics device), driven with scripted
// keys through a headless run.
#include "test_frontend_fixture.h"
#include <tuple>

#include "board/task_table.h"
#include "board/world.h"
#include "engine/config.h"
#include "engine/graphics.h"
#include "frontend/interface.h"
#include "frontend/options.h"
#include "frontend/picture_stage.h"
#include "frontend/title.h"

namespace {

using Slots = std::vector<int>;

const TitleMenu* Title()
{
    return g_tasks[kTitleSlot].alive ? TaskWork<TitleMenu>(&g_tasks[kTitleSlot]) : nullptr;
}
const ConfirmDialog* Dialog()
{
    return TaskWork<ConfirmDialog>(&g_tasks[kConfirmDialogSlot]);
}

int g_refusedCreations = 0;
int g_creationsToRefuse = 0;

// A creation that fails the next g_creationsToRefuse attempts the way a real one
// can: after the device itself was made (as when a texture cannot be created).
int RefusingCreation(void* window)
{
    const int created = InitGraphics(window);
    if (g_creationsToRefuse == 0)
        return created;
    --g_creationsToRefuse;
    ++g_refusedCreations;
    return 0;
}

} // namespace

using TitleMenuTest = FrontendRun;

TEST_F(TitleMenuTest, StartsAloneAndDrawsTheMenuWhereItBelongs)
{
    EXPECT_EQ(LiveSlots(), Slots{kTitleSlot});
    ASSERT_TRUE(Title() && Title()->entry == 0 && plat::BufferPlaying(g_music[0])) << "with its music";

    EXPECT_TRUE(Drawn(0, 0, {1407, 1567, 2047, 2047}) && Drawn(0, 464, {0, 630, 131, 643}) &&
                Drawn(136, 200, {1010, 1127, 1378, 1249}));
    EXPECT_TRUE(Drawn(113, 4, {1561, 476, 1976, 645})) << "logo centred: (640 - 415) / 2 rounds to 113";
    // Labels centred in their 184-wide cells (left at 138 or 321), halves rounded up.
    EXPECT_TRUE(Drawn(163, 202, {370, 631, 505, 657}) && Drawn(204, 262, {769, 348, 822, 374}) &&
                Drawn(332, 292, {846, 537, 1009, 564}));
    // Every entry's label in its own cell, entry by entry (column, row = entry % 2, entry / 2).
    const SpriteRect labels[8] = {{370, 631, 505, 657}, {370, 659, 503, 685}, {768, 38, 903, 63},
                                  {768, 66, 898, 92},   {769, 348, 822, 374}, {1063, 363, 1198, 390},
                                  {769, 378, 848, 403}, {846, 537, 1009, 564}};
    const float labelX[8] = {163, 347, 163, 348, 204, 346, 191, 332};
    for (int e = 0; e < 8; ++e)
        EXPECT_TRUE(Drawn(labelX[e], 202.0f + 30.0f * float(e / 2), labels[e])) << "entry " << e;
    EXPECT_TRUE(Drawn(138, 202, {370, 709, 551, 737}) && DrawnFrom({370, 709, 551, 737}).size() == 1u);
    // The labels lie over the panel, the panel over the picture.
    EXPECT_EQ(Sprites().back().u0 * 2048.0f, 846.0f);

    // Opening the title again while it runs changes nothing, its music plays on.
    Press(kKeyDown);
    plat::SetBufferPosition(g_music[0], 1000);
    EXPECT_EQ(OpenTitleScreen(), 0);
    EXPECT_EQ((std::tuple{Title()->entry, plat::BufferPosition(g_music[0])}), std::make_tuple(2, 1000u));
}

TEST_F(TitleMenuTest, CursorWrapsTakesTheFirstKeyInOrderAndEveryMoveSounds)
{
    const struct {
        uint32_t keys;
        int entry;
    } steps[] = {
        {1u << kKeyRight, 1},
        {1u << kKeyRight, 0},
        {1u << kKeyLeft, 1},
        {1u << kKeyLeft, 0}, // columns wrap
        {1u << kKeyUp, 6},
        {1u << kKeyDown, 0},
        {1u << kKeyDown, 2},
        {1u << kKeyDown, 4}, // rows wrap
        {1u << kKeyRight, 5},
        {1u << kKeyDown, 7},
        {1u << kKeyDown, 1},
        {1u << kKeyUp, 7},
        {1u << kKeyRight | 1u << kKeyDown, 6},  // Right is tested before Down
        {1u << kKeyDown | 1u << kKeyReturn, 0}, // a move wins over a confirmation
    };
    for (const auto& step : steps) {
        Press(step.keys);
        ASSERT_NE(Title(), nullptr);
        EXPECT_TRUE(Title()->entry == step.entry && step.entry == Title()->column + 2 * Title()->row && Heard(0))
            << "after keys " << step.keys << ": " << Title()->entry;
    }
    Press(kKeyUp);
    EXPECT_TRUE(Drawn(138, 292, {370, 709, 551, 737}) && DrawnFrom({370, 709, 551, 737}).size() == 1u)
        << "the bar follows the cursor: entry 6 is column 0, row 3";
    Press(kKeyEscape);
    EXPECT_TRUE(LiveSlots() == Slots{kTitleSlot} && Title()->entry == 6 && !Heard(0)) << "Escape does nothing";
}

TEST_F(TitleMenuTest, QuitDialogAnswersNoToAFreshTitleAndYesToShutdown)
{
    Press(kKeyRight);
    Press(kKeyZ); // Z confirms like Return
    ASSERT_EQ(LiveSlots(), Slots{kConfirmDialogSlot});
    ASSERT_TRUE(Dialog() && Dialog()->answer == 0);
    EXPECT_EQ(DrawnFrom({404, 596, 436, 628}).size(), 300u) << "20 x 15 tiles";
    EXPECT_TRUE(Drawn(175, 120, {553, 566, 843, 737}) && Drawn(259, 128, {642, 430, 764, 450}) &&
                Drawn(291, 192, {642, 480, 700, 499}));
    EXPECT_TRUE(Drawn(301, 224, {702, 480, 741, 498})) << "(640 - 39) / 2 = 300.5 rounds up";
    EXPECT_TRUE(Drawn(183, 192, {438, 596, 449, 617}) && DrawnFrom({438, 596, 449, 617}).size() == 1u)
        << "at the panel's left + 8";

    for (auto [key, answer] : {std::pair{kKeyDown, 1}, {kKeyRight, 0}, {kKeyUp, 1}, {kKeyLeft, 0}, {kKeyLeft, 1}}) {
        Press(key);
        EXPECT_TRUE(Dialog()->answer == answer && Heard(0)) << answer;
    }
    EXPECT_TRUE(Drawn(183, 224, {438, 596, 449, 617})) << "the cursor on yes";
    Press(kKeyEscape);
    EXPECT_TRUE(LiveSlots() == Slots{kConfirmDialogSlot} && !Heard(0)) << "Escape does nothing";

    // No: a fresh title, its music from the start.
    Press(kKeyUp);
    plat::SetBufferPosition(g_music[0], 1000);
    Press(kKeyReturn);
    EXPECT_TRUE(Heard(0) && LiveSlots() == Slots{kTitleSlot} && Title()->entry == 0 && g_running == 1);
    EXPECT_TRUE(plat::BufferPlaying(g_music[0]) && plat::BufferPosition(g_music[0]) == 0u);

    // Yes: the rest of that update pass still runs (the answer sounds), the game shuts
    // down at the end of the frame and writes the history.
    Press(kKeyRight);
    Press(kKeyReturn);
    Press(kKeyDown);
    HeadlessSetKeys(1u << kKeyZ);
    HeadlessRunFrames(1);
    EXPECT_TRUE(g_running == 0 && !HeadlessIsRunning() && g_tasks == nullptr && g_soundRequests[0].requested);
    EXPECT_EQ(test_support::ReadFileBytes(dir_ / "save.dat").size(), 520u);
}

class ScreensTest : public FrontendRun {
protected:
    // Title entry 4 (column 0, row 2) opens the picture, entry 7 (column 1, row 3) stage select.
    void Open(int entry)
    {
        for (int i = 0; i < entry % 2; ++i)
            Press(kKeyRight);
        for (int i = 0; i < entry / 2; ++i)
            Press(kKeyDown);
        Press(kKeyReturn);
    }
    // The stage number and the count at y 240, in medium digits (17 px high, from atlas
    // row 343; 1, 2 and 3 start at atlas x 954, 961 and 973).
    static std::vector<plat::RecordedSprite> Digits()
    {
        std::vector<plat::RecordedSprite> found;
        for (const plat::RecordedSprite& s : Sprites())
            if (Near(s.v0 * 2048.0f, 343.0f) && Near(s.v1 * 2048.0f, 360.0f) && Near(s.top, 240))
                found.push_back(s);
        return found;
    }
    static float StageShown() { return Digits().empty() ? -1.0f : std::round(Digits()[0].u0 * 2048.0f); }
};

TEST_F(ScreensTest, PictureFillsTheScreenFromTheFontTextureUntilReturnOrZ)
{
    Open(4);
    ASSERT_EQ(LiveSlots(), Slots{kPictureSlot});
    ASSERT_EQ(Sprites().size(), 1u);
    // The picture lies below the glyphs in the font texture: texels (0, 513) to (640, 993).
    EXPECT_TRUE(Drawn(0, 0, {0.0f, 513.0f, 640.0f, 993.0f}, g_fontTexture, 1024.0f));
    EXPECT_EQ(std::make_pair(Sprites()[0].right, Sprites()[0].bottom), std::make_pair(640.0f, 480.0f));
    for (KeySlotId key : {kKeyEscape, kKeyRight, kKeyLeft, kKeyUp, kKeyDown, kKeySpace}) {
        Press(key);
        EXPECT_TRUE(LiveSlots() == Slots{kPictureSlot} && !Heard(0)) << "key " << key;
    }
    Press(kKeyZ);
    EXPECT_TRUE(LiveSlots() == Slots{kTitleSlot} && !Heard(0) && plat::BufferPlaying(g_music[0])) << "closed silently";
}

TEST_F(ScreensTest, StageSelectWrapsBothWaysAndKeepsTheStageForTheNextRace)
{
    Open(7);
    ASSERT_EQ(LiveSlots(), Slots{kStageSelectSlot});
    EXPECT_EQ(g_stageLayers.stageNumber, 1) << "every start begins on stage 1";
    EXPECT_TRUE(Drawn(236, 100, {1212, 1251, 1381, 1283})) << "(640 - 169) / 2 = 235.5 rounds up";
    EXPECT_TRUE(Drawn(162, 200, {1010, 943, 1326, 1053}) && Drawn(232, 240, {1006, 363, 1058, 380}) &&
                Drawn(378, 239, {873, 227, 884, 247}));
    const auto digits = Digits();
    ASSERT_EQ(digits.size(), 2u) << "the stage and the count";
    EXPECT_EQ((std::vector<float>{digits[0].left, digits[1].left, std::round(digits[1].u0 * 2048.0f)}),
              (std::vector<float>{348, 408, 973}))
        << "the count, 3";

    const struct {
        KeySlotId key;
        int32_t stage;
        float digit;
    } steps[] = {{kKeyRight, 2, 961}, {kKeyRight, 3, 973}, {kKeyRight, 1, 954}, {kKeyLeft, 3, 973}, {kKeyUp, 2, 961},
                 {kKeyUp, 1, 954},    {kKeyDown, 2, 961},  {kKeyDown, 3, 973},  {kKeyDown, 1, 954}, {kKeyLeft, 3, 973}};
    for (const auto& step : steps) {
        Press(step.key);
        EXPECT_TRUE(g_stageLayers.stageNumber == step.stage && Heard(0) && StageShown() == step.digit)
            << "after key " << step.key;
    }
    Press(kKeyEscape);
    EXPECT_EQ((std::tuple{LiveSlots(), g_stageLayers.stageNumber}), std::make_tuple(Slots{kStageSelectSlot}, 3));
    // Return in the same frame as Right closes without changing the stage.
    Press((1u << kKeyReturn) | (1u << kKeyRight));
    EXPECT_TRUE(Heard(0)) << "closing stage select sounds";
    EXPECT_EQ((std::tuple{LiveSlots(), g_stageLayers.stageNumber}), std::make_tuple(Slots{kTitleSlot}, 3));
    Open(7);
    EXPECT_EQ(StageShown(), 973.0f) << "reopened on the stage chosen before";
}

class OptionsTest : public FrontendRun {
protected:
    void SetUp() override
    {
        FrontendRun::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        Open();
    }
    void TearDown() override
    {
        g_createDisplayDevice = InitGraphics;
        g_creationsToRefuse = g_refusedCreations = 0;
        FrontendRun::TearDown();
    }
    // Title entry 2; a device that was not rebuilt keeps the lighting this sets (a
    // fresh one comes with it off).
    void Open()
    {
        Press(kKeyDown);
        Press(kKeyReturn);
        ASSERT_EQ(LiveSlots(), Slots{kOptionsSlot});
        g_d3dDevice->SetRenderState(plat::RenderState::Lighting, 1);
    }
    static bool DeviceRebuilt() { return g_d3dDevice->GetRenderState(plat::RenderState::Lighting) == 0; }
    static const OptionsWork* Work() { return TaskWork<OptionsWork>(&g_tasks[kOptionsSlot]); }
    void Flip(int row)
    {
        while (Work()->cursor != row)
            Press(kKeyDown);
        Press(kKeyRight);
    }
};

TEST_F(OptionsTest, DrawsEveryRowAndFlipsOnlyTheCopyUntilConfirmed)
{
    EXPECT_EQ(DrawnFrom({404, 596, 436, 628}).size(), 300u);
    EXPECT_TRUE(Drawn(250, 50, kOptionsTitleRect)) << "(640 - 141) / 2 = 249.5 rounds up";
    EXPECT_TRUE(Drawn(92, 100, kOptionsPanelRect) && Drawn(104, 453, kOptionsHelpRect));
    // Each row's label and its "on" image: windowed, vsync, 24-bit depth, music, sound
    // effects, battle scene.
    const SpriteRect rows[6][2] = {
        {{515, 499, 615, 518}, {515, 541, 614, 560}}, {{619, 543, 755, 563}, {708, 408, 745, 427}},
        {{370, 689, 460, 706}, {758, 478, 837, 496}}, {{662, 500, 736, 520}, {759, 520, 795, 540}},
        {{662, 521, 746, 541}, {759, 520, 795, 540}}, {{878, 393, 1049, 413}, {940, 415, 979, 435}},
    };
    for (int row = 0; row < kOptionRowCount; ++row) {
        EXPECT_TRUE(Drawn(140, 108.0f + 25.0f * float(row), rows[row][0])) << row;
        EXPECT_TRUE(Drawn(360, 108.0f + 25.0f * float(row), rows[row][1])) << "every setting starts on: " << row;
    }
    EXPECT_TRUE(Drawn(100, 108, {438, 596, 449, 617}) && DrawnFrom({438, 596, 449, 617}).size() == 1u);

    for (auto [key, cursor] : {std::pair{kKeyUp, 5}, {kKeyDown, 0}, {kKeyDown, 1}}) {
        Press(key);
        EXPECT_TRUE(Work()->cursor == cursor && Heard(0)) << cursor;
    }
    Press(kKeyLeft); // Left flips as Right does
    EXPECT_TRUE(Heard(0) && Work()->copies[1] == 0 && g_gameConfig.vsyncOption == 1)
        << "not applied before confirmation";
    EXPECT_TRUE(Drawn(360, 133, {708, 386, 746, 405}) && Drawn(100, 133, {438, 596, 449, 617})) << "vsync off";
    Press(kKeyEscape);
    EXPECT_TRUE(!Heard(0) && LiveSlots() == Slots{kOptionsSlot}) << "there is no leaving without confirming";
    Press((1u << kKeyUp) | (1u << kKeyRight));
    EXPECT_TRUE(Work()->cursor == 0 && Work()->copies[0] == 1) << "Up is tested first";
}

TEST_F(OptionsTest, SoundMusicAndBattleRowsApplyWithoutTouchingTheDevice)
{
    // Flipped twice is unchanged: no rebuild, the title music starts anew.
    plat::SetBufferPosition(g_music[0], 1000);
    Flip(3);
    Flip(3);
    Press(kKeyZ);
    EXPECT_TRUE(Heard(0) && LiveSlots() == Slots{kTitleSlot} && !DeviceRebuilt());
    EXPECT_TRUE(g_gameConfig.musicOn == 1 && plat::BufferPlaying(g_music[0]) && plat::BufferPosition(g_music[0]) == 0u);

    Open();
    for (int row : {3, 4, 5})
        Flip(row);
    Press(kKeyReturn);
    // music, effects, battle animation off; windowed, vsync, depth and colour depth (no row has it) kept
    EXPECT_EQ((std::vector<int>{g_gameConfig.musicOn, g_gameConfig.soundEffectsOn, g_gameConfig.battleAnimation,
                                g_gameConfig.windowedOption, g_gameConfig.vsyncOption, g_gameConfig.depth24Option,
                                g_gameConfig.colour32Option}),
              (std::vector<int>{0, 0, 0, 1, 1, 1, 1}));
    EXPECT_TRUE(LiveSlots() == Slots{kTitleSlot} && !DeviceRebuilt());
    for (plat::SoundBuffer* track : g_music)
        EXPECT_FALSE(plat::BufferPlaying(track)) << "music off, the title's too";

    // The screen reopens with the stored values.
    Open();
    EXPECT_TRUE(Work()->copies[3] == 0 && Drawn(360, 208, {759, 542, 840, 562})) << "sound effects off";
}

// Each row alone: flipped, it alone shows its "off" image; confirmed, it alone turns
// its own setting off (windowed, vsync, 24-bit depth, music, sound effects, battle
// scene), and music plays or stops by the music row only.
TEST_F(OptionsTest, EachRowDrivesAndShowsItsOwnSetting)
{
    const SpriteRect on[6] = {{515, 541, 614, 560}, {708, 408, 745, 427}, {758, 478, 837, 496},
                              {759, 520, 795, 540}, {759, 520, 795, 540}, {940, 415, 979, 435}};
    const SpriteRect off[6] = {{516, 521, 655, 539}, {708, 386, 746, 405}, {758, 499, 836, 517},
                               {759, 542, 840, 562}, {759, 542, 840, 562}, {878, 415, 938, 435}};
    GameConfig& c = g_gameConfig;
    for (int flipped = 0; flipped < kOptionRowCount; ++flipped) {
        SCOPED_TRACE(flipped);
        if (flipped > 0) {
            c.windowedOption = c.vsyncOption = c.depth24Option = c.musicOn = c.soundEffectsOn = c.battleAnimation = 1;
            Open();
        }
        Flip(flipped);
        for (int row = 0; row < kOptionRowCount; ++row)
            EXPECT_TRUE(Drawn(360, 108.0f + 25.0f * float(row), row == flipped ? off[row] : on[row])) << "row " << row;
        Press(kKeyReturn);
        std::vector<int> expected(6, 1);
        expected[flipped] = 0;
        EXPECT_EQ((std::vector<int>{c.windowedOption, c.vsyncOption, c.depth24Option, c.musicOn, c.soundEffectsOn,
                                    c.battleAnimation}),
                  expected);
        EXPECT_EQ(plat::BufferPlaying(g_music[0]), flipped != 3);
    }
}

TEST_F(OptionsTest, DisplayRowsRebuildTheDeviceAndARefusedModeFallsBackToTheOneThatWorked)
{
    for (int row = 0; row < 4; ++row) {
        SCOPED_TRACE(row);
        if (row > 0)
            Open();
        if (row == 3)
            g_createDisplayDevice = RefusingCreation, g_creationsToRefuse = 1;
        Flip(row % 3); // full screen, vsync off, 16-bit depth; then back to windowed, refused
        Press(kKeyReturn);
        EXPECT_TRUE(DeviceRebuilt() && g_uiAtlas != nullptr && g_running == 1 && HeadlessIsRunning());
        ASSERT_EQ(LiveSlots(), Slots{kTitleSlot});
        Frames(1);
        EXPECT_TRUE(Drawn(136, 200, {1010, 1127, 1378, 1249})) << "drawn with the new device";
    }
    EXPECT_EQ((std::vector<int>{g_refusedCreations, g_gameConfig.windowedOption, g_gameConfig.vsyncOption,
                                g_gameConfig.depth24Option}),
              (std::vector<int>{1, 0, 0, 0}))
        << "one refusal, still full screen";

    // Neither the new mode nor the old one: nothing half-built is left to draw on.
    g_creationsToRefuse = 2;
    g_gameConfig.depth24Option = 1; // as confirmed on the screen
    ApplyDisplaySettings();
    EXPECT_TRUE(g_refusedCreations == 3 && !HasGraphicsDevice());
    EXPECT_EQ(g_gameConfig.depth24Option, 0) << "the settings that worked are back";
    EXPECT_TRUE(g_running == 0 && HeadlessIsRunning()) << "the rest of the frame still runs";
    HeadlessRunFrames(1);
    EXPECT_TRUE(!HeadlessIsRunning() && std::filesystem::exists(dir_ / "save.dat")) << "shut down, the history written";
}

// Opened from the in-game command menu (which freezes the board and sees it resume, in
// its own test): no title screen parts are drawn, and confirming plays the board's
// track, not the title's, and opens no title.
TEST_F(FrontendRun, InGameOptionsDrawNoTitleBackgroundAndConfirmWithTheBoardTrack)
{
    KillAllTasks();
    ASSERT_EQ(CreateOptionsScreen(100.0f, 1), 1);
    EXPECT_EQ(CreateOptionsScreen(100.0f, 1), 0) << "slot 162 is taken";
    Frames(2);
    EXPECT_TRUE(DrawnFrom({404, 596, 436, 628}).empty() && DrawnFrom({767, 94, 908, 125}).empty() &&
                Drawn(92, 100, {1590, 1394, 2047, 1565}))
        << "no tiles nor title; the panel at (640 - 457) / 2 = 91.5 rounded up";
    Press(kKeyReturn);
    EXPECT_TRUE(LiveSlots().empty());
    for (int track = 0; track < 4; ++track)
        EXPECT_EQ(plat::BufferPlaying(g_music[track]), track == 1) << track;
}
