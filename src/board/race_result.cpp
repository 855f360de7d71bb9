#include "board/race_result.h"

#include <cstring>

RaceResult g_raceResult;

void ResetRaceResult()
{
    std::memset(&g_raceResult, 0, sizeof(g_raceResult));
    g_raceResult.teamsLeft = 3;
    g_raceResult.nextPlaceFromBottom = 2;
}
