// The stage map pack "mappack.dat" and the save slots' stage numbers come from outside.
// Every stage number (the three entries and the ones a bad save file may hold) is read
// from the same bytes, then the track walk, the geometry and every checked lookup run
// over the board that was read; then the stage rules, as the game's loader holds a map
// to them, and with a fixed set of scripts (teams, a roaming group, a goal, a go-back)
// the rules of the whole stage, whose walks must end on any board.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/app.h"
#include "board/event.h"
#include "board/stage.h"
#include "board/stage_rules.h"
#include "board/world.h"
#include "engine/glyph_table.h"
#include "platform/msgbox.h"

namespace {

// Geometry that must agree with itself on any board the reader accepts. The cell
// geometry depends on the board's size alone: every cell is checked the first time a
// size comes, the ring of cells round the board every time.
void CheckBoard()
{
    const int32_t width = g_stageLayers.boardWidth;
    const int32_t height = g_stageLayers.boardHeight;
    if (width < 1 || width > 100 || height < 1 || height > 100)
        std::abort();
    static std::vector<bool> sizesSeen(101 * 101, false);
    const bool everyCell = !sizesSeen[static_cast<size_t>(height * 101 + width)];
    sizesSeen[static_cast<size_t>(height * 101 + width)] = true;
    int32_t checksum = 0;
    for (int32_t row = -1; row <= height; ++row) {
        for (int32_t column = -1; column <= width; ++column) {
            const bool ring = row < 0 || row == height || column < 0 || column == width;
            if (!ring && !everyCell)
                continue;
            checksum += CellKindAt(column, row) + RouteAt(column, row) + BackLinksAt(column, row) +
                        EnemyLinksAt(column, row) + EventAt(column, row);
            if (!IsCellOnBoard(column, row))
                continue;
            const int32_t cell = row * width + column;
            float x = 0.0f;
            float z = 0.0f;
            CellCentre(column, row, &x, &z);
            if (CellAtPosition(x, z) != cell || CellAtPosition(x + 0.9f, z - 0.9f) != cell)
                std::abort();
            for (int32_t heading = 0; heading < 360; heading += 90) {
                const int32_t next = NeighbourCell(cell, heading);
                if (next < -1 || next >= width * height)
                    std::abort();
                checksum += CellKindOf(next) + RouteOf(next) + IsSquareCell(next) + IsTrackSquare(next);
                checksum += IsWalkableAhead(x, z, static_cast<float>(heading));
            }
        }
    }
    // Edges, corners and points far away.
    const float w = static_cast<float>(width);
    const float h = static_cast<float>(height);
    const float points[][2] = {{-w, h}, {w, -h}, {-w - 0.5f, 0.0f}, {0.0f, h + 0.5f}, {1e30f, -1e30f}};
    for (const auto& p : points)
        checksum += CellKindOf(CellAtPosition(p[0], p[1]));
    if (checksum == 0x7FFFFFFF)
        std::abort(); // keeps the reads from being optimised away
}

// Script packs holding events 1..n of a fixed stage, one for each n: three teams, the
// roaming group, the goal, a go-back, a group that stays, a team leaving unplaced, a
// branch and an empty event.
std::vector<uint8_t> s_scriptPacks[kMaxEvents + 1];

void MakeScriptPacks()
{
    const std::string name = std::string(g_glyphTable[1].code) + g_glyphTable[2].code;
    const std::string label = g_glyphTable[3].code;
    const std::string events[kMaxEvents] = {
        "$1,0,0,6,0,1,2,3,4,5," + name + ",#99,",
        "$1,1,90,6,6,7,8,9,10,11," + name + ",#99,",
        "$1,2,180,6,12,13,14,15,16,17," + name + ",#99,",
        "$2,3,270,2,18,19," + name + ",#99,",
        "#43,#42,#99,",
        "#9,#99,",
        "$2,4,0,1,24," + name + ",#99,",
        "#42,#99,",
        "#15," + label + "," + name + "," + label + "#99," + name + "#43,#99,",
        "#99,",
    };
    for (int n = 0; n <= kMaxEvents; ++n) {
        std::string text;
        for (int e = 0; e < n; ++e)
            text += events[e] + "@\n";
        std::vector<uint8_t> pack(12, 0);
        for (int stage = 0; stage < 3; ++stage) {
            const auto offset = static_cast<uint32_t>(pack.size() - 12);
            for (int b = 0; b < 4; ++b)
                pack[4 * static_cast<size_t>(stage) + static_cast<size_t>(b)] = static_cast<uint8_t>(offset >> (8 * b));
            const auto length = static_cast<uint32_t>(text.size());
            for (int b = 0; b < 4; ++b)
                pack.push_back(static_cast<uint8_t>(length >> (8 * b)));
            for (const char c : text)
                pack.push_back(static_cast<uint8_t>(~static_cast<unsigned char>(c)));
        }
        s_scriptPacks[n] = pack;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (!InitWorldBuffers())
        std::abort();
    plat::RecordMessageBoxes(true);
    MakeScriptPacks();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    for (int32_t stage = -1; stage <= 4; ++stage) {
        g_stageLayers.stageNumber = stage;
        if (!LoadStageFromMapPackMemory(data, size))
            continue;
        CheckBoard();
        // A walk from a few cells and headings besides the start.
        const int32_t cells = g_stageLayers.boardWidth * g_stageLayers.boardHeight;
        for (int32_t i = 0; i < 4 && i < cells; ++i) {
            const int32_t cell = (i * 7919) % cells;
            float x = 0.0f;
            float z = 0.0f;
            CellCentre(cell % g_stageLayers.boardWidth, cell / g_stageLayers.boardWidth, &x, &z);
            const int32_t count = CountTrackSquares(x, z, 90 * i);
            if (count < 0 || count > 4 * cells)
                std::abort();
        }
        if (FindStartAndMeasureTrack() != g_stageLayers.trackLength)
            std::abort();

        // The loader the game plays with: it plays the map or says why not.
        std::vector<std::string> problems;
        int kept = 0;
        const int playable = LoadStageMapForPlay(data, size, &problems, &kept);
        if (playable != (problems.empty() ? 1 : 0))
            std::abort();
        if (!playable && !kept)
            continue;
        // The whole stage's rules on this board, with scripts for the events it uses.
        const int32_t highest = FindHighestEventNumber();
        const std::vector<uint8_t>& scripts =
            s_scriptPacks[highest < 0 ? 0 : (highest > kMaxEvents ? kMaxEvents : highest)];
        StageRuleReport rules;
        problems.clear();
        if (LoadEventScriptsForPlay(scripts.data(), scripts.size(), &problems, &rules) != (problems.empty() ? 1 : 0))
            std::abort();
        if (rules.pieces < 0 || rules.pieces > cells || rules.forks < 0 || rules.forks > cells)
            std::abort();
    }
    g_stageLayers.stageNumber = 1;
    return 0;
}
