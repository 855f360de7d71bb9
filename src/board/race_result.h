// The current race's places: filled from the top at the goal, from the bottom by
// beaten computer teams; stored whole (52 bytes, in field order) in the save slots.
#pragma once
#include <cstdint>

struct RaceResult {
    int32_t nextPlaceFromTop;    // teams at the goal = next place to fill from the top
    int32_t playerTeamAtFinish;  // g_playerTeam, copied at every goal
    int32_t placeTeam[3];        // team id by place, 0 = first
    int32_t placeLeader[3];      // character id of the placed team's first member
    int32_t placeController[3];  // 0 player, 1 computer, when recorded
    int32_t teamsLeft;           // teams still racing
    int32_t nextPlaceFromBottom; // next place to fill from the bottom, never below 0
};
static_assert(sizeof(RaceResult) == 52, "RaceResult is thirteen 32-bit words");

extern RaceResult g_raceResult;

void ResetRaceResult();
// 1 when the team has reached the goal: it holds one of the places taken from the top.
// (A team placed from the bottom was beaten and is off the board.)
int HasTeamFinished(int32_t team);
// The places nobody took, between the last one from the top and the last one from the
// bottom, marked empty (team and leader -1) for a race that ends before all three are
// taken: the ranking and the history show them without a team.
void MarkOpenPlacesEmpty();
