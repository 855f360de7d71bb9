// Checking the two built packs with the game's own readers: everything the game would
// mishandle on a stage (a piece walking off the path or into a dead end, a goal the
// track never reaches, scripts the dispatcher would run astray) is refused here.
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
    int forks = 0;       // squares on the teams' paths with more than one way on
    int pieces = 0;
    int textBytes = 0;
    std::vector<EventReport> events;
};

// Checks every stage of the packs. Each problem is one line in errors, starting with
// "stage N: "; returns true when there is none.
bool CheckPacks(const std::vector<uint8_t>& mapPack, const std::vector<uint8_t>& eventPack,
                std::vector<StageReport>& reports, std::vector<std::string>& errors);

} // namespace stagecheck
