// Places, the end of a race and the ranking screen.
#include "board/ranking.h"

#include "board/characters.h"
#include "board/event.h"
#include "board/piece.h"
#include "board/race_result.h"
#include "board/task_table.h"
#include "board/turn.h"
#include "board/world.h"
#include "engine/assets.h"
#include "engine/input.h"
#include "engine/sound.h"
#include "engine/text.h"
#include "frontend/history_screen.h"
#include "frontend/title.h"
#include "persist/history.h"
#include "persist/history_entry.h"

namespace {

constexpr int kPlaces = 3;

constexpr SpriteRect kPanelRect = {1407.0f, 971.0f, 2047.0f, 1221.0f};
constexpr SpriteRect kHeadingRect = {1063.0f, 363.0f, 1198.0f, 390.0f};
constexpr SpriteRect kPlayerRowRect = {1409.0f, 1223.0f, 2045.0f, 1248.0f};
constexpr uint32_t kPlayerRowColour = 0x96FFFFFFu;
constexpr SpriteRect kPlaceSuffixRect = {1201.0f, 363.0f, 1229.0f, 388.0f};
constexpr SpriteRect kTeamPlateRects[kPlaces] = {
    {1062.0f, 473.0f, 1334.0f, 498.0f},
    {1062.0f, 534.0f, 1252.0f, 558.0f},
    {1062.0f, 502.0f, 1334.0f, 529.0f},
};
constexpr SpriteRect kPlayerLabelRect = {1106.0f, 446.0f, 1214.0f, 471.0f};
constexpr SpriteRect kComputerLabelRect = {1062.0f, 446.0f, 1103.0f, 470.0f};

void FillPlace(int32_t place, const BoardPiece* piece)
{
    g_raceResult.placeTeam[place] = piece->teamId;
    g_raceResult.placeController[place] = piece->controller;
    g_raceResult.placeLeader[place] = piece->members[0].id;
}

float RowY(int place)
{
    return 176.0f + 50.0f * static_cast<float>(place);
}

const SpriteRect* FaceRectOf(int32_t characterId)
{
    if (characterId < 0 || characterId >= kCharacterCount)
        return nullptr;
    return &g_characters[characterId].faceRect;
}

} // namespace

void RecordTeamFinished(EventTask* event)
{
    const int32_t place = g_raceResult.nextPlaceFromTop;
    // Places are taken once each: a team that reaches the goal after all three are
    // taken, or where a place from the bottom already stands, has none left to take.
    if (place < 0 || place >= kPlaces || place > g_raceResult.nextPlaceFromBottom)
        return;
    // A team holds one place: a second goal command for it (the same script run again,
    // or twice on one path) changes nothing.
    if (HasTeamFinished(event->piece->teamId))
        return;
    FillPlace(place, event->piece);
    g_raceResult.playerTeamAtFinish = g_playerTeam;
    g_raceResult.teamsLeft -= 1;
    g_raceResult.nextPlaceFromTop = place + 1;
    if (g_raceResult.nextPlaceFromTop >= kPlaces || g_raceResult.teamsLeft <= 0)
        EndRace();
}

void EndRace()
{
    // A race can also end with places nobody took (every team left or fell first).
    MarkOpenPlacesEmpty();
    g_raceResult.playerTeamAtFinish = g_playerTeam;
    CreateRankingScreen();
    RequestSoundEffect(kSoundFanfare);
    EndRacePieces();
}

void RecordPlaceFromBottom(const BoardPiece* piece)
{
    const int32_t place = g_raceResult.nextPlaceFromBottom;
    // The index may come from a save file; and a place already taken at the goal
    // keeps its team.
    if (place >= 0 && place < kPlaces && place >= g_raceResult.nextPlaceFromTop)
        FillPlace(place, piece);
    g_raceResult.nextPlaceFromBottom = place - 1 < 0 ? 0 : place - 1;
}

void EndRacePieces()
{
    KillTasksOfKind(kPieceKind);
    if (g_tasks[kTurnControllerSlot].alive) {
        TurnController* controller = TurnControllerWork();
        for (BoardPiece*& entry : controller->turnList)
            entry = nullptr;
    }
}

int CreateRankingScreen()
{
    Task* task = CreateTask(kRankingSlot);
    if (task == nullptr)
        return 0;
    DismissAllPieces();
    StartTask(task, kRankingKind, UpdateRankingScreen, DrawRankingScreenTask);
    RankingScreen* work = TaskWork<RankingScreen>(task);
    work->alive = 1;
    work->stateProc = RankingStart;
    return 1;
}

void UpdateRankingScreen(Task* task)
{
    RankingScreen* work = TaskWork<RankingScreen>(task);
    work->stateProc(work);
    if (work->alive == 0)
        task->alive = 0;
}

void DrawRankingScreenTask(Task* task)
{
    DrawRankingScreen(TaskWork<RankingScreen>(task));
}

void RankingStart(RankingScreen* work)
{
    // The key that ended the race must not also close the screen.
    work->stateProc = RankingInput;
}

void RankingInput(RankingScreen* work)
{
    if (IsKeyPressed(kKeyReturn) || IsKeyPressed(kKeyZ)) {
        work->alive = 0;
        RequestSoundEffect(kSoundBlip);
        AddHistoryEntry();
        // Kept on disk at once: a race that ends must not wait for a clean shutdown.
        WriteSaveFile();
        KillAllTasks();
        OpenHistoryScreen();
    } else if (IsKeyPressed(kKeyEscape)) {
        work->alive = 0;
        RequestSoundEffect(kSoundBlip);
        ReturnToTitle();
    }
}

void DrawCharacterIconHalf(float x, float y, int32_t characterId)
{
    const SpriteRect* face = FaceRectOf(characterId);
    if (face == nullptr)
        return;
    DrawSpriteScaled(x, y, *face, 0.5f, AtlasWidth(), AtlasHeight(), kOpaqueWhite, g_uiAtlas);
}

void DrawRankingScreen(const RankingScreen*)
{
    const RaceResult& result = g_raceResult;
    const float px = DrawAtlasSpriteCentredX(kPanelRect, 120.0f);
    DrawAtlasSpriteCentredX(kHeadingRect, 136.0f);
    for (int i = 0; i < kPlaces; ++i) {
        const float rowY = RowY(i);
        const int32_t team = result.placeTeam[i];
        const bool players = team == result.playerTeamAtFinish;
        if (players)
            DrawAtlasSpriteCentredX(kPlayerRowRect, rowY - 1.0f, kPlayerRowColour);
        DrawNumberLarge(px + 8.0f, rowY, i + 1);
        DrawAtlasSprite(px + 28.0f, rowY, kPlaceSuffixRect);
        if (team < 0 || team >= kPlaces)
            continue; // a place nobody took shows no team
        DrawAtlasSprite(px + 78.0f, rowY, kTeamPlateRects[team]);
        DrawAtlasSprite(px + 408.0f, rowY, players ? kPlayerLabelRect : kComputerLabelRect);
    }
    for (int i = kPlaces - 1; i >= 0; --i) {
        const SpriteRect* face = FaceRectOf(result.placeLeader[i]);
        if (face == nullptr)
            continue;
        const float h = face->bottom - face->top;
        DrawCharacterIconHalf(px + 548.0f, 251.0f + 50.0f * static_cast<float>(i) - h, result.placeLeader[i]);
    }
}
