// The event-script pack "epack.dat": the pack itself, the stage number and the event
// numbers on the map all come from outside. The first byte picks the stage number, the
// next twelve are the event layer of a 4 x 3 board, the rest is the pack. After loading,
// the pieces are placed from the '$' records and every event runs, one command a frame,
// until it ends.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "board/event.h"
#include "board/piece.h"
#include "board/stage.h"
#include "board/world.h"
#include "engine/task.h"
#include "platform/msgbox.h"

namespace {

constexpr int kBoardWidth = 4;
constexpr int kBoardHeight = 3;
constexpr int kHeaderBytes = 1 + kBoardWidth * kBoardHeight;
// More frames than a 2,000-byte script has commands.
constexpr int kFrameLimit = 1100;

BoardPiece s_standIn;

BoardPiece* FirstPiece()
{
    for (int slot = kPieceFirstSlot; slot < kPieceSlotEnd; ++slot) {
        if (g_tasks[slot].alive && g_tasks[slot].kind == kPieceKind)
            return PieceOf(&g_tasks[slot]);
    }
    return &s_standIn;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (!InitWorldBuffers())
        std::abort();
    plat::RecordMessageBoxes(true);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < kHeaderBytes)
        return 0;
    KillAllTasks();
    ClearStageLayers();
    g_boardWidth = kBoardWidth;
    g_boardHeight = kBoardHeight;
    g_stageNumber = static_cast<int32_t>(data[0] % 6) - 1; // -1..4
    for (int i = 0; i < kBoardWidth * kBoardHeight; ++i)
        g_eventLayer[i] = static_cast<int8_t>(data[1 + i]);
    for (int i = 0; i < kBoardWidth * kBoardHeight; ++i)
        g_squareLayer[i] = static_cast<int8_t>(10 + i % 5);

    if (!LoadEventScriptsMemory(data + kHeaderBytes, size - kHeaderBytes))
        return 0;
    if (g_eventCount < 0 || g_eventCount > kMaxEvents)
        std::abort();
    PlaceEventObjects();

    // Events beyond the stored ones too: the slot guard must hold for them.
    for (int32_t n = 1; n <= kMaxEvents + 2; ++n) {
        KillTask(&g_tasks[kEventSlot]);
        if (!StartEvent(FirstPiece(), n))
            std::abort();
        // Commands that wait may legitimately outlast the bound; the run just stops there.
        for (int frame = 0; frame < kFrameLimit && g_tasks[kEventSlot].alive; ++frame) {
            UpdateAllTasks();
            const int32_t cursor = TaskWork<EventTask>(&g_tasks[kEventSlot])->cursor;
            if (cursor < 0 || cursor > kEventScriptSlotBytes)
                std::abort();
        }
    }
    KillAllTasks();
    g_stageNumber = 1;
    return 0;
}
