// Save slot files come from outside. The reader takes any bytes apart and checks them;
// whatever it accepts on a small test board is rebuilt into a race, saving that race
// again must give back the same file (apart from the die, step and spin words that a
// load sets anew, the figures that it puts back on their pieces and the NUL that ends
// every piece's name), and the race then plays on for a few turns with the player's
// team under the computer's hand, so that the sanitizers see every sum a loaded value
// takes part in.
//
// The seeds in fuzz/corpus/saveslot hold 0 to 10 pieces on this board; the largest,
// 92 + 922 x 10 = 9,312 bytes, sets the fuzzer's input length limit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "app/app.h"
#include "board/piece.h"
#include "board/world.h"
#include "engine/config.h"
#include "engine/input.h"
#include "engine/task.h"
#include "persist/save_slot.h"

namespace {

// An 8 x 8 board: a ring of blocked ground round 6 x 6 squares that lead every way,
// on a track of 36 squares.
constexpr int kSide = 8;
constexpr int kTrackSquares = 36;
// Frames played from each loaded race: a few turns of every piece.
constexpr int kFramesPlayed = 400;

bool SetUpBoard()
{
    if (!InitWorldBuffers())
        return false;
    g_stageLayers.boardWidth = kSide;
    g_stageLayers.boardHeight = kSide;
    g_stageLayers.trackLength = kTrackSquares;
    g_gameConfig.battleAnimation = 0;
    for (int row = 0; row < kSide; ++row)
        for (int column = 0; column < kSide; ++column) {
            const bool edge = row == 0 || column == 0 || row == kSide - 1 || column == kSide - 1;
            g_stageLayers.squareLayer[row * kSide + column] = static_cast<int8_t>(edge ? 15 : 10);
            g_stageLayers.routeLayer[row * kSide + column] = static_cast<int8_t>(edge ? 0 : 15);
            g_stageLayers.layerE[row * kSide + column] = static_cast<int8_t>(edge ? 0 : 15);
        }
    return true;
}

// Bytes that a load sets anew, offsets within a piece block.
bool ResetOnLoad(size_t field)
{
    const bool spinStepDie = (field >= 24 && field < 28) || (field >= 52 && field < 60);
    const bool figurePlace = field >= 68 && field < 188 && (field - 68) % 20 < 12;
    return spinStepDie || figurePlace || field == kSavePieceBytes - 1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool ready = SetUpBoard();
    if (!ready)
        std::abort();
    static SavedGame game;
    if (!DecodeGameSlot(data, size, &game, nullptr))
        return 0;
    if (game.pieceCount < 0 || game.pieceCount > kMaxSavedPieces || game.stage < 1 || game.stage > 3)
        std::abort();
    if (!CheckSavedRaceOnBoard(game, nullptr))
        return 0;
    RebuildSavedRace(game);
    if (CountPieces() != game.pieceCount)
        std::abort();
    static uint8_t again[kSaveMaxBytes];
    const size_t length = EncodeGameSlot(again);
    if (length != size)
        std::abort();
    for (size_t at = 0; at < size; ++at) {
        const bool inBlock = at >= kSaveHeaderBytes && at < kSaveHeaderBytes + kSavePieceBytes * game.pieceCount;
        const bool reset = inBlock && ResetOnLoad((at - kSaveHeaderBytes) % kSavePieceBytes);
        if (!reset && again[at] != data[at])
            std::abort();
    }
    SeedRandom(1);
    SetPlayerTeamController(kControllerComputer);
    for (int frame = 0; frame < kFramesPlayed; ++frame)
        UpdateAllTasks();
    KillAllTasks();
    return 0;
}
