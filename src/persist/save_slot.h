// Save slots: a race in progress stored in "save0.dat".."save4.dat" and taken up again.
//
// A slot file holds the stage, the player's team, the race result, every live board
// piece (one 922-byte block each) and the board camera, 92 + 922 x N bytes, every
// number a little-endian 32-bit word. Writing goes through a temporary file and a
// rename, so a slot is never left half written. Reading takes the whole file and
// checks every field, and the pieces against the stage's map, before anything of the
// running game is touched: a file that is not a race the game could have saved is
// refused, with what is wrong and where on stderr, and the game goes on as it was.
//
// A race is saved only at the player's roll, so a slot holds every piece at rest: on
// the centre of a square of its stage, its figures gathered on it, each team where it
// still has a way on. The places taken from the top and from the bottom leave one
// free and match the teams still on the board; counters stay within what a race
// reaches, so nothing computed from them overflows. Only the figures' places, which
// the end of every move sets anew, are restored instead of checked: they are put back
// on their piece. Headings, the camera and the progress are written within the ranges
// the reader takes.
#pragma once
#include <cstddef>
#include <cstdint>

#include "board/piece.h"
#include "board/race_result.h"

constexpr int kSaveSlotCount = 5;
constexpr int kMaxSavedPieces = 10;
constexpr size_t kSaveHeaderBytes = 64; // stage, team, race result, N
constexpr size_t kSavePieceBytes = 922;
constexpr size_t kSaveCameraBytes = 28;
constexpr size_t kSaveFixedBytes = kSaveHeaderBytes + kSaveCameraBytes;
constexpr size_t kSaveMaxBytes = kSaveFixedBytes + kSavePieceBytes * kMaxSavedPieces;
constexpr size_t kSlotReasonBytes = 256; // what is wrong with a refused file, and where

// What a race can reach: die faces come from the start (6) or a script number
// (2..999,999); progress stays within -kProgressBound..kProgressBound.
constexpr int32_t kMinSavedDieFaces = 2;
constexpr int32_t kMaxSavedDieFaces = 999999;

// A slot file taken apart: the pieces hold every stored field (pointers and
// procedures are set when the race is rebuilt).
struct SavedGame {
    int32_t stage;
    int32_t playerTeam;
    RaceResult result;
    int32_t pieceCount;
    BoardPiece pieces[kMaxSavedPieces];
    float camera[7]; // look-at x, y, z, eye x, y, z, angle
};

// "save%d.dat" of the slot.
void FormatSaveSlotName(char* out, size_t size, int slot);

// What the slot list knows of a slot's file.
enum : int32_t {
    kSlotEmpty = 0,      // no file
    kSlotWritten = 1,    // a file, with its time and stage
    kSlotUnreadable = 2, // something stands there that cannot be read: never shown as empty
};

struct SlotTime {
    int32_t year, month, day, hour, minute; // local time; month 1..12
};

// 1 when the slot's file can be opened for reading.
int CheckSaveSlotExists(int slot);
// Looks at the slot's file without loading it: returns kSlotEmpty (no file),
// kSlotWritten or kSlotUnreadable (saying why on stderr when what stands there cannot
// be opened). Only for kSlotWritten are *stage (the file's stage, 0 when the file is
// too short to hold one) and *written (its last write, local time) set.
int32_t ReadSaveSlotSummary(int slot, int32_t* stage, SlotTime* written);

// Live board pieces (kind-1 tasks of slots 10..19).
int CountPieces();

// The running race as a slot file's bytes; returns the size written into out
// (which holds kSaveMaxBytes).
size_t EncodeGameSlot(uint8_t* out);
// Writes the running race into the slot's file; 1, or 0 with the reason on stderr
// and the slot's previous file left whole.
int SaveGameSlot(int slot);

// Takes a slot file apart and checks every field that does not need the map, then puts
// every figure on its piece. 1, or 0 with why (kSlotReasonBytes, may be null) saying
// what is wrong and at which byte.
int DecodeGameSlot(const uint8_t* data, size_t size, SavedGame* game, char* why);
// Checks the race against the stage map now in the layers: every piece on the centre
// of a square, every team with a way on, the camera over the board. 1, or 0 with why.
int CheckSavedRaceOnBoard(const SavedGame& game, char* why);
// Replaces the running game with the saved one: every task ends, the globals are set
// and the pieces, the board view and the turn controller are rebuilt. The stage map
// and scripts must already be those of game.stage.
void RebuildSavedRace(const SavedGame& game);

// Reads, checks and rebuilds the race of the slot; 1, or 0 with the running game
// untouched and the reason on stderr. Starts the board music on success.
int LoadGameSlot(int slot);

// Per-piece readers and writers of the block (offsets from the block's start).
void WritePiece(uint8_t* block, const BoardPiece& piece);
void WriteFollower(uint8_t* at, const Figure& figure);
void WriteCharacter(uint8_t* at, const CharacterRecord& record);
void WriteTurnState(uint8_t* at);
void ReadPiece(const uint8_t* block, BoardPiece* piece);
void ReadFollower(const uint8_t* at, Figure* figure);
void ReadCharacter(const uint8_t* at, CharacterRecord* record);
