// Save slot files come from outside. The reader takes any bytes apart and checks them;
// whatever it accepts on a small test board is rebuilt into a race, and saving that
// race again must give back the same file, apart from the die, step and spin words
// that a load sets anew
// and the NUL that ends every piece's name.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "board/world.h"
#include "engine/task.h"
#include "persist/save_slot.h"

namespace {

// An 8 x 8 board: a ring of blocked ground round 6 x 6 walkable squares.
constexpr int kSide = 8;

bool SetUpBoard()
{
    if (!InitWorldBuffers())
        return false;
    g_boardWidth = kSide;
    g_boardHeight = kSide;
    for (int row = 0; row < kSide; ++row)
        for (int column = 0; column < kSide; ++column) {
            const bool edge = row == 0 || column == 0 || row == kSide - 1 || column == kSide - 1;
            g_squareLayer[row * kSide + column] = static_cast<int8_t>(edge ? 15 : 10);
        }
    return true;
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
    if (!CheckSavedPiecesOnBoard(game, nullptr))
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
        const size_t field = (at - kSaveHeaderBytes) % kSavePieceBytes;
        // Reset on load: spin countdown, step and die; the name's last byte is always NUL.
        const bool reset =
            inBlock && ((field >= 24 && field < 28) || (field >= 52 && field < 60) || field == kSavePieceBytes - 1);
        if (!reset && again[at] != data[at])
            std::abort();
    }
    KillAllTasks();
    return 0;
}
