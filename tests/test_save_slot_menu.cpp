// The save/load screen: from the title in load mode with its slot list, keys,
// confirmation and error message; in a race, saving shows the new time and stage,
// a damaged file or a failed save is refused while the race goes on, and a saved race
// loads from the title.
#include <algorithm>
#include <ctime>
#include <filesystem>
#include <sys/time.h>
#include <tuple>

#include "board/task_table.h"
#include "frontend/save_menu.h"
#include "frontend/title.h"
#include "persist/save_slot.h"
#include "test_board_support.h"

namespace {

using namespace test_support;

constexpr SpriteRect kNoData = {1010, 1555, 1256, 1575};
constexpr SpriteRect kErrorMessage = {1010, 1577, 1287, 1605};
constexpr SpriteRect kStageLabel = {1006, 363, 1058, 380};

class SaveMenuTest : public BoardScreenRun {
protected:
    static SaveMenuWork* Menu() { return g_tasks[166].alive ? TaskWork<SaveMenuWork>(&g_tasks[166]) : nullptr; }

    // Title entry 3 (right column, second row) opens the load menu.
    void OpenFromTitle()
    {
        for (KeySlotId key : {kKeyRight, kKeyDown, kKeyReturn})
            Press(key);
        ASSERT_NE(Menu(), nullptr);
        Frames(1);
    }

    // Return on the slot, down to "yes", Return.
    void ConfirmYes()
    {
        for (KeySlotId key : {kKeyReturn, kKeyDown, kKeyReturn})
            Press(key);
    }

    // Digits of the medium set drawn in a row, read back left to right.
    static std::string DigitsInRow(float y)
    {
        const float lefts[10] = {942, 954, 961, 973, 985, 997, 1009, 1021, 1033, 1045};
        std::vector<std::pair<float, char>> found;
        for (const plat::RecordedSprite& s : Sprites())
            for (int d = 0; d < 10; ++d)
                if (Near(s.top, y) && Near(s.u0 * 2048.0f, lefts[d]) && Near(s.v0 * 2048.0f, 343.0f))
                    found.emplace_back(s.left, char('0' + d));
        std::sort(found.begin(), found.end());
        std::string digits;
        for (const auto& [x, c] : found)
            digits += c;
        return digits;
    }
};

TEST_F(SaveMenuTest, FromTheTitleTheLoadListShowsEachSlotWrapsAsksWithNoChosenAndRefusesAnEmptySlot)
{
    // Slot 2: a file last written 2024-03-05 07:09 local time, stage 3; slot 3: a
    // directory stands there; slot 4: a file too short for its stage.
    Bytes file(92, 0);
    PutU32(file, 0, 3);
    WriteFileBytes(dir_ / "save2.dat", file);
    struct tm when {
        .tm_sec = 0, .tm_min = 9, .tm_hour = 7, .tm_mday = 5, .tm_mon = 2, .tm_year = 124, .tm_isdst = -1
    };
    const struct timeval times[2] = {{mktime(&when), 0}, {mktime(&when), 0}};
    ASSERT_EQ(utimes((dir_ / "save2.dat").c_str(), times), 0);
    std::filesystem::create_directory(dir_ / "save3.dat");
    WriteFileBytes(dir_ / "save4.dat", Bytes{1, 0});
    testing::internal::CaptureStderr();
    OpenFromTitle();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("save3.dat: the slot cannot be read"), std::string::npos) << err;
    EXPECT_EQ(LiveSlots(), std::vector<int>{166});
    // Panel, side picture, load title centred at y 90, the hint at (0, 0), the tiled
    // background from the title, and "no data" on the empty rows 143 + 28 x slot.
    EXPECT_TRUE(Drawn(60, 120, {1010, 1607, 1300, 1778}) && Drawn(380, 120, {1407, 1394, 1572, 1565}));
    EXPECT_TRUE(Drawn(253, 90, {767, 154, 901, 179}));
    EXPECT_TRUE(Drawn(0, 0, {1113, 156, 1287, 181}) && !DrawnFrom({404, 596, 436, 628}).empty());
    EXPECT_TRUE(Drawn(84, 143, kNoData) && Drawn(84, 171, kNoData) && !Drawn(84, 199, kNoData));
    EXPECT_EQ(DigitsInRow(199), "20243579") << "year month day hour minute";
    EXPECT_EQ(DigitsInRow(201), "3") << "the stage";
    EXPECT_TRUE(Drawn(388, 201, kStageLabel) && Drawn(488, 201, {973, 343, 983, 360}));
    for (const SpriteRect& unit :
         {SpriteRect{838, 340, 858, 360}, SpriteRect{863, 340, 876, 359}, SpriteRect{879, 340, 893, 359},
          SpriteRect{896, 340, 916, 360}, SpriteRect{920, 340, 940, 360}})
        EXPECT_EQ(DrawnFrom(unit).size(), 2u) << "slots 2 and 4 show their times";
    // The unreadable slot is never shown as empty; the short file has a time but no stage.
    EXPECT_TRUE(Drawn(84, 227, kErrorMessage) && !Drawn(84, 227, kNoData));
    EXPECT_FALSE(Drawn(388, 257, kStageLabel));

    Press(kKeyUp);
    EXPECT_TRUE(Menu()->cursor == 4 && Heard(0));
    EXPECT_TRUE(Drawn(64, 253, {438, 596, 449, 617})) << "the cursor at 120 + 21 + 28 x 4";
    Press(kKeyDown);
    EXPECT_EQ(Menu()->cursor, 0);
    for (KeySlotId key : {kKeyDown, kKeyReturn})
        Press(key);
    Frames(1);
    // The confirmation: frame at (247, 160), the load prompt, no chosen.
    EXPECT_TRUE(Menu()->stateProc == ConfirmSaveSlot && Menu()->answer == 0);
    EXPECT_FALSE(DrawnFrom({1252, 1782, 1403, 1872}).empty()) << "the frame's inside";
    EXPECT_TRUE(Drawn(265, 166, {773, 156, 893, 176})) << "17.5 in from the frame, rounded";
    EXPECT_TRUE(Drawn(296, 195, {642, 480, 700, 499}) && Drawn(305, 222, {702, 480, 741, 498})) << "no, yes";
    // Both ways wrap between no and yes.
    for (auto [key, answer] : {std::pair{kKeyUp, 1}, {kKeyDown, 0}, {kKeyDown, 1}}) {
        Press(key);
        EXPECT_EQ(Menu()->answer, answer);
    }
    Press(kKeyReturn);
    EXPECT_TRUE(Heard(8) && Menu()->stateProc == ShowSaveErrorMessage);
    Frames(1);
    EXPECT_TRUE(Drawn(182, 180, kErrorMessage));
    Press(kKeyReturn);
    EXPECT_FALSE(Heard(0)) << "the error closes without a sound";
    EXPECT_TRUE(Menu()->stateProc == ChooseSaveSlot && Menu()->cursor == 1);
    // Asked again, the confirmation opens on no, not on the yes answered last time.
    Press(kKeyReturn);
    EXPECT_TRUE(Menu()->stateProc == ConfirmSaveSlot && Menu()->answer == 0);
    Press(kKeyReturn);
    EXPECT_TRUE(Heard(0) && Menu()->stateProc == ChooseSaveSlot);
    Press(kKeyEscape);
    EXPECT_EQ(LiveSlots(), std::vector<int>{kTitleSlot});
}

class SaveMenuInRace : public SaveMenuTest {
protected:
    void SetUp() override
    {
        SaveMenuTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        if (!HasPacks())
            GTEST_SKIP() << "the stage packs are not built";
        StartRace(2);
        ASSERT_TRUE(RunUntilPlayerRolls());
    }

    // Shift opens the command menu; row 2 is load, row 3 save.
    void OpenFromCommandMenu(int row)
    {
        Press(kKeyShift);
        for (int i = 0; i < row; ++i)
            Press(kKeyDown);
        Press(kKeyReturn);
        ASSERT_NE(Menu(), nullptr);
        EXPECT_EQ(Menu()->mode, row == 2 ? 1 : 0) << "load from row 2, save from row 3";
        EXPECT_EQ(g_tasks[100].updateEnabled, 0) << "the board stays frozen";
    }
};

TEST_F(SaveMenuInRace, SavingKeepsTheBoardBehindAndATitleLoadRebuildsTheRace)
{
    OpenFromCommandMenu(3);
    Press(kKeyDown); // slot 1
    ConfirmYes();
    EXPECT_TRUE(Heard(7) && Menu()->stateProc == ShowSaveDoneMessage);
    Frames(1);
    EXPECT_TRUE(Drawn(243, 180, {850, 363, 1004, 391})) << "saved";
    EXPECT_TRUE(Drawn(253, 90, {767, 127, 901, 152})) << "the save title";
    EXPECT_TRUE(DrawnFrom({404, 596, 436, 628}).empty()) << "the board stays visible behind";
    EXPECT_TRUE(Drawn(388, 120 + 23 + 28 + 2, kStageLabel)) << "slot 1 shows its stage at once";

    // From the title, with another stage chosen there, load slot 1.
    const BoardPiece before = *FindPlayerTeamPiece();
    KillAllTasks();
    OpenTitleScreen();
    g_stageLayers.stageNumber = 1;
    Frames(2);
    OpenFromTitle();
    Press(kKeyDown);
    ConfirmYes();
    EXPECT_TRUE(Menu() == nullptr && g_stageLayers.stageNumber == 2 && g_tasks[100].alive == 1 &&
                g_tasks[kTitleSlot].alive == 0);
    const BoardPiece* player = FindPlayerTeamPiece();
    ASSERT_NE(player, nullptr);
    EXPECT_EQ((std::tuple{player->x, player->z, player->progress}), (std::tuple{before.x, before.z, before.progress}));
    EXPECT_EQ(player->stateProc, PlayerRollDie);
    for (int track = 0; track < 4; ++track)
        EXPECT_EQ(plat::BufferPlaying(g_music[track]), track == 1) << "the board's music, not the title's: " << track;
    Frames(5);
    EXPECT_TRUE(RunUntilPlayerRolls());
}

TEST_F(SaveMenuInRace, ADamagedSlotOrAFailedSaveIsRefusedAndTheRaceGoesOn)
{
    Bytes damaged(92 + 922, 0);
    test_support::PutU32(damaged, 0, 2);
    test_support::PutU32(damaged, 60, 1);
    test_support::PutU32(damaged, 64 + 12, 9); // nine members
    WriteFileBytes(dir_ / "save0.dat", damaged);
    OpenFromCommandMenu(2);
    ConfirmYes();
    EXPECT_TRUE(Heard(8) && Menu()->stateProc == ShowSaveErrorMessage);
    for (KeySlotId key : {kKeyReturn, kKeyEscape})
        Press(key);
    Frames(1);
    EXPECT_EQ(g_tasks[100].updateEnabled, 1);

    // A save that cannot be written says so instead of "saved".
    std::filesystem::create_directory(dir_ / "save4.dat");
    ASSERT_TRUE(RunUntilPlayerRolls());
    OpenFromCommandMenu(3);
    Press(kKeyUp);
    testing::internal::CaptureStderr();
    ConfirmYes();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("save4.dat: the race was not saved: not a regular file"), std::string::npos) << err;
    EXPECT_TRUE(Heard(8) && !Heard(7) && Menu()->stateProc == ShowSaveErrorMessage);
    EXPECT_TRUE(std::filesystem::is_directory(dir_ / "save4.dat"));
}

} // namespace
