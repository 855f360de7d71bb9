// The event-script pack "epack.dat": the pack itself, the stage number and the event
// numbers on the map all come from outside. The first byte picks the stage number, the
// next twelve are the event layer of a 4 x 3 board, the rest is the pack. The pack is
// read as it stands and held to the stage rules as the game's loader holds it; then
// the pieces are placed from the '$' records and every event runs, one command a frame,
// until it ends, with a player at the keys.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "app/app.h"
#include "board/event.h"
#include "board/piece.h"
#include "board/race_result.h"
#include "board/ranking.h"
#include "board/stage.h"
#include "board/stage_rules.h"
#include "board/task_table.h"
#include "board/world.h"
#include "engine/input.h"
#include "engine/task.h"
#include "frontend/title.h"
#include "platform/msgbox.h"

namespace {

constexpr int kBoardWidth = 4;
constexpr int kBoardHeight = 3;
constexpr int kHeaderBytes = 1 + kBoardWidth * kBoardHeight;
// More frames than a 2,000-byte script has commands.
constexpr int kFrameLimit = 1100;
// An event that runs no new command for this long is in a long state (a wait, a spin,
// a battle): its frames repeat what the earlier ones did, so the run moves on. Longer
// than a typed message, a choice or a party's animation, long enough for a battle's
// first round to start.
constexpr int kIdleLimit = 120;

BoardPiece s_standIn;

// The player at the keys: Return goes down every other frame, so the player's own team
// pages its messages, answers its choices and stops its battle reels as at the keyboard,
// rather than waiting out the frame bound. The screens after a race are left alone: the
// ranking's Return would write the race history, and the title's (after a lost battle)
// would start a race from the packs on disk.
void PlayerKeys(int frame)
{
    // Return is the only key that goes down here and the game's frames never poll the
    // keys, so every other key stays up as each input left it.
    KeySlot& key = g_keys[kKeyReturn];
    key.previous = key.current;
    const bool down = frame % 2 == 0 && !g_tasks[kRankingSlot].alive && !g_tasks[kTitleSlot].alive;
    key.current = down ? 0x80 : 0;
}

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
    // A recorded message box still prints its text, once for every refused pack: the
    // game's own printing goes nowhere here. libFuzzer and the sanitizers keep their
    // output (they write to the stream or descriptor they took at start-up).
    if (std::FILE* nowhere = std::fopen("/dev/null", "w"))
        stderr = nowhere;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < kHeaderBytes)
        return 0;
    // Every input starts from the same game: places, chance, keys and the stand-in.
    KillAllTasks();
    ResetRaceResult();
    SeedRandom(1);
    for (KeySlot& key : g_keys)
        key.current = key.previous = 0;
    s_standIn = BoardPiece{};
    ClearStageLayers();
    g_stageLayers.boardWidth = kBoardWidth;
    g_stageLayers.boardHeight = kBoardHeight;
    g_stageLayers.stageNumber = static_cast<int32_t>(data[0] % 6) - 1; // -1..4
    for (int i = 0; i < kBoardWidth * kBoardHeight; ++i)
        g_stageLayers.eventLayer[i] = static_cast<int8_t>(data[1 + i]);
    for (int i = 0; i < kBoardWidth * kBoardHeight; ++i)
        g_stageLayers.squareLayer[i] = static_cast<int8_t>(10 + i % 5);

    // The pack as it stands, then the stage rules over what was read, as the loader the
    // game plays with applies them; the scripts run whatever the rules say of them.
    uint32_t length = 0;
    if (!LoadEventScriptsMemory(data + kHeaderBytes, size - kHeaderBytes, &length))
        return 0;
    StageRuleReport rules;
    CheckStageRules(g_eventText, length, &rules);
    if (rules.events < 0 || rules.events > kMaxEvents || rules.pieces < 0 || rules.pieces > kBoardWidth * kBoardHeight)
        std::abort();
    if (g_eventCount < 0 || g_eventCount > kMaxEvents)
        std::abort();
    PlaceEventObjects();
    // Without the player's team the stage goes back to the title; the events then run
    // for a stand-in piece, and the title is no part of what is tried here.
    if (g_tasks[kTitleSlot].alive)
        KillAllTasks();

    // Events beyond the stored ones too: the slot guard must hold for them.
    for (int32_t n = 1; n <= kMaxEvents + 2; ++n) {
        KillTask(&g_tasks[kEventSlot]);
        if (!StartEvent(FirstPiece(), n))
            std::abort();
        // Commands that wait may legitimately outlast the bounds; the run just stops there.
        int32_t lastCursor = -1;
        int idle = 0;
        for (int frame = 0; frame < kFrameLimit && idle < kIdleLimit && g_tasks[kEventSlot].alive; ++frame) {
            PlayerKeys(frame);
            UpdateAllTasks();
            const int32_t cursor = TaskWork<EventTask>(&g_tasks[kEventSlot])->cursor;
            if (cursor < 0 || cursor > kEventScriptSlotBytes)
                std::abort();
            idle = cursor == lastCursor ? idle + 1 : 0;
            lastCursor = cursor;
        }
    }
    KillAllTasks();
    g_stageLayers.stageNumber = 1;
    return 0;
}
