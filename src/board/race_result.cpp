#include "board/race_result.h"

#include <cstring>

RaceResult g_raceResult;

void ResetRaceResult()
{
    std::memset(&g_raceResult, 0, sizeof(g_raceResult));
    g_raceResult.teamsLeft = 3;
    g_raceResult.nextPlaceFromBottom = 2;
}

namespace {
constexpr int32_t kPlaces = 3;
}

int HasTeamFinished(int32_t team)
{
    const RaceResult& r = g_raceResult;
    for (int32_t place = 0; place < kPlaces && place < r.nextPlaceFromTop; ++place) {
        if (r.placeTeam[place] == team)
            return 1;
    }
    return 0;
}

void MarkOpenPlacesEmpty()
{
    RaceResult& r = g_raceResult;
    for (int32_t place = 0; place < kPlaces; ++place) {
        if (place < r.nextPlaceFromTop || place > r.nextPlaceFromBottom)
            continue;
        r.placeTeam[place] = -1;
        r.placeLeader[place] = -1;
        r.placeController[place] = -1;
    }
}
