// Checking the two built packs with the game's own readers and the game's own stage
// rules (src/board/stage_rules.h), which the game applies at load too, and with the
// builder's own checks of what our stages keep to (each said as such).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace stagecheck {

struct EventReport {
    int number = 0;
    int cells = 0;
    int scriptBytes = 0;
    int commands = 0;
    int pieceKind = 0; // 0 none, 1 team, 2 enemy group
    int pieceId = -1;
    int members = 0;
    std::string nameCp932;
    bool sendsBack = false;
};

struct StageReport {
    int stage = 0;
    int width = 0;
    int height = 0;
    int trackLength = 0; // as the game measures it
    int startColumn = -1, startRow = -1;
    int squaresByKind[5] = {};
    int corridorCells = 0;
    int forks = 0; // squares on the teams' paths with more than one way on
    int pieces = 0;
    int textBytes = 0;
    std::vector<EventReport> events;
    std::vector<std::string> notes; // allowed, worth a look: where a team leaves the race unplaced
};

// Checks every stage of the packs. Each problem is one line in errors, starting with
// "stage N: ", or "builder's own check: stage N: " for a check the game does not apply;
// returns true when there is none.
bool CheckPacks(const std::vector<uint8_t>& mapPack, const std::vector<uint8_t>& eventPack,
                std::vector<StageReport>& reports, std::vector<std::string>& errors);

} // namespace stagecheck
