// Board pieces: every party on the board (a team or an enemy group) is a kind-1 task
// in slots 10..19 whose work area is a BoardPiece. A piece's turn is a state machine
// held in stateProc and run once a frame by its update.
#pragma once
#include <cstdint>

#include "board/characters.h"
#include "board/figure.h"
#include "engine/task.h"

struct BoardPiece;
using PieceProc = void (*)(BoardPiece*);

constexpr int kPieceMembers = 6;
constexpr int kPieceNameBytes = 50;

// A team's progress goes up a square per step and down a square per go-back square. On
// a stage with loops, or ways longer than its track, it passes the track length; where
// back links lead away from the start, a go-back takes it below 0. No race comes near
// this bound, and within it the difference of two progresses still fits an int32_t.
constexpr int32_t kProgressBound = 1000000000;

enum : int32_t {
    kControllerPlayer = 0,
    kControllerComputer = 1,
    kControllerEnemy = 2,
};

constexpr int32_t kRoamingGroupId = 3;

struct BoardPiece {
    int32_t alive;         // 0 ends the task at its next update
    int32_t turnNumber;    // draw priority from the turn controller; 0 when not listed
    int32_t rePan;         // the camera pans again before the turn when set
    int32_t controller;    // 0 player, 1 computer, 2 enemy group
    int32_t teamId;        // 0..2 teams; 3 the roaming group; other ids stay put
    int32_t memberCount;   // 1..6
    int32_t liveCount;     // members still standing
    int32_t level;         // 0; kept in saves
    int32_t spinCountdown; // frames left of a computer die spin
    int32_t money;         // 0; kept in saves
    int32_t experience;    // 0; kept in saves
    float x, y, z;         // a cell centre while resting, y 0.25
    float heading;         // 0, 90, 180 or 270
    int32_t subStep;       // frames done of the current one-cell step, 0..3
    int32_t die;           // the face while spinning, then the steps left; 1 at rest
    int32_t progress;      // squares advanced toward the goal
    int32_t dieFaces;      // 6; an event may set another count, 3 returns to 6 after a roll
    PieceProc stateProc;   // current movement state
    Figure figures[kPieceMembers];
    CharacterRecord members[kPieceMembers];
    char name[kPieceNameBytes]; // CP932, NUL-padded
    int32_t arrowTexture[4];    // board texture of the arrow for headings 0, 90, 180, 270; -1 none
};
CHECK_TASK_WORK(BoardPiece);

inline BoardPiece* PieceOf(Task* task)
{
    return TaskWork<BoardPiece>(task);
}

// Placing the pieces at stage start from the '$' records of the stage's scripts.
void PlaceEventObjects();
void CreateEventObject(float x, float y, float z, int32_t eventNumber, int32_t cursor, const char* script);
int CreateTeamPiece(float x, float y, float z, int32_t eventNumber, int32_t* cursor, const char* script);
int CreateEnemyPiece(float x, float y, float z, int32_t eventNumber, int32_t* cursor, const char* script);

void UpdatePiece(Task* task);
void DrawPiece(Task* task);
int IsHiddenByOtherPiece(const BoardPiece* piece);
void DrawSmallDieIcon(const float position[3]);
void ComputeDirectionArrows(BoardPiece* piece);
int HasForwardLink(int32_t cell, int32_t bit);
int32_t FindNextSquareKind(int32_t cell, int32_t heading);
BoardPiece* FindPlayerTeamTask();
void DrawDirectionArrows(const BoardPiece* piece);
void DrawGroundMarker(const float centre[3], int32_t texture, float size);
void DrawGroundQuad(const float centre[3], float y, float size, int32_t texture);
void ComputeGroundQuadCorners(float corners[4][3], const float centre[3], float y, float size);

// Movement states; other code compares stateProc with them to know what a piece does.
void PieceIdle(BoardPiece* piece);
void PieceStartTurn(BoardPiece* piece);
void PlayerRollDie(BoardPiece* piece);
void PlayerChooseDirection(BoardPiece* piece);
void PlayerStepMove(BoardPiece* piece);
void AutoStartDieRoll(BoardPiece* piece);
void AutoRollDie(BoardPiece* piece);
void AutoChooseDirection(BoardPiece* piece);
void AutoStepMove(BoardPiece* piece);
void PieceArrive(BoardPiece* piece);
void PieceWaitEvent(BoardPiece* piece);
void EnemyStartDieRoll(BoardPiece* piece);
void EnemyRollDie(BoardPiece* piece);
void EnemyChooseDirection(BoardPiece* piece);
void EnemyStepMove(BoardPiece* piece);
void EnemyArrive(BoardPiece* piece);

void OnSquareReached(BoardPiece* piece);
void OnSquareReachedEnemy(BoardPiece* piece);
// The corridor rule, by the heading a piece comes in with (row heading / 90): it goes on
// along the first heading of the row that leads onto walkable ground. Straight on first,
// then the turns, back last: a dead end sends the piece back. The stage rules follow
// corridors by the same rows.
constexpr int32_t kCorridorOrder[4][4] = {{0, 270, 90, 180}, {90, 0, 180, 270}, {180, 270, 90, 0}, {270, 0, 180, 90}};
void FollowCorridor(BoardPiece* piece);
void PickCorridorHeading0(BoardPiece* piece);
void PickCorridorHeading180(BoardPiece* piece);
void PickCorridorHeading270(BoardPiece* piece);
void PickCorridorHeading90(BoardPiece* piece);
void EndPieceMove(BoardPiece* piece);
void SnapPiece(BoardPiece* piece); // x and z to whole units, as a piece stands on a cell
BoardPiece* FindPieceOnSameCell(const BoardPiece* piece);
void ApplyDieRules(BoardPiece* piece);
int IsTrailingBy(const BoardPiece* piece, int32_t n);
int CountTeams();
void SetPlayerTeamController(int32_t controller);
int CanPlayerSave();
