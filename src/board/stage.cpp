// The stage map: reading one stage of the map pack, the board's cell geometry, the
// checked layer lookups every walk goes through, and the track length.
#include "board/stage.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/draw3d.h"
#include "platform/byte_order.h"
#include "platform/files.h"

namespace {

// Three full 100 x 100 entries take about 150 KB; what lies beyond this is not read.
constexpr size_t kMapPackReadLimit = size_t(1) << 20;
constexpr int kMapEntryHeaderBytes = 16; // W, H and two reserved words

// The dimensions the layers are read with. A board whose W or H lies outside 1..100
// (only possible if something other than the pack reader set them) has no cells at all,
// so no lookup can reach outside the 10,000-byte layers.
bool BoardIsSound()
{
    const StageLayers& stage = g_stageLayers;
    return stage.boardWidth >= 1 && stage.boardWidth <= kMaxBoardSide && stage.boardHeight >= 1 &&
           stage.boardHeight <= kMaxBoardSide && stage.squareLayer != nullptr;
}

int32_t CellCount()
{
    return BoardIsSound() ? g_stageLayers.boardWidth * g_stageLayers.boardHeight : 0;
}

int32_t LayerAt(const int8_t* layer, int32_t column, int32_t row, int32_t offBoard)
{
    if (!IsCellOnBoard(column, row) || layer == nullptr)
        return offBoard;
    return layer[row * g_stageLayers.boardWidth + column];
}

int32_t LayerOf(const int8_t* layer, int32_t cell, int32_t offBoard)
{
    if (cell < 0 || cell >= CellCount() || layer == nullptr)
        return offBoard;
    return layer[cell];
}

int32_t WrapHeading(int32_t heading)
{
    return heading >= 360 ? heading - 360 : heading;
}

// The heading of a cell's first direction bit in the order 1, 2, 4, 8, or -1.
int32_t FirstLinkHeading(int32_t bits)
{
    if (bits & kLinkHeading0)
        return 0;
    if (bits & kLinkHeading180)
        return 180;
    if (bits & kLinkHeading270)
        return 270;
    if (bits & kLinkHeading90)
        return 90;
    return -1;
}

} // namespace

int ReadMapEntryHeader(const uint8_t* data, size_t size, int32_t stage, MapEntryHeader* header, const char** why)
{
    // The stage number may come from a save file: only the three entries of the table exist.
    *why = "no such stage";
    if (stage < 1 || stage > 3)
        return 0;
    *why = "shorter than its table of three offsets";
    if (data == nullptr || size < 12)
        return 0;
    const uint64_t entry = 12 + uint64_t(plat::LoadLE32(data + 4 * (stage - 1)));
    *why = "the stage's offset points past the end of the file";
    if (entry + 8 > size)
        return 0;
    *why = nullptr;
    header->at = entry;
    header->width = plat::LoadLE32(data + entry);
    header->height = plat::LoadLE32(data + entry + 4);
    header->bytes = kMapEntryHeaderBytes + 5 * uint64_t(header->width) * header->height;
    return 1;
}

namespace {

// Takes the stage g_stageLayers.stageNumber out of a pack's bytes; 0 with *why saying what is wrong,
// or 1 with *why set when the map was only partly there.
int ReadStageEntry(const uint8_t* data, size_t size, const char** why)
{
    g_stageLayers.trackLength = 0;
    ClearStageLayers();
    *why = "no stage buffers";
    if (g_stageLayers.squareLayer == nullptr || data == nullptr)
        return 0;
    // W and H must be there and fit the 100 x 100 layers; otherwise nothing is taken over
    // and the previous dimensions stay with the zeroed layers.
    MapEntryHeader header{};
    if (!ReadMapEntryHeader(data, size, g_stageLayers.stageNumber, &header, why))
        return 0;
    const uint64_t entry = header.at;
    const uint32_t width = header.width;
    const uint32_t height = header.height;
    *why = "the stage's width or height is outside 1..100";
    if (width < 1 || width > kMaxBoardSide || height < 1 || height > kMaxBoardSide)
        return 0;
    *why = nullptr;
    g_stageLayers.boardWidth = static_cast<int32_t>(width);
    g_stageLayers.boardHeight = static_cast<int32_t>(height);

    // A layer the file does not fill keeps its zeros.
    const uint64_t cells = uint64_t(width) * height;
    int8_t* const layers[] = {g_stageLayers.squareLayer, g_stageLayers.routeLayer, g_stageLayers.layerD,
                              g_stageLayers.eventLayer, g_stageLayers.layerE};
    uint64_t position = entry + kMapEntryHeaderBytes;
    for (int8_t* layer : layers) {
        if (position < size) {
            const uint64_t available = size - position;
            std::memcpy(layer, data + position, static_cast<size_t>(available < cells ? available : cells));
        }
        position += cells;
    }
    if (position > size)
        *why = "the file ends inside the stage's map";
    g_stageLayers.trackLength = FindStartAndMeasureTrack();
    return 1;
}

} // namespace

int LoadStageFromMapPack(const char* fileName)
{
    g_stageLayers.trackLength = 0;
    ClearStageLayers();
    std::vector<uint8_t> pack(kMapPackReadLimit);
    int error = 0;
    const long size = plat::ReadFilePrefix(fileName, pack.data(), pack.size(), &error);
    std::vector<std::string> problems;
    if (size < 0)
        problems.emplace_back(plat::FileErrorText(error));
    else if (LoadStageMapForPlay(pack.data(), static_cast<size_t>(size), &problems))
        return 1;
    // The player only sees the title come back (or the load error): say why here.
    ReportStageProblems(fileName, "stage " + std::to_string(g_stageLayers.stageNumber) + " cannot be read", problems);
    return 0;
}

int LoadStageFromMapPackMemory(const uint8_t* data, size_t size)
{
    const char* why = nullptr;
    return ReadStageEntry(data, size, &why);
}

int LoadStageMapForPlay(const uint8_t* data, size_t size, std::vector<std::string>* problems, int* layersKept)
{
    if (layersKept != nullptr)
        *layersKept = 0;
    const char* why = nullptr;
    if (!ReadStageEntry(data, size, &why)) {
        problems->emplace_back(why);
        return 0;
    }
    // The builder writes every layer whole: an entry the file cuts short is not one of its.
    if (why != nullptr) {
        problems->emplace_back(why);
        g_stageLayers.trackLength = 0;
        ClearStageLayers();
        return 0;
    }
    // Whatever the layers hold, every lookup stays on the board; whether a race on them
    // can end depends on where the scripts place the pieces, and is asked with them.
    return 1;
}

void ReportStageProblems(const char* fileName, const std::string& what, const std::vector<std::string>& problems)
{
    // A problem that names the map pack itself is the map's, whichever file's reading
    // found it: it stands on a line of its own, and the rest under the file read.
    const std::string mapPack = std::string(kMapPackName) + ": ";
    std::vector<std::string> own;
    std::vector<std::string> map;
    for (const std::string& p : problems)
        (p.compare(0, mapPack.size(), mapPack) == 0 ? map : own).push_back(p);
    // The first few say what to mend; a board with thousands of faults says how many.
    constexpr size_t kShown = 5;
    for (size_t i = 0; i < map.size() && i < kShown; ++i)
        std::fprintf(stderr, "%s\n", map[i].c_str());
    if (map.size() > kShown)
        std::fprintf(stderr, "%s: and %zu more\n", kMapPackName, map.size() - kShown);
    if (own.empty() && !map.empty())
        return;
    std::fprintf(stderr, "%s: %s:", fileName, what.c_str());
    if (own.size() == 1) {
        std::fprintf(stderr, " %s\n", own[0].c_str());
        return;
    }
    std::fprintf(stderr, "\n");
    for (size_t i = 0; i < own.size() && i < kShown; ++i)
        std::fprintf(stderr, "  %s\n", own[i].c_str());
    if (own.size() > kShown)
        std::fprintf(stderr, "  and %zu more\n", own.size() - kShown);
}

int32_t FindTrackStart()
{
    const int32_t cells = CellCount();
    for (int32_t cell = 0; cell < cells; ++cell) {
        if ((RouteOf(cell) & kRouteStart) != 0)
            return cell;
    }
    return -1;
}

int32_t MeasureTrack(int* reached)
{
    if (reached != nullptr)
        *reached = 0;
    const int32_t start = FindTrackStart();
    if (start < 0)
        return 0;
    const int32_t heading = FirstLinkHeading(RouteOf(start));
    if (heading < 0)
        return 0;
    float x = 0.0f;
    float z = 0.0f;
    CellCentre(start % g_stageLayers.boardWidth, start / g_stageLayers.boardWidth, &x, &z);
    return WalkTrack(x, z, heading, reached);
}

int32_t FindStartAndMeasureTrack()
{
    return MeasureTrack(nullptr);
}

int32_t CountTrackSquares(float x, float z, int32_t heading)
{
    return WalkTrack(x, z, heading, nullptr);
}

int32_t WalkTrack(float x, float z, int32_t heading, int* reached)
{
    if (reached != nullptr)
        *reached = 0;
    int32_t cell = CellAtPosition(x, z);
    if (cell < 0)
        return 0;
    int32_t back = WrapHeading(heading + 180);
    int32_t count = 0;
    // The walk keeps its column and row and reads the layers directly: the cell under a
    // point on the board lies on it, and every step is tested against the board's sides.
    const int32_t width = g_stageLayers.boardWidth;
    const int32_t height = g_stageLayers.boardHeight;
    const int8_t* const kinds = g_stageLayers.squareLayer;
    const int8_t* const routes = g_stageLayers.routeLayer;
    int32_t column = cell % width;
    int32_t row = cell / width;
    // One move: a step to the next cell, or a turn where the cell ahead is blocked (or
    // off the board, or the heading is not a right angle). True when the step ends on a
    // square whose route value is exactly 32.
    auto move = [&]() {
        int32_t nextColumn = column;
        int32_t nextRow = row;
        switch (heading) {
        case 0: ++nextColumn; break;
        case 90: --nextRow; break;
        case 180: --nextColumn; break;
        case 270: ++nextRow; break;
        default: nextColumn = -1; break;
        }
        const bool onBoard = nextColumn >= 0 && nextColumn < width && nextRow >= 0 && nextRow < height;
        if (!onBoard || kinds[nextRow * width + nextColumn] >= kBlockedKind) {
            // Try the right-angle turn, then the opposite one; never straight back.
            heading = WrapHeading(heading + 90);
            if (heading == back)
                heading = WrapHeading(heading + 90);
            return false;
        }
        column = nextColumn;
        row = nextRow;
        cell = row * width + column;
        back = WrapHeading(heading + 180);
        if (kinds[cell] < kFirstSquareKind || kinds[cell] > kLastSquareKind)
            return false;
        ++count;
        const int32_t route = routes != nullptr ? routes[cell] : 0;
        if (route == kRouteGoal)
            return true;
        const int32_t turn = FirstLinkHeading(route);
        if (turn >= 0)
            heading = turn;
        return false;
    };
    // A route that never reaches its goal (a loop, a dead end, a goal square carrying
    // direction bits) would walk for ever: four tries per cell is more than any path
    // through the board needs, turns included. What was counted by then is the length
    // the race measures progress against, but the walk did not get anywhere. Such a walk
    // comes back to a cell with the same heading and way back, and goes round from there
    // for good: once that is seen (Brent's search: the state now against one kept at
    // moves 1, 2, 4, 8 ...), the whole laps left to the bound are counted at once.
    const int32_t limit = 4 * CellCount();
    int32_t kept[3] = {cell, heading, back};
    int32_t keptMove = 0;
    int32_t keptCount = 0;
    int32_t span = 1;
    bool lapped = false;
    for (int32_t moves = 1; moves <= limit; ++moves) {
        if (move()) {
            if (reached != nullptr)
                *reached = 1;
            return count;
        }
        if (lapped)
            continue;
        if (cell == kept[0] && heading == kept[1] && back == kept[2]) {
            const int32_t lap = moves - keptMove;
            const int32_t laps = (limit - moves) / lap;
            count += laps * (count - keptCount);
            moves += laps * lap;
            lapped = true;
        } else if (moves - keptMove == span) {
            kept[0] = cell, kept[1] = heading, kept[2] = back;
            keptMove = moves;
            keptCount = count;
            span *= 2;
        }
    }
    return count;
}

int PositionToCell(float x, float z, int32_t* column, int32_t* row)
{
    if (!BoardIsSound())
        return 0;
    // Range-test the floats first: truncation toward zero would fold points up to two
    // units beyond the left or far edge onto the first column or row, and a NaN or a
    // huge value cannot be converted at all.
    const float fx = x + static_cast<float>(g_stageLayers.boardWidth);
    const float fz = static_cast<float>(g_stageLayers.boardHeight) - z;
    if (!(fx >= 0.0f && fx < 2.0f * static_cast<float>(g_stageLayers.boardWidth)))
        return 0;
    if (!(fz >= 0.0f && fz < 2.0f * static_cast<float>(g_stageLayers.boardHeight)))
        return 0;
    const int32_t c = static_cast<int32_t>(fx) / 2;
    const int32_t r = static_cast<int32_t>(fz) / 2;
    if (!IsCellOnBoard(c, r))
        return 0;
    *column = c;
    *row = r;
    return 1;
}

int32_t CellAtPosition(float x, float z)
{
    int32_t column = 0;
    int32_t row = 0;
    if (!PositionToCell(x, z, &column, &row))
        return -1; // off the board: every lookup by index reads it as blocked ground
    return row * g_stageLayers.boardWidth + column;
}

void CellCentre(int32_t column, int32_t row, float* x, float* z)
{
    *x = static_cast<float>(2 * column - g_stageLayers.boardWidth + 1);
    *z = static_cast<float>(g_stageLayers.boardHeight - 2 * row - 1);
}

int IsCellOnBoard(int32_t column, int32_t row)
{
    return BoardIsSound() && column >= 0 && column < g_stageLayers.boardWidth && row >= 0 &&
           row < g_stageLayers.boardHeight;
}

int32_t CellKindAt(int32_t column, int32_t row)
{
    return LayerAt(g_stageLayers.squareLayer, column, row, kBlockedKind);
}
int32_t RouteAt(int32_t column, int32_t row)
{
    return LayerAt(g_stageLayers.routeLayer, column, row, 0);
}
int32_t BackLinksAt(int32_t column, int32_t row)
{
    return LayerAt(g_stageLayers.layerD, column, row, 0);
}
int32_t EnemyLinksAt(int32_t column, int32_t row)
{
    return LayerAt(g_stageLayers.layerE, column, row, 0);
}
int32_t EventAt(int32_t column, int32_t row)
{
    return LayerAt(g_stageLayers.eventLayer, column, row, 0);
}
int32_t CellKindOf(int32_t cell)
{
    return LayerOf(g_stageLayers.squareLayer, cell, kBlockedKind);
}
int32_t RouteOf(int32_t cell)
{
    return LayerOf(g_stageLayers.routeLayer, cell, 0);
}
int32_t BackLinksOf(int32_t cell)
{
    return LayerOf(g_stageLayers.layerD, cell, 0);
}
int32_t EnemyLinksOf(int32_t cell)
{
    return LayerOf(g_stageLayers.layerE, cell, 0);
}
int32_t EventOf(int32_t cell)
{
    return LayerOf(g_stageLayers.eventLayer, cell, 0);
}

int32_t NeighbourCell(int32_t cell, int32_t heading)
{
    if (cell < 0 || cell >= CellCount())
        return -1;
    int32_t column = cell % g_stageLayers.boardWidth;
    int32_t row = cell / g_stageLayers.boardWidth;
    switch (heading) {
    case 0: ++column; break;
    case 90: --row; break;
    case 180: --column; break;
    case 270: ++row; break;
    default: return -1;
    }
    if (!IsCellOnBoard(column, row))
        return -1;
    return row * g_stageLayers.boardWidth + column;
}

int IsWalkableAhead(float x, float z, float heading)
{
    float aheadX = 0.0f;
    float aheadZ = 0.0f;
    OffsetByAngle(&aheadX, &aheadZ, x, z, heading, 2.0f);
    return CellKindOf(CellAtPosition(aheadX, aheadZ)) < kBlockedKind ? 1 : 0;
}

int IsSquareCell(int32_t cell)
{
    const int32_t kind = CellKindOf(cell);
    return kind >= kFirstSquareKind && kind <= kLastSquareKind ? 1 : 0;
}

int IsTrackSquare(int32_t cell)
{
    return IsSquareCell(cell);
}
