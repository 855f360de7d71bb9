// The command menu in a running race: Shift opens it over the frozen board, its
// pages and refusals, automatic play switched on by the menu and off by D, and the
// ways back to the game or to the title.
#include <tuple>

#include "frontend/command_menu.h"
#include "test_board_support.h"

namespace {

using Slots = std::vector<int>;

class CommandMenuTest : public BoardScreenRun {
protected:
    void SetUp() override
    {
        BoardScreenRun::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        if (!HasPacks())
            GTEST_SKIP() << "the stage packs are not built";
        StartRace(1);
    }

    static MenuWindow* Menu() { return g_tasks[163].alive ? TaskWork<MenuWindow>(&g_tasks[163]) : nullptr; }

    void OpenMenu()
    {
        Press(kKeyShift);
        ASSERT_NE(Menu(), nullptr) << "Shift opened no menu";
    }

    // Moves the cursor down to a row and confirms it.
    void Choose(int row)
    {
        for (int i = 0; i < row; ++i)
            Press(kKeyDown);
        Press(kKeyReturn);
    }

    static std::vector<int> Codes()
    {
        const MenuWindow* menu = Menu();
        return menu ? std::vector<int>(menu->itemCodes, menu->itemCodes + menu->itemCount) : std::vector<int>{};
    }

    // Tasks other than the menu whose updates run.
    static Slots Updating()
    {
        Slots slots;
        for (int i = 0; i < kTaskSlots; ++i)
            if (g_tasks[i].alive && g_tasks[i].updateEnabled && i != 163)
                slots.push_back(i);
        return slots;
    }
};

TEST_F(CommandMenuTest, ShiftFreezesEveryTaskButKeepsTheBoardDrawnUnderTheMenu)
{
    ASSERT_TRUE(RunUntilPlayerRolls());
    OpenMenu();
    EXPECT_TRUE(Heard(5)) << "the opening sound";
    EXPECT_EQ((std::tuple{Updating(), Codes(), Menu()->cursor}),
              std::make_tuple(Slots{}, Slots{0, 1, 2, 3, 4, 5, 6}, 0));

    // The frozen game stays still; the board and its bar are still drawn under the
    // window's frame.
    const BoardPiece* player = FindPlayerTeamPiece();
    const int32_t die = player->die;
    Frames(30);
    EXPECT_EQ(player->die, die);
    EXPECT_FALSE(DrawnFrom({0, 481, 640, 497}).empty());
    EXPECT_FALSE(DrawnFrom({1894, 722, 2045, 962}).empty());
    // Labels centred in the 155-pixel frame (halves round up), 27 pixels apart from
    // y 135; the die spins under the player's hand, so save is offered.
    const struct {
        float x, y;
        SpriteRect rect;
    } labels[] = {
        {27, 135, {767, 224, 868, 242}}, {27, 162, {893, 205, 995, 225}}, {28, 189, {767, 268, 867, 287}},
        {28, 216, {767, 245, 867, 265}}, {58, 270, {465, 687, 505, 707}}, {27, 297, {787, 202, 888, 222}},
    };
    for (const auto& label : labels)
        EXPECT_TRUE(Drawn(label.x, label.y, label.rect)) << label.y;

    // Escape does nothing; the cursor wraps both ways and follows at 27 pixels.
    Press(kKeyEscape);
    EXPECT_NE(Menu(), nullptr);
    Press(kKeyUp);
    EXPECT_EQ(Menu()->cursor, 6);
    EXPECT_TRUE(Heard(0));
    Press(kKeyRight);
    EXPECT_EQ(Menu()->cursor, 0);
    Press(kKeyLeft);
    Press(kKeyDown);
    EXPECT_EQ(Menu()->cursor, 0);
    Press(kKeyDown);
    Press(kKeyDown);
    EXPECT_TRUE(Drawn(4, 186, {438, 596, 449, 617}));

    // Resume: the menu goes and every task runs again.
    Press(kKeyUp);
    Press(kKeyUp);
    Press(kKeyZ);
    EXPECT_EQ((std::tuple{Menu(), g_tasks[163].alive}), std::make_tuple(nullptr, 0));
    Frames(1);
    for (int slot : {2, 10, 100})
        EXPECT_EQ(g_tasks[slot].updateEnabled, 1) << slot;
}

TEST_F(CommandMenuTest, SaveAndAutomaticPlayAreGreyedAndRefusedUnlessThePlayerRolls)
{
    // The die stopped: the player's team is choosing its way or moving.
    ASSERT_TRUE(RunUntilPlayerRolls());
    Press(kKeyReturn);
    ASSERT_NE(FindPlayerTeamPiece()->stateProc, PlayerRollDie);
    OpenMenu();
    Frames(1);
    EXPECT_TRUE(Drawn(28, 216, {1403, 913, 1503, 933}));
    EXPECT_TRUE(Drawn(38, 243, {1403, 935, 1483, 955}));
    EXPECT_TRUE(DrawnFrom({767, 245, 867, 265}).empty());
    Choose(3);
    EXPECT_TRUE(Heard(8) && Heard(0)) << "a refused save sounds both";
    EXPECT_EQ(Codes().size(), 7u);
    Press(kKeyDown);
    Press(kKeyReturn);
    EXPECT_TRUE(Heard(8));
    EXPECT_EQ(Codes().size(), 7u) << "automatic play is refused too";
    EXPECT_EQ(FindPlayerTeamPiece()->controller, kControllerPlayer);
}

TEST_F(CommandMenuTest, StatusAndOptionsTakeOverTheFrozenGameAndResumeItWhenTheyClose)
{
    // Row 1 the team status (slot 165), row 5 the options (slot 162).
    for (auto [row, slot, close] : {std::tuple{1, 165, kKeyEscape}, {5, 162, kKeyReturn}}) {
        SCOPED_TRACE(row);
        OpenMenu();
        Choose(row);
        EXPECT_EQ(Menu(), nullptr);
        ASSERT_EQ(g_tasks[slot].alive, 1);
        EXPECT_EQ(Updating(), Slots{slot}) << "the board stays frozen";
        Frames(2);
        Press(close);
        EXPECT_EQ(g_tasks[slot].alive, 0);
        Frames(1);
        EXPECT_EQ(std::pair(g_tasks[100].updateEnabled, g_tasks[2].alive), std::pair(1, 1)) << "back on the board";
    }
}

TEST_F(CommandMenuTest, AutomaticPlayAsksThenHandsTheTeamToTheComputerUntilD)
{
    ASSERT_TRUE(RunUntilPlayerRolls());
    OpenMenu();
    Choose(4);
    EXPECT_EQ(Codes(), (std::vector<int>{9, 10}));
    Frames(1);
    // Two-item page: its own frame, no and yes.
    EXPECT_FALSE(DrawnFrom({1252, 1782, 1403, 1872}).empty());
    EXPECT_TRUE(Drawn(49, 135, {642, 480, 700, 499}));
    EXPECT_TRUE(Drawn(58, 162, {702, 480, 741, 498}));
    // No goes back to the main page, in its own frame, with the cursor on resume.
    Press(kKeyReturn);
    EXPECT_EQ((std::tuple{Codes().size(), Menu()->cursor}), std::make_tuple(7u, 0));
    EXPECT_FALSE(DrawnFrom({1894, 722, 2045, 962}).empty());

    // Up on the first of two rows selects the second: yes.
    Choose(4);
    Press(kKeyUp);
    EXPECT_EQ(Menu()->cursor, 1);
    Press(kKeyReturn);
    EXPECT_EQ(Menu(), nullptr);
    BoardPiece* player = FindPlayerTeamPiece();
    EXPECT_EQ(player->controller, kControllerComputer);
    Frames(2);
    EXPECT_NE(Updating(), Slots{});
    EXPECT_NE(player->stateProc, PlayerRollDie) << "the computer rolls now";
    // D on the board takes the team back.
    Press(kKeyD);
    EXPECT_EQ(player->controller, kControllerPlayer);
}

TEST_F(CommandMenuTest, BackToTheTitleAsksFirstAndASquareEventBlocksTheMenu)
{
    OpenMenu();
    Choose(6);
    EXPECT_EQ(Codes(), (std::vector<int>{7, 8}));
    Frames(1);
    EXPECT_TRUE(Drawn(17, 106, {767, 202, 888, 222})) << "(155 - 121) / 2";
    Press(kKeyReturn); // no
    EXPECT_EQ((std::tuple{Codes().size(), Menu()->cursor}), std::make_tuple(7u, 0));
    Press(kKeyZ);
    ASSERT_EQ(Menu(), nullptr);

    CreateTask(150)->alive = 1;
    Press(kKeyShift);
    EXPECT_EQ(Menu(), nullptr);
    g_tasks[150].alive = 0;

    OpenMenu();
    Choose(6);
    Choose(1); // yes
    EXPECT_EQ(LiveSlots(), Slots{160});
}

TEST(CommandMenuOpen, ATakenMenuSlotFreezesNothing)
{
    ASSERT_EQ(InitTaskPool(), 1);
    Task* board = CreateTask(2);
    board->alive = board->updateEnabled = 1;
    CreateTask(163)->alive = 1;
    OpenCommandMenu();
    EXPECT_EQ(board->updateEnabled, 1);
    FreeTaskPool();
}

} // namespace
