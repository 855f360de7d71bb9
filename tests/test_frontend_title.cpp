// The title menu and the quit dialog, driven with scripted keys through a headless run.
#include "test_frontend_fixture.h"
#include <tuple>

#include "frontend/title.h"

namespace {

using Slots = std::vector<int>;

float CellX(int entry) { return kTitleCellX[entry % 2]; }
float CellY(int entry) { return kTitleFirstCellY + kTitleCellStepY * static_cast<float>(entry / 2); }
float LabelX(int entry)
{
    const SpriteRect& label = g_titleEntries[entry].label;
    // Drawn at the rounded position: halves go away from zero.
    return std::round(CellX(entry) + (kTitleCellWidth - (label.right - label.left)) / 2.0f);
}

const TitleMenu* Title()
{
    return g_tasks[kTitleSlot].alive ? TaskWork<TitleMenu>(&g_tasks[kTitleSlot]) : nullptr;
}

const ConfirmDialog* Dialog()
{
    return g_tasks[kConfirmDialogSlot].alive ? TaskWork<ConfirmDialog>(&g_tasks[kConfirmDialogSlot]) : nullptr;
}

} // namespace

using TitleMenuTest = FrontendRun;

TEST_F(TitleMenuTest, StartsAsTheOnlyTaskAndDrawsTheMenuWhereItBelongs)
{
    EXPECT_EQ((std::tuple{LiveSlots(), g_tasks[kTitleSlot].kind}), std::make_tuple(Slots{kTitleSlot}, kTitleKind));
    ASSERT_TRUE(Title() && Title()->entry == 0);
    EXPECT_TRUE(plat::BufferPlaying(g_music[0])) << "the title music";

    EXPECT_TRUE(Drawn(0, 0, kTitlePictureRect));
    EXPECT_TRUE(Drawn(113, 4, kTitleLogoRect)) << "logo centred: (640 - 415) / 2 rounds to 113";
    EXPECT_TRUE(Drawn(0, 464, kTitleBottomStripRect));
    EXPECT_TRUE(Drawn(136, 200, kTitleMenuPanelRect));
    for (int entry = 0; entry < kTitleEntryCount; ++entry)
        EXPECT_TRUE(Drawn(LabelX(entry), CellY(entry), g_titleEntries[entry].label)) << "label of entry " << entry;
    EXPECT_EQ(DrawnFrom(kTitleSelectionBarRect).size(), 1u);
    EXPECT_TRUE(Drawn(138, 202, kTitleSelectionBarRect));

    // The panel lies over the picture and the labels over the panel.
    const auto sprites = Sprites();
    ASSERT_GE(sprites.size(), 13u);
    EXPECT_NEAR(sprites.front().u0 * 2048.0f, kTitlePictureRect.left, 0.01f);
    EXPECT_NEAR(sprites.back().u0 * 2048.0f, g_titleEntries[7].label.left, 0.01f);
}

TEST_F(TitleMenuTest, CursorWrapsInBothDirectionsAndEveryMoveSounds)
{
    const struct { KeySlotId key; int entry; } steps[] = {
        {kKeyRight, 1}, {kKeyRight, 0}, {kKeyLeft, 1}, {kKeyLeft, 0},  // columns wrap
        {kKeyUp, 6},    {kKeyDown, 0},  {kKeyDown, 2}, {kKeyDown, 4},  // rows wrap
        {kKeyRight, 5}, {kKeyDown, 7},  {kKeyDown, 1}, {kKeyUp, 7},
    };
    for (const auto& step : steps) {
        Press(step.key);
        ASSERT_NE(Title(), nullptr);
        EXPECT_EQ(Title()->entry, step.entry) << "after key " << step.key;
        EXPECT_EQ(Title()->entry, Title()->column + 2 * Title()->row);
        EXPECT_TRUE(Heard(0));
    }
    // The bar follows the cursor: entry 7 is column 1, row 3.
    EXPECT_EQ(DrawnFrom(kTitleSelectionBarRect).size(), 1u);
    EXPECT_TRUE(Drawn(321, 292, kTitleSelectionBarRect));
}

TEST_F(TitleMenuTest, OnlyTheFirstKeyInOrderActsAndEscapeDoesNothing)
{
    Press((1u << kKeyRight) | (1u << kKeyDown));
    EXPECT_EQ(Title()->entry, 1) << "Right is tested before Down";
    Press((1u << kKeyDown) | (1u << kKeyReturn));
    EXPECT_EQ(Title()->entry, 3) << "a move wins over a confirmation";
    EXPECT_EQ(LiveSlots(), Slots{kTitleSlot});

    Press(kKeyEscape);
    EXPECT_TRUE(LiveSlots() == Slots{kTitleSlot} && Title()->entry == 3 && !Heard(0));
}

TEST_F(TitleMenuTest, EveryEntryOpensItsScreenAloneAndComesBack)
{
    const int opens[kTitleEntryCount] = {152, kConfirmDialogSlot, 162, 166, 170, 169,
                                         164, 171};
    for (int entry = 0; entry < kTitleEntryCount; ++entry) {
        SCOPED_TRACE(entry);
        for (int i = 0; i < entry % 2; ++i) Press(kKeyRight);
        for (int i = 0; i < entry / 2; ++i) Press(kKeyDown);
        ASSERT_EQ(Title()->entry, entry);
        Press(entry % 2 ? kKeyZ : kKeyReturn); // Z confirms like Return
        EXPECT_TRUE(Heard(0));
        EXPECT_EQ(LiveSlots(), Slots{opens[entry]});
        if (opens[entry] == kTitleSlot) {
            EXPECT_EQ(Title()->entry, 0) << "a fresh title";
            continue;
        }
        // The confirming key press was not taken by the new screen.
        Frames(3);
        EXPECT_EQ(LiveSlots(), Slots{opens[entry]});
        if (opens[entry] == 169) Frames(90); // the history's rows slide in first
        // Escape leaves team select and the save slots; Return closes each of the others
        // (the dialog answers no).
        Press(opens[entry] == 152 || opens[entry] == 166 ? kKeyEscape : kKeyReturn);
        if (opens[entry] == 169) Frames(88); // and out again
        EXPECT_EQ((std::tuple{LiveSlots(), Title()->entry}), std::make_tuple(Slots{kTitleSlot}, 0));
    }
}

TEST_F(TitleMenuTest, ReopeningATakenTitleSlotChangesNothing)
{
    Press(kKeyDown);
    plat::SetBufferPosition(g_music[0], 1000);
    ASSERT_EQ(plat::BufferPosition(g_music[0]), 1000u);
    EXPECT_EQ(OpenTitleScreen(), 0);
    EXPECT_EQ(Title()->entry, 2) << "the running title is untouched";
    EXPECT_EQ(plat::BufferPosition(g_music[0]), 1000u) << "and its music plays on";
}

using QuitDialogTest = FrontendRun;

TEST_F(QuitDialogTest, OpensOnATiledBackgroundWithNoChosen)
{
    Press(kKeyRight);
    Press(kKeyReturn);
    ASSERT_EQ(LiveSlots(), Slots{kConfirmDialogSlot});
    EXPECT_EQ(g_tasks[kConfirmDialogSlot].kind, kConfirmDialogKind);
    ASSERT_TRUE(Dialog() && Dialog()->answer == 0);

    EXPECT_EQ(DrawnFrom(kBackgroundTileRect).size(), 300u) << "20 x 15 tiles";
    EXPECT_TRUE(Drawn(175, 120, kQuitPanelRect));
    EXPECT_TRUE(Drawn(259, 128, kQuitQuestionRect));
    EXPECT_TRUE(Drawn(291, 192, kAnswerNoRect));
    EXPECT_TRUE(Drawn(301, 224, kAnswerYesRect)) << "(640 - 39) / 2 = 300.5 rounds up";
    EXPECT_TRUE(Drawn(183, 192, kMenuCursorRect)) << "cursor at the panel's left + 8, on no";
    EXPECT_EQ(DrawnFrom(kMenuCursorRect).size(), 1u);
}

TEST_F(QuitDialogTest, AnswerWrapsEitherWayAndEscapeDoesNothing)
{
    Press(kKeyRight);
    Press(kKeyReturn);
    const struct { KeySlotId key; int answer; } steps[] = {{kKeyDown, 1}, {kKeyRight, 0}, {kKeyUp, 1}, {kKeyLeft, 0}, {kKeyLeft, 1}};
    for (const auto& step : steps) {
        Press(step.key);
        ASSERT_NE(Dialog(), nullptr);
        EXPECT_EQ(Dialog()->answer, step.answer);
        EXPECT_TRUE(Heard(0));
    }
    EXPECT_TRUE(Drawn(183, 224, kMenuCursorRect)) << "the cursor on yes";
    Press(kKeyEscape);
    EXPECT_EQ(LiveSlots(), Slots{kConfirmDialogSlot});
    EXPECT_FALSE(Heard(0));
}

TEST_F(QuitDialogTest, NoRestartsTheTitleAndItsMusic)
{
    Press(kKeyRight);
    Press(kKeyReturn);
    // As if the title music had played on for a while under the dialog.
    plat::SetBufferPosition(g_music[0], 1000);
    ASSERT_EQ(plat::BufferPosition(g_music[0]), 1000u);
    Press(kKeyReturn);
    EXPECT_TRUE(Heard(0));
    EXPECT_TRUE(LiveSlots() == Slots{kTitleSlot} && Title()->entry == 0 && g_running == 1);
    EXPECT_TRUE(plat::BufferPlaying(g_music[0]));
    EXPECT_EQ(plat::BufferPosition(g_music[0]), 0u) << "the title music starts anew";
}

TEST_F(QuitDialogTest, YesShutsTheGameDownAfterTheFrameAndWritesTheHistory)
{
    Press(kKeyRight);
    Press(kKeyReturn);
    Press(kKeyDown);
    ASSERT_TRUE(HeadlessIsRunning());
    HeadlessSetKeys(1u << kKeyZ);
    HeadlessRunFrames(1);
    EXPECT_EQ(g_running, 0);
    EXPECT_FALSE(HeadlessIsRunning()) << "shut down at the end of that frame";
    EXPECT_TRUE(g_soundRequests[0].requested) << "the rest of the update pass still ran";
    EXPECT_EQ(g_tasks, nullptr) << "the pool is freed";
    EXPECT_EQ(test_support::ReadFileBytes(dir_ / "save.dat").size(), 520u);
    HeadlessRunFrames(5); // no frame runs any more
    EXPECT_FALSE(HeadlessIsRunning());
}
