// The team status screen: three pages of six face icons with a detail panel.
#include "frontend/team_status.h"

#include "board/characters.h"
#include "board/piece.h"
#include "board/task_table.h"
#include "board/world.h"
#include "engine/input.h"
#include "engine/sound.h"
#include "engine/sprite.h"
#include "engine/text.h"
#include "frontend/interface.h"
#include "frontend/team_select.h"

namespace {

constexpr int kColumns = kPieceMembers;
constexpr uint32_t kFadedColour = 0x64FFFFFFu;

constexpr SpriteRect kPageTabRects[kStatusTeamCount] = {
    {1979.0f, 468.0f, 2001.0f, 718.0f},
    {2002.0f, 468.0f, 2024.0f, 718.0f},
    {2025.0f, 468.0f, 2047.0f, 718.0f},
};
constexpr SpriteRect kFrameRect = {1429.0f, 216.0f, 2047.0f, 466.0f};
constexpr SpriteRect kCursorRect = {1947.0f, 195.0f, 2047.0f, 215.0f};
constexpr SpriteRect kCountSlashRect = {873.0f, 227.0f, 884.0f, 247.0f};
constexpr SpriteRect kDetailPanelRect = {1010.0f, 943.0f, 1326.0f, 1053.0f};
constexpr SpriteRect kDetailLabelRects[4] = {
    {1010.0f, 1908.0f, 1062.0f, 1928.0f},
    {1010.0f, 1930.0f, 1062.0f, 1950.0f},
    {1010.0f, 1952.0f, 1062.0f, 1972.0f},
    {1302.0f, 1757.0f, 1355.0f, 1777.0f},
};
constexpr int kCategoryCount = 4;
constexpr SpriteRect kCategoryRects[kCategoryCount] = {
    {1010.0f, 1974.0f, 1050.0f, 1994.0f},
    {1010.0f, 1995.0f, 1051.0f, 2015.0f},
    {1010.0f, 2016.0f, 1051.0f, 2036.0f},
    {1044.0f, 1875.0f, 1085.0f, 1895.0f},
};
constexpr SpriteRect kStandingRect = {1357.0f, 1758.0f, 1397.0f, 1778.0f};
constexpr SpriteRect kFallenRect = {1218.0f, 565.0f, 1300.0f, 585.0f};
constexpr SpriteRect kHintLeftRect = {519.0f, 675.0f, 551.0f, 707.0f};
constexpr SpriteRect kHintRightRect = {519.0f, 641.0f, 551.0f, 673.0f};
constexpr SpriteRect kHintDownRect = {1010.0f, 1841.0f, 1042.0f, 1873.0f};
constexpr SpriteRect kHintUpRect = {1010.0f, 1875.0f, 1042.0f, 1907.0f};

constexpr float kColumnX = 40.0f;
constexpr float kColumnWidth = 100.0f;
constexpr float kFaceBottom = 180.0f;
constexpr float kCursorY = 220.0f;
constexpr float kDetailY = 300.0f;

int32_t Wrap(int32_t value, int32_t count)
{
    if (value < 0)
        return count - 1;
    return value > count - 1 ? 0 : value;
}

} // namespace

int OpenPlayerStatus()
{
    return CreateStatusScreen(g_playerTeam);
}

int CreateStatusScreen(int32_t team)
{
    Task* task = CreateTask(kStatusScreenSlot);
    if (task == nullptr)
        return 0;
    StartTask(task, kStatusScreenKind, UpdateStatusScreen, DrawStatusScreenTask);
    StatusScreen* screen = TaskWork<StatusScreen>(task);
    screen->alive = 1;
    screen->column = 0;
    screen->page = team;
    screen->stateProc = StartStatusScreen;
    RefreshTeamTasks(screen);
    return 1;
}

void UpdateStatusScreen(Task* task)
{
    StatusScreen* screen = TaskWork<StatusScreen>(task);
    if (screen->stateProc != nullptr)
        screen->stateProc(screen);
    RefreshTeamTasks(screen);
    if (screen->alive == 0) {
        task->alive = 0;
        SetAllTasksMode(kModeResume);
    }
}

void DrawStatusScreenTask(Task* task)
{
    DrawStatusScreen(TaskWork<StatusScreen>(task));
}

void StartStatusScreen(StatusScreen* screen)
{
    screen->stateProc = HandleStatusInput;
}

void HandleStatusInput(StatusScreen* screen)
{
    if (IsKeyPressed(kKeyEscape) || IsKeyPressed(kKeyReturn) || IsKeyPressed(kKeyZ)) {
        screen->alive = 0;
    } else if (IsKeyPressed(kKeyDown)) {
        screen->page = Wrap(screen->page + 1, kStatusTeamCount);
    } else if (IsKeyPressed(kKeyUp)) {
        screen->page = Wrap(screen->page - 1, kStatusTeamCount);
    } else if (IsKeyPressed(kKeyRight)) {
        screen->column = Wrap(screen->column + 1, kColumns);
    } else if (IsKeyPressed(kKeyLeft)) {
        screen->column = Wrap(screen->column - 1, kColumns);
    } else {
        return;
    }
    RequestSoundEffect(kSoundKnock);
}

void RefreshTeamTasks(StatusScreen* screen)
{
    for (int32_t t = 0; t < kStatusTeamCount; ++t)
        screen->teamPiece[t] = FindTeamTask(t);
}

BoardPiece* FindTeamTask(int32_t team)
{
    if (g_tasks == nullptr)
        return nullptr;
    for (int slot = kPieceFirstSlot; slot < kPieceSlotEnd; ++slot) {
        Task* task = &g_tasks[slot];
        if (task->alive == 0 || task->kind != kPieceKind)
            continue;
        BoardPiece* piece = PieceOf(task);
        if ((piece->controller == kControllerPlayer || piece->controller == kControllerComputer) &&
            piece->teamId == team)
            return piece;
    }
    return nullptr;
}

void DrawStatusScreen(const StatusScreen* screen)
{
    const int32_t page = screen->page == 0 || screen->page == 1 ? screen->page : 2;
    FillScreenWithTile(kBackgroundTileRect.left, kBackgroundTileRect.top, kBackgroundTileRect.right,
                       kBackgroundTileRect.bottom);
    DrawAtlasSprite(0.0f, 0.0f, kPageTabRects[page]);
    DrawAtlasSprite(22.0f, 0.0f, kFrameRect);
    DrawTeamLabel(2.0f, page);
    const BoardPiece* piece = screen->teamPiece[page];
    if (piece != nullptr)
        DrawCharacterList(piece, screen->column);
    DrawDirectionHints();
}

void DrawCharacterList(const BoardPiece* piece, int32_t selected)
{
    for (int i = 0; i < kColumns; ++i) {
        const float x = kColumnX + kColumnWidth * static_cast<float>(i);
        const CharacterRecord& member = piece->members[i];
        const SpriteRect& face = member.faceRect;
        const float w = face.right - face.left;
        const float h = face.bottom - face.top;
        const uint32_t colour = member.hitPoints > 0.0f ? kOpaqueWhite : kFadedColour;
        DrawAtlasSprite(x + (kColumnWidth - w) / 2.0f, kFaceBottom - h, face, colour);
        if (i == selected) {
            DrawAtlasSprite(x, kCursorY, kCursorRect);
            DrawCharacterDetail(piece, kDetailY, selected);
        }
    }
    DrawNumberMedium(480.0f, 8.0f, piece->liveCount);
    DrawAtlasSprite(502.0f, 7.0f, kCountSlashRect);
    DrawNumberMedium(530.0f, 8.0f, piece->memberCount);
}

void DrawCharacterDetail(const BoardPiece* piece, float y, int32_t selected)
{
    const float px = RoundToNearest(GetCentredX(kDetailPanelRect.right - kDetailPanelRect.left));
    DrawAtlasSprite(px, y, kDetailPanelRect);
    float r = px;
    for (int k = 0; k < 3; ++k)
        r = DrawAtlasSprite(px + 8.0f, y + 4.0f + 25.0f * static_cast<float>(k), kDetailLabelRects[k]);
    const float r3 = DrawAtlasSprite(px + 8.0f, y + 79.0f, kDetailLabelRects[3]);
    if (selected < 0 || selected >= kColumns)
        return;
    const CharacterRecord& member = piece->members[selected];
    // Profiles exist for the eighteen playable characters only; a monster in a party
    // shows the panel and its labels without name, value or category.
    if (member.id >= 0 && member.id < kPlayableCharacterCount) {
        const CharacterProfile& profile = g_characterProfiles[member.id];
        DrawAtlasSprite(r + 16.0f, y + 4.0f, profile.nameRect);
        DrawNumberMedium(r + 16.0f, y + 30.0f, profile.value);
        if (profile.category >= 0 && profile.category < kCategoryCount)
            DrawAtlasSprite(r + 16.0f, y + 54.0f, kCategoryRects[profile.category]);
    }
    DrawAtlasSprite(r3 + 16.0f, y + 79.0f, member.hitPoints > 0.0f ? kStandingRect : kFallenRect);
}

void DrawDirectionHints()
{
    DrawAtlasSprite(32.0f, 400.0f, kHintLeftRect);
    DrawAtlasSprite(96.0f, 400.0f, kHintRightRect);
    DrawAtlasSprite(64.0f, 432.0f, kHintDownRect);
    DrawAtlasSprite(64.0f, 368.0f, kHintUpRect);
}
