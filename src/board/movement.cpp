#include "board/piece.h"

void PieceIdle(BoardPiece* /*piece*/) {}
void PieceStartTurn(BoardPiece* /*piece*/) {}
void PlayerRollDie(BoardPiece* /*piece*/) {}
void PlayerChooseDirection(BoardPiece* /*piece*/) {}
void PlayerStepMove(BoardPiece* /*piece*/) {}
void AutoStartDieRoll(BoardPiece* /*piece*/) {}
void AutoRollDie(BoardPiece* /*piece*/) {}
void AutoChooseDirection(BoardPiece* /*piece*/) {}
void AutoStepMove(BoardPiece* /*piece*/) {}
void PieceArrive(BoardPiece* /*piece*/) {}
void PieceWaitEvent(BoardPiece* /*piece*/) {}
void EnemyStartDieRoll(BoardPiece* /*piece*/) {}
void EnemyRollDie(BoardPiece* /*piece*/) {}
void EnemyChooseDirection(BoardPiece* /*piece*/) {}
void EnemyStepMove(BoardPiece* /*piece*/) {}
void EnemyArrive(BoardPiece* /*piece*/) {}
void OnSquareReached(BoardPiece* /*piece*/) {}
void OnSquareReachedEnemy(BoardPiece* /*piece*/) {}
void FollowCorridor(BoardPiece* /*piece*/) {}
void PickCorridorHeading0(BoardPiece* /*piece*/) {}
void PickCorridorHeading180(BoardPiece* /*piece*/) {}
void PickCorridorHeading270(BoardPiece* /*piece*/) {}
void PickCorridorHeading90(BoardPiece* /*piece*/) {}
void EndPieceMove(BoardPiece* piece) { piece->moveProc = PieceIdle; }
BoardPiece* FindPieceOnSameCell(const BoardPiece* /*piece*/) { return nullptr; }
void ApplyDieRules(BoardPiece* /*piece*/) {}
int IsTrailingBy(const BoardPiece* /*piece*/, int32_t /*n*/) { return 0; }
int CountTeams() { return 0; }
int HasEnemyLink(int32_t /*cell*/, int32_t /*bit*/) { return 0; }
void SetPlayerTeamController(int32_t /*controller*/) {}
int CanPlayerSave() { return 0; }
