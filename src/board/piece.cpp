// Board pieces: placing the parties from the '$' records of the stage's scripts, the
// piece task's update and draw, and the direction arrows of a player's choice.
#include "board/piece.h"

#include <cstring>

#include "board/event.h"
#include "board/stage.h"
#include "board/task_table.h"
#include "board/turn.h"
#include "board/world.h"
#include "engine/assets.h"
#include "engine/draw3d.h"
#include "engine/graphics.h"
#include "engine/sprite.h"
#include "engine/text.h"
#include "platform/gfx_device.h"

namespace {

constexpr int32_t kTeamRecord = 1;
constexpr int32_t kEnemyRecord = 2;
constexpr float kHiddenDistance = 0.5f;
constexpr float kDieNumberX = 2.0f;
constexpr float kDieNumberY = 2.0f;
constexpr SpriteRect kSmallDieIcon = {276.0f, 630.0f, 306.0f, 642.0f};
constexpr float kArrowDistance = 3.0f;
constexpr float kArrowHeight = 4.0f;
constexpr float kArrowSize = 1.4f;

// The four headings in arrow order, with their route bits.
constexpr int32_t kArrowHeadings[4] = {0, 90, 180, 270};
constexpr int32_t kArrowBits[4] = {kLinkHeading0, kLinkHeading90, kLinkHeading180, kLinkHeading270};

// Board texture of an arrow by the kind of the square it leads to (10..14) and heading.
constexpr int32_t kArrowTextures[5][4] = {
    {28, 29, 30, 31}, {23, 24, 25, 26}, {10, 11, 12, 13}, {14, 15, 16, 17}, {18, 19, 20, 21},
};

struct PieceRecord {
    int32_t teamId;
    int32_t heading;
    int32_t memberCount;
    int32_t ids[kPieceMembers];
    char name[kPieceNameBytes];
};

// Reads the rest of a '$' record. A record whose party would not fit the piece, or
// that names a character the game does not have, is refused whole.
bool ReadPieceRecord(PieceRecord* record, int32_t* cursor, const char* script)
{
    *record = PieceRecord{};
    record->teamId = ReadScriptNumber(cursor, script);
    record->heading = ReadScriptNumber(cursor, script);
    record->memberCount = ReadScriptNumber(cursor, script);
    if (record->memberCount < 1 || record->memberCount > kPieceMembers)
        return false;
    for (int i = 0; i < record->memberCount; ++i) {
        record->ids[i] = ReadScriptNumber(cursor, script);
        if (record->ids[i] < 0 || record->ids[i] >= kCharacterCount)
            return false;
    }
    // A longer name is cut to fit; the reader still moves past the whole field.
    ReadScriptField(record->name, kPieceNameBytes, cursor, script);
    return true;
}

int CreatePiece(float x, float y, float z, int32_t eventNumber, int32_t* cursor, const char* script, bool team)
{
    PieceRecord record;
    int32_t readCursor = *cursor;
    if (!ReadPieceRecord(&record, &readCursor, script))
        return 0;
    Task* task = CreateTaskInRange(kPieceFirstSlot, kPieceSlotEnd);
    if (!task)
        return 0;
    *cursor = readCursor;
    StartTask(task, kPieceKind, UpdatePiece, DrawPiece);
    task->param = eventNumber;

    BoardPiece* piece = PieceOf(task);
    *piece = BoardPiece{};
    piece->alive = 1;
    piece->rePan = 0;
    piece->turnNumber = 0;
    piece->x = x;
    piece->y = y;
    piece->z = z;
    piece->teamId = record.teamId;
    piece->heading = static_cast<float>(record.heading);
    piece->memberCount = record.memberCount;
    piece->liveCount = record.memberCount;
    for (int i = 0; i < record.memberCount; ++i)
        piece->members[i] = g_characters[record.ids[i]];
    piece->progress = 0;
    std::memcpy(piece->name, record.name, sizeof piece->name);
    piece->die = 1;
    piece->dieFaces = 6;
    piece->subStep = 0;
    if (!team) {
        piece->controller = kControllerEnemy;
        piece->stateProc = PieceIdle;
    } else if (record.teamId == g_playerTeam) {
        piece->controller = kControllerPlayer;
        piece->stateProc = PieceStartTurn; // the player's team rolls as soon as the turns begin
    } else {
        piece->controller = kControllerComputer;
        piece->stateProc = PieceIdle;
    }
    for (int32_t& texture : piece->arrowTexture)
        texture = -1;
    Figure* ahead = nullptr;
    for (int i = 0; i < kPieceMembers; ++i) {
        const FigureProc motion = i == 0 ? CopyFigurePoseFromOwner : UpdateFigureMotion;
        ahead = InitFigure(&piece->figures[i], x, y, z, piece->heading, g_characters[record.ids[i]].modelId, motion,
                           ahead, piece);
    }
    return 1;
}

// The cell under the piece as an index, or -1 when it stands off the board.
int32_t PieceCellIndex(const BoardPiece* piece)
{
    int32_t column = 0;
    int32_t row = 0;
    if (!PositionToCell(piece->x, piece->z, &column, &row))
        return -1;
    return row * g_stageLayers.boardWidth + column;
}

int32_t WrapDegrees(int32_t degrees)
{
    return degrees >= 360 ? degrees - 360 : degrees;
}

} // namespace

void PlaceEventObjects()
{
    const int32_t events = g_eventCount < kMaxEvents ? g_eventCount : kMaxEvents;
    for (int32_t row = 0; row < g_stageLayers.boardHeight; ++row) {
        for (int32_t column = 0; column < g_stageLayers.boardWidth; ++column) {
            const int32_t n = EventAt(column, row);
            if (n < 1 || n > events)
                continue;
            float x = 0.0f;
            float z = 0.0f;
            CellCentre(column, row, &x, &z);
            CreateEventObject(x, kPieceHeight, z, n, 0, g_eventScripts + (n - 1) * kEventScriptSlotBytes);
        }
    }
    StartBoardTurns();
}

void CreateEventObject(float x, float y, float z, int32_t eventNumber, int32_t cursor, const char* script)
{
    const void* mark = std::memchr(script, '$', kEventScriptSlotBytes);
    if (!mark)
        return;
    cursor = static_cast<int32_t>(static_cast<const char*>(mark) - script) + 1;
    const int32_t kind = ReadScriptNumber(&cursor, script);
    if (kind == kTeamRecord)
        CreateTeamPiece(x, y, z, eventNumber, &cursor, script);
    else if (kind == kEnemyRecord)
        CreateEnemyPiece(x, y, z, eventNumber, &cursor, script);
}

int CreateTeamPiece(float x, float y, float z, int32_t eventNumber, int32_t* cursor, const char* script)
{
    return CreatePiece(x, y, z, eventNumber, cursor, script, true);
}

int CreateEnemyPiece(float x, float y, float z, int32_t eventNumber, int32_t* cursor, const char* script)
{
    return CreatePiece(x, y, z, eventNumber, cursor, script, false);
}

void UpdatePiece(Task* task)
{
    BoardPiece* piece = PieceOf(task);
    if (piece->stateProc)
        piece->stateProc(piece);
    for (Figure& figure : piece->figures) {
        if (figure.motionProc)
            figure.motionProc(&figure);
    }
    if (piece->alive == 0)
        task->alive = 0;
}

void DrawPiece(Task* task)
{
    BoardPiece* piece = PieceOf(task);
    if (IsHiddenByOtherPiece(piece))
        return;
    // Taken every frame, so a changed member shows at once.
    for (int i = 0; i < kPieceMembers; ++i)
        piece->figures[i].modelId = piece->members[i].modelId;
    const int32_t shown =
        piece->liveCount < 0 ? 0 : (piece->liveCount > kPieceMembers ? kPieceMembers : piece->liveCount);
    for (int i = 0; i < shown; ++i)
        DrawFigure(&piece->figures[i]);
    if (piece->controller == kControllerPlayer && piece->stateProc == PlayerChooseDirection)
        DrawDirectionArrows(piece);
    if (piece->stateProc != PieceIdle)
        DrawNumberTall(kDieNumberX, kDieNumberY, piece->die);
    if (piece->dieFaces == 3) {
        const float position[3] = {piece->x, piece->y, piece->z};
        DrawSmallDieIcon(position);
    }
}

int IsHiddenByOtherPiece(const BoardPiece* piece)
{
    const float here[3] = {piece->x, piece->y, piece->z};
    for (int slot = kPieceFirstSlot; slot < kPieceSlotEnd; ++slot) {
        Task& task = g_tasks[slot];
        if (task.alive == 0 || task.kind != kPieceKind)
            continue;
        const BoardPiece* other = PieceOf(&task);
        if (other == piece)
            continue;
        const float there[3] = {other->x, other->y, other->z};
        if (GetHorizontalDistance(here, there) < kHiddenDistance && other->turnNumber > piece->turnNumber)
            return 1;
    }
    return 0;
}

void DrawSmallDieIcon(const float position[3])
{
    float screen[3];
    ProjectToScreen(screen, position);
    DrawAtlasSprite(screen[0], screen[1], kSmallDieIcon);
}

void ComputeDirectionArrows(BoardPiece* piece)
{
    for (int32_t& texture : piece->arrowTexture)
        texture = -1;
    const int32_t cell = PieceCellIndex(piece);
    if (cell < 0)
        return;
    for (int i = 0; i < 4; ++i) {
        if (!HasForwardLink(cell, kArrowBits[i]))
            continue;
        const int32_t neighbour = NeighbourCell(cell, kArrowHeadings[i]);
        if (neighbour < 0 || CellKindOf(neighbour) >= kBlockedKind)
            continue; // no arrow toward blocked ground or off the board
        const int32_t kind = FindNextSquareKind(cell, kArrowHeadings[i]);
        if (kind >= kFirstSquareKind && kind <= kLastSquareKind)
            piece->arrowTexture[i] = kArrowTextures[kind - kFirstSquareKind][i];
    }
}

int HasForwardLink(int32_t cell, int32_t bit)
{
    return (RouteOf(cell) & bit) != 0 ? 1 : 0;
}

int32_t FindNextSquareKind(int32_t cell, int32_t heading)
{
    int32_t back = WrapDegrees(heading + 180);
    int32_t failures = 0;
    // A corridor loop without a square would be walked for ever: no path on the board
    // is longer than four times its cells.
    const int32_t limit = 4 * g_stageLayers.boardWidth * g_stageLayers.boardHeight;
    for (int32_t moves = 0; moves < limit; ++moves) {
        const int32_t next = NeighbourCell(cell, heading);
        const int32_t kind = next < 0 ? kBlockedKind : CellKindOf(next);
        if (kind < kBlockedKind) {
            failures = 0;
            cell = next;
            back = WrapDegrees(heading + 180);
            if (kind >= kFirstSquareKind && kind <= kLastSquareKind)
                return kind;
        } else {
            failures += 1;
            heading = WrapDegrees(heading + 90);
        }
        if (heading == back) {
            failures += 1;
            heading = WrapDegrees(heading + 90);
        }
        if (failures > 3)
            return -1;
    }
    return -1;
}

BoardPiece* FindPlayerTeamTask()
{
    if (!g_tasks)
        return nullptr;
    for (int slot = kPieceFirstSlot; slot < kPieceSlotEnd; ++slot) {
        Task& task = g_tasks[slot];
        if (task.alive != 0 && task.kind == kPieceKind && PieceOf(&task)->teamId == g_playerTeam)
            return PieceOf(&task);
    }
    return nullptr;
}

void DrawDirectionArrows(const BoardPiece* piece)
{
    for (int i = 0; i < 4; ++i) {
        if (piece->arrowTexture[i] == -1)
            continue;
        float centre[3] = {0.0f, kArrowHeight, 0.0f};
        OffsetByAngle(&centre[0], &centre[2], piece->x, piece->z, static_cast<float>(kArrowHeadings[i]),
                      kArrowDistance);
        DrawGroundMarker(centre, piece->arrowTexture[i], kArrowSize);
    }
}

void DrawGroundMarker(const float centre[3], int32_t texture, float size)
{
    DrawGroundQuad(centre, centre[1], size, texture);
}

void DrawGroundQuad(const float centre[3], float y, float size, int32_t texture)
{
    if (texture < 0 || texture >= kBoardTextureCount)
        return; // not one of the board textures
    float corners[4][3];
    ComputeGroundQuadCorners(corners, centre, y, size);
    constexpr float kTexU[4] = {0.0f, 1.0f, 1.0f, 0.0f};
    constexpr float kTexV[4] = {0.0f, 0.0f, 1.0f, 1.0f};
    Vertex3D vertices[4];
    for (int i = 0; i < 4; ++i)
        SetVertex3D(&vertices[i], corners[i][0], corners[i][1], corners[i][2], kTexU[i], kTexV[i]);
    if (g_d3dDevice)
        g_d3dDevice->SetTransform(plat::TransformState::World, plat::MatrixIdentity());
    DrawQuad3D(vertices, kOpaqueWhite, g_textures[texture]);
}

void ComputeGroundQuadCorners(float corners[4][3], const float centre[3], float y, float size)
{
    // Top-left, top-right, bottom-right, bottom-left as seen from above (+z is up).
    constexpr float kCornerAngles[4] = {135.0f, 45.0f, 315.0f, 225.0f};
    for (int i = 0; i < 4; ++i) {
        OffsetByAngle(&corners[i][0], &corners[i][2], centre[0], centre[2], kCornerAngles[i], size);
        corners[i][1] = y;
    }
}
