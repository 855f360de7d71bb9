// Placeholder bodies so others can link; filled in next.
#include "frontend/team_select.h"
int OpenTeamSelect() { return {}; }
int CreateTeamSelect() { return {}; }
void UpdateTeamSelect(Task* /*unused*/) {}
void DrawTeamSelect(Task* /*unused*/) {}
void StartTeamSelect(TeamSelectWork* /*unused*/) {}
void RunTeamSelectIdle(TeamSelectWork* /*unused*/) {}
void TurnTeamRingForward(TeamSelectWork* /*unused*/) {}
void TurnTeamRingBack(TeamSelectWork* /*unused*/) {}
void PlaceTeamRing(TeamSelectWork* /*unused*/) {}
void DrawTeamModels(const TeamSelectWork* /*unused*/, int32_t /*unused*/) {}
void DrawTiledBackground(float /*unused*/, float /*unused*/, float /*unused*/, float /*unused*/) {}
void DrawTeamLabel(float /*unused*/, int32_t /*unused*/) {}
void DrawSideArrows(float /*unused*/, float /*unused*/) {}
