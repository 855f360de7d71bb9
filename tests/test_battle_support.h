// Shared by the battle tests: a small hand-made board on the real buffers, teams and
// enemy groups put straight into their slots, the battle task stepped frame by frame.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "battle/battle.h"
#include "board/characters.h"
#include "board/race_result.h"
#include "board/turn.h"
#include "engine/config.h"
#include "platform/text_encoding.h"
#include "test_board_support.h"

namespace battle_test {

using board_test::BoardWorld;
using board_test::SpawnPiece;

// Character rows as the table lays them out: teams of six from row 0, monsters from 18.
inline BoardPiece* Team(int slot, int32_t controller, int32_t team, int members = 6, int live = 6)
{
    BoardPiece* piece = SpawnPiece(slot, controller, 1, 1, 0.0f, team);
    piece->memberCount = members;
    piece->liveCount = live;
    for (int i = 0; i < members; ++i) {
        piece->members[i] = g_characters[6 * team + i];
        if (i >= live) piece->members[i].hitPoints = 0.0f;
    }
    return piece;
}

inline BoardPiece* Group(int slot, int members, int live = -1, int32_t id = 5)
{
    if (live < 0) live = members;
    BoardPiece* piece = SpawnPiece(slot, kControllerEnemy, 1, 1, 0.0f, id);
    piece->memberCount = members;
    piece->liveCount = live;
    for (int i = 0; i < members; ++i) {
        piece->members[i] = g_characters[18 + i % 7];
        if (i >= live) piece->members[i].hitPoints = 0.0f;
    }
    return piece;
}

inline BattleWork* Battle() { return RunningBattle(); }

// One frame of the battle task's own update.
inline void Step()
{
    if (g_tasks[kBattleTaskSlot].alive) UpdateBattleTask(&g_tasks[kBattleTaskSlot]);
}

// Frames until the battle's state is `state` (or it has ended); the frames run, or -1.
inline int StepUntil(BattleProc state, int limit = 2000)
{
    for (int frame = 1; frame <= limit; ++frame) {
        Step();
        BattleWork* battle = Battle();
        if (battle == nullptr || battle->battleProc == state) return frame;
    }
    return -1;
}

inline std::string Line(const BattleWork* battle, int line) { return plat::Cp932ToUtf8(battle->messageText[line]); }

// The board with the battle animation off unless a test turns it on, and the race
// result of a fresh race.
class BattleBoard : public BoardWorld {
public:
    BattleBoard() : BoardWorld(4, 4)
    {
        savedAnimation_ = g_battleAnimation;
        g_battleAnimation = 0;
        ResetRaceResult();
        Square(1, 1, 10);
    }
    ~BattleBoard() { g_battleAnimation = savedAnimation_; }
    BattleBoard(const BattleBoard&) = delete;
    BattleBoard& operator=(const BattleBoard&) = delete;

private:
    int32_t savedAnimation_ = 1;
};

} // namespace battle_test
