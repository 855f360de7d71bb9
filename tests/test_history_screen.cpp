// Adding races to the history, its file, and the history screen's sliding rows.
#include <cstring>
#include <tuple>

#include "board/race_result.h"
#include "board/task_table.h"
#include "board/world.h"
#include "frontend/history_screen.h"
#include "frontend/title.h"
#include "persist/history.h"
#include "persist/history_entry.h"
#include "test_frontend_fixture.h"

namespace {

std::tm At(int year, int month, int day, int hour, int minute)
{
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = 41;
    t.tm_wday = 3;
    return t;
}

void Race(int stage, int player, int first, int second, int third)
{
    g_stageLayers.stageNumber = stage;
    g_playerTeam = player;
    ResetRaceResult();
    const int teams[3] = {first, second, third};
    for (int p = 0; p < 3; ++p) {
        g_raceResult.placeTeam[p] = teams[p];
        g_raceResult.placeLeader[p] = 6 * teams[p] + p;
    }
}

} // namespace

TEST(HistoryEntries, NewestFirstTenAtMost)
{
    std::memset(static_cast<void*>(g_history), 0, sizeof g_history);
    for (int race = 1; race <= 11; ++race) {
        Race(1 + race % 3, race % 3, 2, 0, 1);
        AddHistoryEntryAt(At(2026, 3, race, 9, 5));
    }
    // Race 11 is entry 0, race 2 entry 9; race 1 is gone.
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(g_history[i].time.tm_mday, 11 - i) << i;
    const HistoryEntry& e = g_history[0];
    EXPECT_EQ((std::vector<int>{e.time.tm_year, e.time.tm_mon, e.time.tm_hour, e.time.tm_min, e.time.tm_sec,
                                e.time.tm_wday, e.stage, e.playerTeam, e.placeTeam[0], e.placeTeam[1], e.placeTeam[2],
                                e.placeLeader[0], e.placeLeader[1], e.placeLeader[2]}),
              (std::vector<int>{126, 2, 9, 5, 0, 0, 3, 2, 2, 0, 1, 12, 1, 8}));
}

class HistoryScreen : public FrontendRun {};

TEST_F(HistoryScreen, RowsSlideInWaitForAKeyAndSlideOutToTheTitle)
{
    std::memset(static_cast<void*>(g_history), 0, sizeof g_history);
    Race(2, 1, 1, 2, 0);
    g_raceResult.placeLeader[2] = 99; // as save.dat may hold: no such character
    AddHistoryEntryAt(At(2026, 1, 7, 9, 5));
    // Title entry 5 (third row, second column) opens the screen.
    Press(kKeyDown);
    Press(kKeyDown);
    Press(kKeyRight);
    Press(kKeyReturn);
    ASSERT_TRUE(g_tasks[kHistoryScreenSlot].alive);
    Frames(88); // the first update only installs the slide
    EXPECT_FLOAT_EQ(g_history[9].rowX, 20.0f);
    EXPECT_FLOAT_EQ(g_history[0].rowX, 23.0f);
    Press(kKeyReturn); // row 9 arrives in this frame: the key came too early
    EXPECT_EQ((std::tuple{g_history[9].rowArrived, g_history[9].rowX, g_history[0].rowDelay}),
              std::make_tuple(1, 23.0f, 0));

    // Entry 0's row at y 80: the bar, the date from x 31, the player's place
    // (first place) marked, no icon for the unknown leader; the nine empty rows.
    const auto bars = DrawnFrom({1453.0f, 1250.0f, 2047.0f, 1280.0f});
    ASSERT_EQ(bars.size(), 1u);
    EXPECT_EQ((std::vector<float>{bars[0].left, bars[0].top}), (std::vector<float>{23.0f, 80.0f}));
    EXPECT_EQ(DrawnFrom({1453.0f, 1282.0f, 2047.0f, 1312.0f}).size(), 9u);
    // The place marker is as wide as its label.
    EXPECT_EQ((std::tuple{DrawnFrom({1010.0f, 1085.0f, 1039.0f, 1111.0f}).size(),
                          DrawnFrom({1010.0f, 1085.0f, 1042.0f, 1111.0f}).size(),
                          DrawnFrom({1948.0f, 0.0f, 2047.0f, 87.0f}).size()}),
              std::make_tuple(1u, 0u, 0u));
    const auto minute = DrawnFrom({920.0f, 340.0f, 940.0f, 360.0f});
    ASSERT_EQ(minute.size(), 1u);
    // 2026, 1, 7, 9, 5: no leading zeros, the month counted from 1.
    const auto fives = DrawnFrom({997.0f, 343.0f, 1007.0f, 360.0f});
    ASSERT_EQ(fives.size(), 1u);
    EXPECT_FLOAT_EQ(fives[0].right + 1.0f + 2.0f, minute[0].left);     // a digit's advance is its width + 1
    EXPECT_EQ(DrawnFrom({954.0f, 343.0f, 959.0f, 360.0f}).size(), 1u); // the one "1": January

    // The whole row, left to right: the bar; year, month, day, hour and minute, each with
    // its unit; the stage and its unit after a wider gap; then each place's label, the
    // player's (first) place marked behind its label, each known leader's face at half size
    // standing on the bar's bottom edge. Left, top, right and the picture's top-left corner.
    const float row[][5] = {
        {23, 80, 617, 1453, 1250},  {31, 86, 41, 961, 343},     {42, 86, 52, 942, 343},    {53, 86, 63, 961, 343},
        {64, 86, 74, 1009, 343},    {77, 86, 97, 838, 340},     {99, 86, 104, 954, 343},   {107, 86, 120, 863, 340},
        {122, 86, 132, 1021, 343},  {135, 86, 149, 879, 340},   {151, 86, 161, 1045, 343}, {164, 86, 184, 896, 340},
        {186, 86, 196, 997, 343},   {199, 86, 219, 920, 340},   {234, 86, 244, 961, 343},  {247, 86, 267, 1315, 28},
        {286, 82, 315, 1010, 1085}, {287, 86, 316, 1010, 1525}, {318, 61, 363, 1402, 0},   {383, 86, 415, 1048, 1525},
        {417, 68, 466, 1720, 100},  {486, 86, 518, 1089, 1525},
    };
    const auto drawn = Sprites();
    size_t at = 0;
    while (at < drawn.size() && !(drawn[at].srcLeft == 1453.0f && drawn[at].srcTop == 1250.0f))
        ++at;
    ASSERT_GE(drawn.size(), at + std::size(row));
    for (size_t i = 0; i < std::size(row); ++i) {
        const plat::RecordedSprite& d = drawn[at + i];
        EXPECT_EQ((std::vector<float>{d.left, d.top, d.right, d.srcLeft, d.srcTop}),
                  std::vector<float>(row[i], row[i] + 5))
            << "sprite " << i << " of the row";
    }

    Press(kKeyZ);
    EXPECT_TRUE(Heard(0));
    Frames(86); // the press frame turned to the slide, the next one was its first update
    EXPECT_TRUE(g_tasks[kHistoryScreenSlot].alive);
    // The empty rows slid out as the full one does: all nine are gone to x -640.
    const auto emptyBars = DrawnFrom({1453.0f, 1282.0f, 2047.0f, 1312.0f});
    ASSERT_EQ(emptyBars.size(), 9u);
    for (const plat::RecordedSprite& bar : emptyBars)
        EXPECT_EQ(bar.left, -640.0f);
    Frames(1);
    EXPECT_FALSE(g_tasks[kHistoryScreenSlot].alive);
    EXPECT_TRUE(g_tasks[kTitleSlot].alive);
}
