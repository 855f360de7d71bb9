// A headless race for the board screen tests: the real game from the title through
// stage select and team select onto the board, then frames until the player's die
// spins under the player's hand.
#pragma once
#include <filesystem>

#include "board/piece.h"
#include "board/turn.h"
#include "board/world.h"
#include "test_frontend_fixture.h"

class BoardScreenRun : public FrontendRun {
protected:
    bool HasPacks() const
    {
        return std::filesystem::exists(dir_ / "mappack.dat") && std::filesystem::exists(dir_ / "epack.dat");
    }

    // Stage select is the title's last entry (right column, bottom row); the first
    // entry then opens team select, and Return there starts the race for team 0.
    void StartRace(int stage)
    {
        Press(kKeyRight);
        Press(kKeyUp);
        Press(kKeyReturn);
        Frames(2);
        for (int i = 0; i < 3 && g_stageNumber != stage; ++i) Press(kKeyRight);
        Press(kKeyReturn);
        Frames(2);
        Press(kKeyReturn);
        Frames(2);
        Press(kKeyReturn);
        ASSERT_EQ(g_stageNumber, stage);
        ASSERT_EQ(g_tasks[100].alive, 1) << "the race did not start";
    }

    // Frames until the player's team, under the player's hand, rolls its die.
    bool RunUntilPlayerRolls(int limit = 600)
    {
        for (int i = 0; i < limit; ++i) {
            const BoardPiece* piece = FindPlayerTeamPiece();
            if (piece != nullptr && piece->controller == kControllerPlayer && piece->moveProc == PlayerRollDie)
                return true;
            Frames(1);
        }
        return false;
    }
};
