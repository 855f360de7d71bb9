// The board view draws the stage: the sea first, then the land tiles with their
// walls, then the mountain ring round the board. Every tile is tested against the
// view frustum before a vertex is built, and only the tiles of each row that the view
// can reach are tested at all, so a large board costs only what is seen.
#include "board/board_view.h"

#include <algorithm>
#include <cmath>

#include "board/status_bar.h"
#include "board/task_table.h"
#include "board/world.h"
#include "engine/assets.h"
#include "engine/draw3d.h"
#include "engine/graphics.h"
#include "engine/input.h"
#include "engine/sound.h"
#include "platform/gfx_device.h"

namespace {

constexpr int32_t kSeaCode = 45; // '-'
constexpr int32_t kSeaTexture = 8;
constexpr int32_t kWallTexture = 9;
constexpr int32_t kMountainTexture = 2;
constexpr float kMountainHeight = 4.0f;
constexpr float kWallDepth = 6.0f;
constexpr float kTileSize = 2.0f;
constexpr int32_t kRingDepth = 15;

// Tiles are culled by a sphere round the block under the tile's top.
constexpr float kCullDrop = 2.0f;
constexpr float kCullRadius = 4.0f;

constexpr uint32_t kWhite = 0xFFFFFFFFu;

// Land tiles stand at 0 or, on a mountain cell, 4 (see GetCellTileLook).
constexpr float kLowestLandTop = 0.0f;
constexpr float kHighestLandTop = kMountainHeight;

bool IsTileVisible(float x, float y, float z)
{
    return IsSphereInFrustum(x + 1.0f, y - kCullDrop, z - 1.0f, kCullRadius) != 0;
}

// The tiles k = first..last of a row that may pass the tile test; none when first > last.
struct TileSpan {
    int32_t first;
    int32_t last;
};

// How far the tile test can reach over an area of tiles in rows: corners x0 + 2k, z for
// k = 0..columns - 1, tops between yLow and yHigh. On a row's line every frustum plane
// bounds the x of a passing sphere's centre from one side, taking the top that favours
// that plane most; the bound moves linearly with the row's z, so it is set up once per
// area and costs a multiply-add per row.
struct TileReach {
    enum Side : int32_t { kAtLeast, kAtMost, kSign };
    struct Limit {
        Side side;
        double atZero; // kAtLeast / kAtMost: the bound on k at z = 0; kSign: the margin
        double perZ;   // its change with z
    };
    Limit limits[6];
    int32_t limitCount;
    int32_t columns;
};

TileReach MakeTileReach(float x0, float yLow, float yHigh, int32_t columns)
{
    // Loosens every bound by far more than the float test's rounding, so that no tile
    // the test passes falls outside.
    constexpr double kSlack = 1.0 / 16.0;
    TileReach reach{};
    reach.columns = columns;
    const double centreLow = static_cast<double>(yLow) - kCullDrop;
    const double centreHigh = static_cast<double>(yHigh) - kCullDrop;
    for (const float* plane : g_frustumPlanes) {
        // A plane the test cannot use (not a number, endless) rejects nothing here either.
        if (!std::isfinite(plane[0]) || !std::isfinite(plane[1]) || !std::isfinite(plane[2]) ||
            !std::isfinite(plane[3]))
            continue;
        const double a = plane[0];
        const double b = plane[1];
        const double c = plane[2];
        // The sphere at (centreX, centreY, z - 1) passes when a centreX + margin(z) >= 0.
        const double margin0 = (b > 0.0 ? b * centreHigh : b * centreLow) - c + plane[3] + kCullRadius + kSlack;
        TileReach::Limit& limit = reach.limits[reach.limitCount++];
        if (a == 0.0) {
            limit = {TileReach::kSign, margin0, c};
            continue;
        }
        // centreX = x0 + 1 + 2k, so the bound -margin(z) / a on centreX is one on k.
        limit = {a > 0.0 ? TileReach::kAtLeast : TileReach::kAtMost,
                 (-margin0 / a - static_cast<double>(x0) - 1.0) / 2.0, -c / (2.0 * a)};
    }
    return reach;
}

// The span of a row (corners at z) that holds every tile of it the test can pass. The
// caller still tests each tile of the span, so what is drawn, and in what order, is what
// testing every tile of the row would give.
TileSpan TilesInRow(const TileReach& reach, float z)
{
    const TileSpan none = {0, -1};
    if (reach.columns < 1)
        return none;
    const double zd = static_cast<double>(z);
    double lowest = 0.0;
    double highest = static_cast<double>(reach.columns - 1);
    for (int32_t i = 0; i < reach.limitCount; ++i) {
        const TileReach::Limit& limit = reach.limits[i];
        const double value = limit.atZero + limit.perZ * zd;
        if (limit.side == TileReach::kSign) {
            if (value < 0.0)
                return none;
        } else if (limit.side == TileReach::kAtLeast) {
            lowest = std::max(lowest, value);
        } else {
            highest = std::min(highest, value);
        }
    }
    if (!(lowest <= highest))
        return none;
    // Both lie within 0..columns - 1 now; one more tile at each end for good measure.
    const auto first = static_cast<int32_t>(std::ceil(lowest)) - 1;
    const auto last = static_cast<int32_t>(std::floor(highest)) + 1;
    return {std::max(first, 0), std::min(last, reach.columns - 1)};
}

plat::Texture* BoardTexture(int32_t texture)
{
    return texture >= 0 && texture < kBoardTextureCount ? g_textures[texture] : nullptr;
}

// A quad from four corners, textured (0,0), (1,0), (1,1), (0,1) in that order.
void DrawCornerQuad(const float corners[4][3], int32_t texture)
{
    static constexpr float kU[4] = {0.0f, 1.0f, 1.0f, 0.0f};
    static constexpr float kV[4] = {0.0f, 0.0f, 1.0f, 1.0f};
    Vertex3D quad[4];
    for (int i = 0; i < 4; ++i)
        SetVertex3D(&quad[i], corners[i][0], corners[i][1], corners[i][2], kU[i], kV[i]);
    DrawQuad3D(quad, kWhite, BoardTexture(texture));
}

// The layer's dimensions as the reader accepts them; anything else draws no board.
bool HasDrawableBoard()
{
    const StageLayers& stage = g_stageLayers;
    return stage.squareLayer != nullptr && stage.boardWidth >= 1 && stage.boardHeight >= 1 && stage.boardWidth <= 100 &&
           stage.boardHeight <= 100;
}

int32_t SquareCode(int32_t cellIndex)
{
    return static_cast<int8_t>(g_stageLayers.squareLayer[cellIndex]);
}

} // namespace

// -2.0 for four frames, up by 0.1 every four frames to -1.0 (held for eight), then down again.
const float g_seaLevelTable[kSeaCycleLength] = {
    -2.0f, -2.0f, -2.0f, -2.0f, -1.9f, -1.9f, -1.9f, -1.9f, -1.8f, -1.8f, -1.8f, -1.8f, -1.7f, -1.7f, -1.7f,
    -1.7f, -1.6f, -1.6f, -1.6f, -1.6f, -1.5f, -1.5f, -1.5f, -1.5f, -1.4f, -1.4f, -1.4f, -1.4f, -1.3f, -1.3f,
    -1.3f, -1.3f, -1.2f, -1.2f, -1.2f, -1.2f, -1.1f, -1.1f, -1.1f, -1.1f, -1.0f, -1.0f, -1.0f, -1.0f, -1.0f,
    -1.0f, -1.0f, -1.0f, -1.1f, -1.1f, -1.1f, -1.1f, -1.2f, -1.2f, -1.2f, -1.2f, -1.3f, -1.3f, -1.3f, -1.3f,
    -1.4f, -1.4f, -1.4f, -1.4f, -1.5f, -1.5f, -1.5f, -1.5f, -1.6f, -1.6f, -1.6f, -1.6f, -1.7f, -1.7f, -1.7f,
    -1.7f, -1.8f, -1.8f, -1.8f, -1.8f, -1.9f, -1.9f, -1.9f, -1.9f, -2.0f, -2.0f, -2.0f, -2.0f,
};

int CreateBoardView()
{
    Task* task = CreateTask(kBoardViewSlot);
    if (task == nullptr)
        return 0;
    StartTask(task, kBoardViewKind, UpdateBoardView, DrawBoardView);
    BoardView* view = TaskWork<BoardView>(task);
    view->alive = 1;
    view->seaCounter = 0;
    view->seaLevel = 0.0f;
    view->minimapOn = 1;
    view->overlayOn = 1;
    return 1;
}

void UpdateBoardView(Task* task)
{
    BoardView* view = TaskWork<BoardView>(task);
    view->seaLevel = StepSeaLevel(view);
    if (IsKeyPressed(kKeyS)) {
        view->minimapOn = 1 - view->minimapOn;
        RequestSoundEffect(kSoundKnock);
    }
    if (IsKeyPressed(kKeyA)) {
        view->overlayOn = 1 - view->overlayOn;
        RequestSoundEffect(kSoundKnock);
    }
    if (view->alive == 0)
        task->alive = 0;
}

void DrawBoardView(Task* task)
{
    const BoardView* view = TaskWork<BoardView>(task);
    if (g_d3dDevice != nullptr)
        g_d3dDevice->SetTransform(plat::TransformState::World, plat::MatrixIdentity());
    DrawBoardTiles(view->seaLevel);
    DrawMountainRing();
    if (view->minimapOn != 0)
        DrawMinimap();
    if (view->overlayOn != 0)
        DrawStatusOverlay();
    // While a square event runs, its message window takes the bottom of the screen.
    if (g_tasks == nullptr || g_tasks[kEventSlot].alive == 0)
        DrawStatusBar();
}

float StepSeaLevel(BoardView* view)
{
    view->seaCounter = view->seaCounter + 1;
    if (view->seaCounter > kSeaCycleLength - 1 || view->seaCounter < 0)
        view->seaCounter = 0;
    return g_seaLevelTable[view->seaCounter];
}

void DrawBoardTiles(float seaLevel)
{
    if (!HasDrawableBoard())
        return;
    const int32_t w = g_stageLayers.boardWidth;
    const int32_t h = g_stageLayers.boardHeight;
    const auto left = static_cast<float>(-w);
    // All sea first, so that every land block is drawn over it.
    const TileReach sea = MakeTileReach(left, seaLevel, seaLevel, w);
    for (int32_t r = 0; r < h; ++r) {
        const auto z = static_cast<float>(h - 2 * r);
        const TileSpan span = TilesInRow(sea, z);
        for (int32_t c = span.first; c <= span.last; ++c) {
            if (SquareCode(r * w + c) == kSeaCode)
                DrawSeaCell(static_cast<float>(2 * c - w), seaLevel, z);
        }
    }
    const TileReach land = MakeTileReach(left, kLowestLandTop, kHighestLandTop, w);
    for (int32_t r = 0; r < h; ++r) {
        const auto z = static_cast<float>(h - 2 * r);
        const TileSpan span = TilesInRow(land, z);
        for (int32_t c = span.first; c <= span.last; ++c) {
            if (SquareCode(r * w + c) < kSeaCode)
                DrawBoardCell(c, r, static_cast<float>(2 * c - w), z);
        }
    }
}

void DrawSeaCell(float x, float y, float z)
{
    if (IsTileVisible(x, y, z))
        DrawFlatTile(x, y, z, kSeaTexture);
}

void DrawBoardCell(int32_t column, int32_t row, float x, float z)
{
    if (!HasDrawableBoard() || column < 0 || row < 0 || column >= g_stageLayers.boardWidth ||
        row >= g_stageLayers.boardHeight)
        return;
    const int32_t i = row * g_stageLayers.boardWidth + column;
    const int32_t code = SquareCode(i);
    int32_t texture = 0;
    float height = 0.0f;
    GetCellTileLook(code, &texture, &height);
    if (IsTileVisible(x, height, z))
        DrawTileBlock(x, height, z, texture, i, code);
}

void DrawTileBlock(float x, float height, float z, int32_t texture, int32_t cellIndex, int32_t code)
{
    const float top[4][3] = {
        {x, height, z}, {x + kTileSize, height, z}, {x + kTileSize, height, z - kTileSize}, {x, height, z - kTileSize}};
    DrawCornerQuad(top, texture);
    DrawTileWalls(x, height, z, code, cellIndex);
}

void DrawTileWalls(float x, float height, float z, int32_t code, int32_t cellIndex)
{
    if (!HasDrawableBoard())
        return;
    const int32_t texture = GetWallTexture(code);
    const int32_t w = g_stageLayers.boardWidth;
    const int32_t last = w * g_stageLayers.boardHeight - 1;
    const int32_t i = cellIndex;
    // Neighbours are taken along the row-major layer: a row's last cell meets the
    // next row's first, and cells 0 and last never count as neighbours.
    if (i + 1 < last && SquareCode(i + 1) != code)
        DrawWallAlongZ(x + kTileSize, height, z, texture);
    if (i - 1 > 0 && i - 1 <= last && SquareCode(i - 1) != code)
        DrawWallAlongZ(x, height, z, texture);
    if (i - w > 0 && i - w <= last && SquareCode(i - w) != code)
        DrawWallAlongX(x, height, z, texture);
    if (i + w < last && i + w >= 0 && SquareCode(i + w) != code)
        DrawWallAlongX(x, height, z - kTileSize, texture);
}

void DrawWallAlongZ(float x, float top, float z, int32_t texture)
{
    const float corners[4][3] = {
        {x, top, z}, {x, top, z - kTileSize}, {x, top - kWallDepth, z - kTileSize}, {x, top - kWallDepth, z}};
    DrawCornerQuad(corners, texture);
}

void DrawWallAlongX(float x, float top, float z, int32_t texture)
{
    const float corners[4][3] = {
        {x, top, z}, {x + kTileSize, top, z}, {x + kTileSize, top - kWallDepth, z}, {x, top - kWallDepth, z}};
    DrawCornerQuad(corners, texture);
}

void GetCellTileLook(int32_t code, int32_t* outTexture, float* outHeight)
{
    int32_t texture = 0; // black, for any land code without a look of its own
    float height = 0.0f;
    switch (code) {
    case 1: texture = 3; break;   // rock floor
    case 2: texture = 7; break;   // road
    case 10: texture = 27; break; // the five squares
    case 11: texture = 22; break;
    case 12: texture = 4; break;
    case 13: texture = 5; break;
    case 14: texture = 6; break;
    case 15: texture = 1; break; // grass
    case 16:                     // a raised mountain cell
        texture = kMountainTexture;
        height = kMountainHeight;
        break;
    default: break;
    }
    *outTexture = texture;
    *outHeight = height;
}

int32_t GetWallTexture(int32_t)
{
    return kWallTexture;
}

void DrawFlatTile(float x, float y, float z, int32_t texture)
{
    const float corners[4][3] = {
        {x, y, z}, {x + kTileSize, y, z}, {x + kTileSize, y, z - kTileSize}, {x, y, z - kTileSize}};
    DrawCornerQuad(corners, texture);
}

void DrawFlatTileArea(float x0, float z0, float y, int32_t columns, int32_t rows, int32_t texture)
{
    const TileReach reach = MakeTileReach(x0, y, y, columns);
    for (int32_t j = 0; j < rows; ++j) {
        const float z = z0 - kTileSize * static_cast<float>(j);
        const TileSpan span = TilesInRow(reach, z);
        for (int32_t k = span.first; k <= span.last; ++k) {
            const float x = x0 + kTileSize * static_cast<float>(k);
            if (IsTileVisible(x, y, z))
                DrawFlatTile(x, y, z, texture);
        }
    }
}

void DrawMountainRing()
{
    if (!HasDrawableBoard())
        return;
    const int32_t w = g_stageLayers.boardWidth;
    const int32_t h = g_stageLayers.boardHeight;
    const auto f = [](int32_t v) { return static_cast<float>(v); };
    DrawFlatTileArea(f(-(w + 30)), f(h + 30), kMountainHeight, w + 30, kRingDepth, kMountainTexture); // far side
    DrawFlatTileArea(f(-(w + 30)), f(-h), kMountainHeight, w + 30, kRingDepth, kMountainTexture);     // near side
    DrawFlatTileArea(f(w), f(h), kMountainHeight, kRingDepth, h, kMountainTexture);                   // +x side
    DrawFlatTileArea(f(-w - 30), f(h), kMountainHeight, kRingDepth, h, kMountainTexture);             // -x side
}
