// The stage map: reading one stage of "mappack.dat" into the layers of world.h, the
// board's cell geometry, checked lookups, the track walk, and the start of a race.
//
// Every read of a layer at a computed cell goes through the checked lookups below: a
// cell outside the board is blocked ground (kind 15) with no route, back-move or
// enemy-move bits and no event, so a walk or a move can never leave the layers.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "board/world.h"

constexpr int kMaxBoardSide = 100;
// The map pack's name: a problem of the map starts with it (stage_rules.h).
inline constexpr char kMapPackName[] = "mappack.dat";
constexpr float kPieceHeight = 0.25f; // y of pieces and figures on the board

// Square kinds (signed bytes of g_stageLayers.squareLayer).
constexpr int32_t kFirstSquareKind = 10; // 10..14 are the five squares
constexpr int32_t kLastSquareKind = 14;
constexpr int32_t kBlockedKind = 15; // 15 and above is blocked ground

// Direction bits of the route, back-move and enemy-move layers, and the route marks.
enum : int32_t {
    kLinkHeading0 = 1,   // column + 1
    kLinkHeading180 = 2, // column - 1
    kLinkHeading270 = 4, // row + 1
    kLinkHeading90 = 8,  // row - 1
    kRouteStart = 16,
    kRouteGoal = 32,
};

// Where a stage's entry (stage 1..3) lies in a map pack's bytes and the width and
// height its header gives, whatever they are, with the bytes a whole entry of that size
// takes (header and five layers). 1, or 0 with *why when there is no such stage, the
// pack is shorter than its table of three offsets or the width and height lie past its
// end. The stage reader and the pack builder find entries through it.
struct MapEntryHeader {
    uint64_t at;
    uint32_t width;
    uint32_t height;
    uint64_t bytes;
};
int ReadMapEntryHeader(const uint8_t* data, size_t size, int32_t stage, MapEntryHeader* header, const char** why);

// Reads the entry of g_stageLayers.stageNumber as the game plays it (LoadStageMapForPlay); 1 when
// the game may play it, else 0 with the layers zeroed, g_stageLayers.trackLength 0 and the reasons
// on stderr.
int LoadStageFromMapPack(const char* fileName);
// Reads the entry of g_stageLayers.stageNumber as it stands, short entries and all (a layer the
// bytes do not fill stays zero); 0 only when there is no entry of a size that fits.
int LoadStageFromMapPackMemory(const uint8_t* data, size_t size);
// Reads the entry of g_stageLayers.stageNumber as the game plays it: 1 when it is there
// whole with a size that fits the layers. On 0 the reason is added to *problems and the
// layers are cleared (*layersKept, when given, is 0). Whether a race on the map can end
// is a rule of the whole stage (stage_rules.h), asked once the scripts are read.
int LoadStageMapForPlay(const uint8_t* data, size_t size, std::vector<std::string>* problems,
                        int* layersKept = nullptr);
// "FILE: WHAT: problem" on stderr, or WHAT and the first few problems on lines of their
// own; a problem that starts with the map pack's name stands alone on its line.
void ReportStageProblems(const char* fileName, const std::string& what, const std::vector<std::string>& problems);

int32_t FindStartAndMeasureTrack();
int32_t CountTrackSquares(float x, float z, int32_t heading);
// The first cell marked as the start (row by row), or -1.
int32_t FindTrackStart();
// The track walk from the start and from a point: the squares counted, and in *reached
// (when given) 1 only when the walk ended on a square whose route value is exactly 32
// rather than at its bound. The pack builder and the game's loaders measure with these.
int32_t MeasureTrack(int* reached);
int32_t WalkTrack(float x, float z, int32_t heading, int* reached);

// The cell under a point on the board; -1 for a point off it (which every lookup by
// index reads as blocked ground).
int32_t CellAtPosition(float x, float z);
// 1 with the column and row of the cell under (x, z) when it lies on the board, else 0.
int PositionToCell(float x, float z, int32_t* column, int32_t* row);
void CellCentre(int32_t column, int32_t row, float* x, float* z);
int IsCellOnBoard(int32_t column, int32_t row);

// Checked lookups by column and row, and by cell index (index outside 0..W*H-1 is off
// the board). Off the board: kind 15, no bits, no event.
int32_t CellKindAt(int32_t column, int32_t row);
int32_t RouteAt(int32_t column, int32_t row);
int32_t BackLinksAt(int32_t column, int32_t row);
int32_t EnemyLinksAt(int32_t column, int32_t row);
int32_t EventAt(int32_t column, int32_t row);
int32_t CellKindOf(int32_t cell);
int32_t RouteOf(int32_t cell);
int32_t BackLinksOf(int32_t cell);
int32_t EnemyLinksOf(int32_t cell);
int32_t EventOf(int32_t cell);
// The neighbour of a cell along a heading (0, 90, 180, 270), or -1 off the board
// (a step never wraps across a row end).
int32_t NeighbourCell(int32_t cell, int32_t heading);

int IsWalkableAhead(float x, float z, float heading);
int IsSquareCell(int32_t cell);
int IsTrackSquare(int32_t cell);

// Kills every task, reads the stage's map and scripts, places the pieces and starts
// the turns and the board music; back to the title when a pack cannot be read.
void StartStageFromPacks();
