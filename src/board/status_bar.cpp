// The status bar, the team panel and the minimap of the board screen.
#include "board/status_bar.h"

#include <cstring>

#include "board/board_view.h"
#include "board/piece.h"
#include "board/stage.h"
#include "board/task_table.h"
#include "board/turn.h"
#include "board/world.h"
#include "engine/sprite.h"
#include "engine/task.h"
#include "engine/text.h"

namespace {

constexpr uint32_t kBarColour = 0x96FFFFFFu;
constexpr uint32_t kPanelColour = 0x50FFFFFFu;

// Status bar.
constexpr SpriteRect kBarRect = {0.0f, 481.0f, 640.0f, 497.0f};
constexpr SpriteRect kHintRollingRect = {1010.0f, 1055.0f, 1208.0f, 1069.0f};
constexpr SpriteRect kHintOtherRect = {1212.0f, 1285.0f, 1424.0f, 1299.0f};
constexpr SpriteRect kMinimapOnRect = {1096.0f, 1806.0f, 1240.0f, 1820.0f};
constexpr SpriteRect kMinimapOffRect = {1096.0f, 1824.0f, 1240.0f, 1838.0f};
constexpr SpriteRect kPanelOnRect = {1204.0f, 620.0f, 1347.0f, 634.0f};
constexpr SpriteRect kPanelOffRect = {1218.0f, 603.0f, 1361.0f, 617.0f};
constexpr SpriteRect kStageLabelRect = {1243.0f, 637.0f, 1278.0f, 649.0f};
constexpr SpriteRect kComputerBannerRect = {1212.0f, 1318.0f, 1380.0f, 1332.0f};

// Team panel.
constexpr SpriteRect kTeamPanelRect = {1010.0f, 943.0f, 1326.0f, 1053.0f};
constexpr SpriteRect kTurnHighlightRect = {1010.0f, 912.0f, 1322.0f, 928.0f};
constexpr SpriteRect kEmptyRowRect = {1244.0f, 663.0f, 1378.0f, 677.0f};
constexpr SpriteRect kSlashRect = {840.0f, 24.0f, 847.0f, 36.0f};
constexpr SpriteRect kMembersIconRect = {838.0f, 290.0f, 864.0f, 304.0f};
constexpr SpriteRect kCountSuffixRect = {1356.0f, 682.0f, 1369.0f, 696.0f};
constexpr SpriteRect kOwnTeamMarkRect = {348.0f, 633.0f, 368.0f, 643.0f};
constexpr SpriteRect kOtherTeamMarkRect = {320.0f, 633.0f, 341.0f, 642.0f};

// Name plates, team icons and minimap markers exist for ids 0..2 (the teams) and
// 3 (the roaming group) only.
constexpr int kMarkedIds = 4;
constexpr SpriteRect kNamePlateRects[kMarkedIds] = {
    {1244.0f, 716.0f, 1367.0f, 729.0f},
    {1244.0f, 682.0f, 1333.0f, 695.0f},
    {1244.0f, 699.0f, 1366.0f, 713.0f},
    {1324.0f, 636.0f, 1419.0f, 650.0f},
};
constexpr SpriteRect kTeamIconRects[kMarkedIds] = {
    {808.0f, 24.0f, 816.0f, 32.0f},
    {818.0f, 24.0f, 826.0f, 32.0f},
    {828.0f, 24.0f, 836.0f, 32.0f},
    {870.0f, 24.0f, 878.0f, 32.0f},
};
constexpr SpriteRect kMarkerRects[kMarkedIds] = {
    {1328.0f, 943.0f, 1344.0f, 959.0f},
    {1346.0f, 943.0f, 1362.0f, 959.0f},
    {1364.0f, 943.0f, 1380.0f, 959.0f},
    {1382.0f, 943.0f, 1398.0f, 959.0f},
};

// Minimap.
constexpr float kMinimapX = 400.0f;
constexpr float kMinimapY = 20.0f;
constexpr SpriteRect kRockDotRect = {768.0f, 24.0f, 770.0f, 26.0f};
constexpr SpriteRect kRoadDotRect = {880.0f, 24.0f, 882.0f, 26.0f};
constexpr int32_t kFirstSquareCode = 10;
constexpr int kSquareKinds = 5;
constexpr SpriteRect kSquareDotRects[kSquareKinds] = {
    {860.0f, 24.0f, 864.0f, 28.0f}, {850.0f, 24.0f, 854.0f, 28.0f}, {798.0f, 24.0f, 802.0f, 28.0f},
    {788.0f, 24.0f, 792.0f, 28.0f}, {778.0f, 24.0f, 782.0f, 28.0f},
};
constexpr int kMinimapMarkers = 4;

bool IsMarkedId(int32_t id)
{
    return id >= 0 && id < kMarkedIds;
}

bool IsLivePieceTask(const Task& task)
{
    return task.alive != 0 && task.kind == kPieceKind;
}

// The stage map as the reader accepts it; anything else shows no minimap cells.
bool HasDrawableMap()
{
    const StageLayers& stage = g_stageLayers;
    return stage.squareLayer != nullptr && stage.boardWidth >= 1 && stage.boardHeight >= 1 && stage.boardWidth <= 100 &&
           stage.boardHeight <= 100;
}

// The minimap's sprites for one stage map, path dots first and then the squares over
// them. Sorting every cell into its sprite twice a frame cost more than drawing them,
// so the list is kept between frames and taken again only when the map differs from
// the copy it was taken from (a square changed by an event, another stage, a loaded
// race). Comparing the copy is one plain pass over the bytes, and it sees every change
// whoever makes it.
struct MinimapCell {
    float x;
    float y;
    const SpriteRect* rect;
};

struct MinimapCells {
    bool taken = false;
    int32_t width = 0;
    int32_t height = 0;
    int8_t layer[kStageCells] = {}; // the square layer the list was taken from
    int32_t count = 0;
    MinimapCell cells[kStageCells] = {}; // a cell gives a dot, a square or nothing
};

MinimapCells s_minimap;

void TakeMinimapCells(MinimapCells* out)
{
    const int32_t w = g_stageLayers.boardWidth;
    const int32_t h = g_stageLayers.boardHeight;
    out->taken = true;
    out->width = w;
    out->height = h;
    std::memcpy(out->layer, g_stageLayers.squareLayer, static_cast<size_t>(w) * static_cast<size_t>(h));
    out->count = 0;
    for (int32_t r = 0; r < h; ++r) {
        for (int32_t c = 0; c < w; ++c) {
            const int32_t code = CellKindOf(r * w + c);
            const float x = kMinimapX + 2.0f * static_cast<float>(c);
            const float y = kMinimapY + 2.0f * static_cast<float>(r);
            if (code == 1)
                out->cells[out->count++] = {x, y, &kRockDotRect};
            else if (code == 2 || code == 3)
                out->cells[out->count++] = {x, y, &kRoadDotRect};
        }
    }
    // The squares are larger than a cell and go over the path dots round them.
    for (int32_t r = 0; r < h; ++r) {
        for (int32_t c = 0; c < w; ++c) {
            const int32_t kind = CellKindOf(r * w + c) - kFirstSquareCode;
            if (kind >= 0 && kind < kSquareKinds)
                out->cells[out->count++] = {kMinimapX - 1.0f + 2.0f * static_cast<float>(c),
                                            kMinimapY - 1.0f + 2.0f * static_cast<float>(r), &kSquareDotRects[kind]};
        }
    }
}

// The list for the map as it is now; call only with a drawable map.
const MinimapCells& CurrentMinimapCells()
{
    const StageLayers& stage = g_stageLayers;
    const size_t cellCount = static_cast<size_t>(stage.boardWidth) * static_cast<size_t>(stage.boardHeight);
    if (!s_minimap.taken || s_minimap.width != stage.boardWidth || s_minimap.height != stage.boardHeight ||
        std::memcmp(s_minimap.layer, stage.squareLayer, cellCount) != 0)
        TakeMinimapCells(&s_minimap);
    return s_minimap;
}

void DrawTeamRow(const BoardPiece* piece, float rowX, float rowY)
{
    const int32_t team = piece->teamId;
    if (IsMarkedId(team))
        DrawAtlasSprite(rowX + 12.0f, rowY, kNamePlateRects[team]);
    if (piece->controller != kControllerEnemy) {
        DrawNumberSmall(rowX + 142.0f, rowY + 1.0f, piece->progress);
        DrawAtlasSprite(rowX + 174.0f, rowY - 1.0f, kSlashRect);
        DrawNumberSmall(rowX + 180.0f, rowY + 1.0f, g_stageLayers.trackLength);
        DrawAtlasSprite(rowX + 214.0f, rowY, kMembersIconRect);
        DrawNumberSmall(rowX + 244.0f, rowY + 1.0f, piece->liveCount);
        DrawAtlasSprite(rowX + 259.0f, rowY, kCountSuffixRect);
        DrawAtlasSprite(rowX + 276.0f, rowY + 2.0f, team == g_playerTeam ? kOwnTeamMarkRect : kOtherTeamMarkRect);
    }
    if (IsMarkedId(team))
        DrawAtlasSprite(rowX + 300.0f, rowY + 2.0f, kTeamIconRects[team]);
}

} // namespace

void DrawStatusBar()
{
    DrawAtlasSprite(0.0f, 464.0f, kBarRect, kBarColour);
    DrawAtlasSprite(0.0f, 465.0f, AnyHumanPieceRolling() != 0 ? kHintRollingRect : kHintOtherRect);
    int32_t minimapOn = 0;
    int32_t overlayOn = 0;
    if (g_tasks != nullptr) {
        const BoardView* view = TaskWork<BoardView>(&g_tasks[kBoardViewSlot]);
        minimapOn = view->minimapOn;
        overlayOn = view->overlayOn;
    }
    DrawAtlasSprite(372.0f, 465.0f, minimapOn == 1 ? kMinimapOnRect : kMinimapOffRect);
    DrawAtlasSprite(218.0f, 465.0f, overlayOn == 1 ? kPanelOnRect : kPanelOffRect);
    DrawStageNumber(555.0f, 465.0f);
    DrawComputerControlBanner(470.0f, 2.0f);
}

int AnyHumanPieceRolling()
{
    if (g_tasks == nullptr)
        return 0;
    for (int slot = kPieceFirstSlot; slot < kPieceSlotEnd; ++slot) {
        Task& task = g_tasks[slot];
        if (!IsLivePieceTask(task))
            continue;
        const BoardPiece* piece = PieceOf(&task);
        if (piece->controller == kControllerPlayer && piece->stateProc == PlayerRollDie)
            return 1;
    }
    return 0;
}

void DrawComputerControlBanner(float x, float y)
{
    const BoardPiece* piece = FindPlayerTeamTask();
    if (piece != nullptr && piece->controller == kControllerComputer)
        DrawAtlasSprite(x, y, kComputerBannerRect);
}

void DrawStageNumber(float x, float y)
{
    const float right = DrawAtlasSprite(x, y, kStageLabelRect);
    DrawNumberSmall(right + 4.0f, y, g_stageLayers.stageNumber);
}

void DrawStatusOverlay()
{
    if (g_tasks == nullptr)
        return;
    // The slot's work area is read even when the controller is gone: its list then
    // holds what the last race left, or nothing.
    DrawTeamStatusPanel(TurnControllerWork(), 2.0f, 24.0f);
}

void DrawTeamStatusPanel(const TurnController* controller, float x, float y)
{
    DrawAtlasPanel(x, y, kTeamPanelRect, kPanelColour);
    const float rowX = x + 4.0f;
    for (int i = 0; i < kTurnListLength; ++i) {
        const float rowY = y + 8.0f + 25.0f * static_cast<float>(i);
        if (i == controller->turnIndex)
            DrawAtlasSprite(x + 2.0f, rowY, kTurnHighlightRect, kBarColour);
        DrawNumberSmall(rowX, rowY + 1.0f, i + 1);
        const BoardPiece* piece = controller->turnList[i];
        if (piece == nullptr)
            DrawAtlasSprite(rowX + 15.0f, rowY, kEmptyRowRect);
        else
            DrawTeamRow(piece, rowX, rowY);
    }
}

void DrawMinimap()
{
    if (HasDrawableMap()) {
        const MinimapCells& cells = CurrentMinimapCells();
        for (int32_t i = 0; i < cells.count; ++i) {
            const MinimapCell& cell = cells.cells[i];
            DrawAtlasSprite(cell.x, cell.y, *cell.rect);
        }
    }
    DrawMinimapPieces();
}

void DrawMinimapPieces()
{
    if (g_tasks == nullptr)
        return;
    struct Marker {
        float x, negZ;
        int32_t team;
        bool moving;
    };
    Marker markers[kMinimapMarkers] = {};
    int count = 0;
    for (int slot = kPieceFirstSlot; slot < kPieceSlotEnd && count < kMinimapMarkers; ++slot) {
        Task& task = g_tasks[slot];
        if (!IsLivePieceTask(task))
            continue;
        const BoardPiece* piece = PieceOf(&task);
        markers[count++] = {piece->x, -piece->z, piece->teamId, piece->stateProc != PieceIdle};
    }
    // A moving piece goes over the ones standing, wherever it is in the slots.
    for (int i = 0; i < count; ++i)
        if (!markers[i].moving)
            DrawMinimapPiece(markers[i].x, markers[i].negZ, markers[i].team);
    for (int i = 0; i < count; ++i)
        if (markers[i].moving)
            DrawMinimapPiece(markers[i].x, markers[i].negZ, markers[i].team);
}

void DrawMinimapPiece(float x, float negZ, int32_t team)
{
    if (!IsMarkedId(team))
        return;
    // Whole halves of the board's size: on an odd board the marker sits a pixel off.
    const int32_t halfWidth = g_stageLayers.boardWidth / 2;
    const int32_t halfHeight = g_stageLayers.boardHeight / 2;
    const float px = 2.0f * (x / 2.0f + static_cast<float>(halfWidth)) + kMinimapX;
    const float py = 2.0f * (negZ / 2.0f + static_cast<float>(halfHeight)) + kMinimapY;
    DrawAtlasSprite(px - 8.0f, py - 8.0f, kMarkerRects[team]);
}
