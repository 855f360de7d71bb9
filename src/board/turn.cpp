// Placeholder bodies so others can link; filled in next.
#include "board/turn.h"
void StartBoardTurns() {}
BoardPiece* FindPlayerTeamPiece() { return {}; }
BoardPiece* FindPieceByTeamId(int32_t /*unused*/) { return {}; }
int CreateTurnController(float /*unused*/, float /*unused*/, float /*unused*/, float /*unused*/, float /*unused*/, BoardPiece* /*unused*/, CameraProc /*unused*/) { return {}; }
void BuildTurnOrder(TurnController* /*unused*/, int32_t /*unused*/) {}
void RemovePieceFromTurnList(const BoardPiece* /*unused*/) {}
void DismissAllPieces() {}
void UpdateTurnController(Task* /*unused*/) {}
void DrawTurnController(Task* /*unused*/) {}
void NumberPiecesInTurnOrder(TurnController* /*unused*/) {}
BoardPiece* AdvanceToNextPiece(TurnController* /*unused*/) { return {}; }
void FollowCurrentPiece(TurnController* /*unused*/) {}
void WaitBeforeNextPiece(TurnController* /*unused*/) {}
void StartPanX(TurnController* /*unused*/) {}
void PanCameraXPlus(TurnController* /*unused*/) {}
void PanCameraXMinus(TurnController* /*unused*/) {}
void StartPanZ(TurnController* /*unused*/) {}
void PanCameraZPlus(TurnController* /*unused*/) {}
void PanCameraZMinus(TurnController* /*unused*/) {}
void ArriveAtPiece(TurnController* /*unused*/) {}
void WaitBeforeRepan(TurnController* /*unused*/) {}
void DoNothingCamera(TurnController* /*unused*/) {}
