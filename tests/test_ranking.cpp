// Places, the end of a race, the ranking screen and its ways out.
#include "board/race_result.h"
#include "board/ranking.h"
#include "board/task_table.h"
#include "frontend/history_screen.h"
#include "frontend/title.h"
#include "persist/history.h"
#include "test_board_support.h"
#include <tuple>

using board_test::StoreScript;

class Ranking : public EventRun {
protected:
    // A team reaching the goal through its goal event (43, then 42).
    void Goal(int team, int controller = kControllerComputer)
    {
        StoreScript(1, "#43,#42,#99");
        Start(Party(controller, 2 + team, 0.0f, team));
        RunToEnd();
    }
};

TEST_F(Ranking, PlacesFromTopAndBottomEndTheRaceWhenAllThreeAreTaken)
{
    // The player has team 1; computer team 2 is beaten, team 0 and then the player's
    // team reach the goal.
    ResetRaceResult();
    g_playerTeam = 1;
    RecordPlaceFromBottom(Party(kControllerComputer, 6, 0.0f, 2));
    g_raceResult.teamsLeft -= 1; // the battle's own count
    EXPECT_EQ(g_raceResult.placeTeam[2], 2);
    Goal(0);
    EXPECT_EQ((std::tuple{g_tasks[kRankingSlot].alive, g_raceResult.teamsLeft}), std::make_tuple(0, 1));
    Goal(1, kControllerPlayer);
    EXPECT_TRUE(g_tasks[kRankingSlot].alive);
    EXPECT_EQ(SoundCount(12), 1);
    const RaceResult& r = g_raceResult;
    EXPECT_EQ((std::vector<int>{r.placeTeam[0], r.placeTeam[1], r.placeTeam[2], r.placeLeader[0], r.placeLeader[1],
                                r.placeLeader[2], r.playerTeamAtFinish, r.teamsLeft}),
              (std::vector<int>{0, 1, 2, 0, 6, 12, 1, 0}));
    for (int slot = 10; slot < 20; ++slot)
        EXPECT_FALSE(g_tasks[slot].alive) << slot;
    // The second row is the player's: highlighted and labelled so.
    Frames(1);
    const auto highlight = DrawnFrom({1409.0f, 1223.0f, 2045.0f, 1248.0f});
    ASSERT_EQ(highlight.size(), 1u);
    EXPECT_EQ((std::tuple{highlight[0].left, highlight[0].top, highlight[0].colour}),
              std::make_tuple(2.0f, 225.0f, 0x96FFFFFFu));
    EXPECT_TRUE(Drawn(408.0f, 226.0f, {1106.0f, 446.0f, 1214.0f, 471.0f}));
    EXPECT_TRUE(Drawn(408.0f, 176.0f, {1062.0f, 446.0f, 1103.0f, 470.0f}));
    EXPECT_TRUE(Drawn(78.0f, 276.0f, {1062.0f, 502.0f, 1334.0f, 529.0f}));
    // The first place's leader (character 0, a face 99 x 87) at half size from
    // (548, 251 - 87), its right and bottom edges rounded from 597.5 and 207.5.
    const auto face = DrawnFrom({1948.0f, 0.0f, 2047.0f, 87.0f});
    ASSERT_EQ(face.size(), 1u);
    EXPECT_EQ((std::vector<float>{face[0].left, face[0].top, face[0].right, face[0].bottom}),
              (std::vector<float>{548.0f, 164.0f, 598.0f, 208.0f}));
}

TEST_F(Ranking, TwoGoalsLeaveTheRaceRunningAndExtraGoalsOrBadBottomIndexesWriteNoPlace)
{
    ResetRaceResult();
    Goal(0);
    Goal(2);
    EXPECT_EQ((std::tuple{g_tasks[kRankingSlot].alive, g_raceResult.nextPlaceFromTop}), std::make_tuple(0, 2));
    Goal(1);
    const RaceResult before = g_raceResult;
    KillAllTasks();
    Goal(0); // a fourth goal, or a goal script without its 42, comes back
    EXPECT_EQ(0, std::memcmp(&before, &g_raceResult, sizeof before));

    ResetRaceResult();
    g_raceResult.nextPlaceFromBottom = 7; // as a damaged save slot may have it
    RecordPlaceFromBottom(Party(kControllerComputer, 6, 0.0f, 2));
    EXPECT_EQ(g_raceResult.placeController[0] + g_raceResult.placeLeader[0] + g_raceResult.teamsLeft, 3);
    EXPECT_EQ(g_raceResult.nextPlaceFromBottom, 6);
}

// A script that records the goal twice for one team (the stage rules refuse it, but a
// script in the store runs as it stands): the team takes one place.
TEST_F(Ranking, ATeamTakesOnePlaceHoweverOftenItsGoalIsRecorded)
{
    ResetRaceResult();
    StoreScript(1, "#43,#43,#42,#99");
    Start(Party(kControllerComputer, 2, 0.0f, 1));
    RunToEnd();
    Goal(2);
    const RaceResult& r = g_raceResult;
    EXPECT_EQ((std::vector<int>{r.nextPlaceFromTop, r.placeTeam[0], r.placeTeam[1], r.teamsLeft}),
              (std::vector<int>{2, 1, 2, 1}));
    EXPECT_FALSE(g_tasks[kRankingSlot].alive);
}

// The turn controller ends a race in which no team is left with the places taken so
// far (here one computer team beaten, the others gone without a place): the others show
// no team, and no team's plate or label, and the player's team is still the player's.
TEST_F(Ranking, ARaceEndingBeforeAllPlacesAreTakenLeavesTheRestEmpty)
{
    ResetRaceResult();
    g_playerTeam = 2;
    RecordPlaceFromBottom(Party(kControllerComputer, 6, 0.0f, 0));
    g_raceResult.teamsLeft -= 1;
    EndRace();
    ASSERT_TRUE(g_tasks[kRankingSlot].alive);
    const RaceResult& r = g_raceResult;
    EXPECT_EQ((std::vector<int>{r.placeTeam[0], r.placeTeam[1], r.placeTeam[2], r.placeLeader[0], r.placeLeader[1],
                                r.playerTeamAtFinish}),
              (std::vector<int>{-1, -1, 0, -1, -1, 2}));
    Frames(1);
    EXPECT_TRUE(Drawn(78.0f, 276.0f, {1062.0f, 473.0f, 1334.0f, 498.0f}));
    EXPECT_TRUE(Drawn(408.0f, 276.0f, {1062.0f, 446.0f, 1103.0f, 470.0f})) << "a computer team's place";
    EXPECT_TRUE(DrawnFrom({1409.0f, 1223.0f, 2045.0f, 1248.0f}).empty()) << "no place is the player's";
    for (float row : {176.0f, 226.0f}) {
        EXPECT_TRUE(Drawn(28.0f, row, {1201.0f, 363.0f, 1229.0f, 388.0f})) << "the place itself shows";
        EXPECT_FALSE(Drawn(408.0f, row, {1062.0f, 446.0f, 1103.0f, 470.0f})) << row;
    }
    EXPECT_TRUE(DrawnFrom({1062.0f, 534.0f, 1252.0f, 558.0f}).empty() &&
                DrawnFrom({1062.0f, 502.0f, 1334.0f, 529.0f}).empty());
}

class RankingKeys : public Ranking {
protected:
    void Open()
    {
        KillAllTasks();
        std::filesystem::remove("save.dat");
        LoadHistory();
        ResetRaceResult();
        for (int team : {2, 0, 1})
            Goal(team);
        ASSERT_TRUE(g_tasks[kRankingSlot].alive);
        Frames(1);
    }
    bool HistoryHasOneEntry() { return g_history[0].placeTeam[0] == 2 && g_history[0].stage == 1; }
};

TEST_F(RankingKeys, ReturnOrZAddsTheRaceAndShowsTheHistoryEscapeLeavesWithoutAnEntry)
{
    // Return wins over Escape pressed in the same frame; the race is on disk at once,
    // not only at shutdown.
    for (uint32_t keys : {1u << kKeyReturn, 1u << kKeyZ, (1u << kKeyReturn) | (1u << kKeyEscape)}) {
        Open();
        Tap(keys);
        EXPECT_EQ((std::tuple{g_tasks[kRankingSlot].alive, g_tasks[kHistoryScreenSlot].alive, HistoryHasOneEntry()}),
                  std::make_tuple(0, 1, true))
            << keys;
        EXPECT_EQ(test_support::ReadFileBytes("save.dat").size(), 520u);
    }
    Open();
    Tap(kKeyEscape);
    EXPECT_EQ((std::tuple{g_tasks[kTitleSlot].alive, g_tasks[kHistoryScreenSlot].alive, g_history[0].stage}),
              std::make_tuple(1, 0, 0));
    EXPECT_FALSE(std::filesystem::exists("save.dat"));

    // The key that ends the race, still down in the frame that opens the screen, does
    // not close it: keys count from the screen's second frame.
    KillAllTasks();
    ResetRaceResult();
    EndRace();
    Tap(kKeyReturn);
    EXPECT_EQ((std::tuple{g_tasks[kRankingSlot].alive, g_tasks[kHistoryScreenSlot].alive}), std::make_tuple(1, 0));
}
