#include "frontend/picture_stage.h"

#include "board/task_table.h"
#include "board/world.h"
#include "engine/assets.h"
#include "engine/input.h"
#include "engine/sound.h"
#include "engine/text.h"
#include "frontend/interface.h"
#include "frontend/title.h"

int OpenPictureScreen()
{
    return CreatePictureScreen();
}

int CreatePictureScreen()
{
    Task* task = CreateTask(kPictureSlot);
    if (task == nullptr)
        return 0;
    StartTask(task, kPictureKind, UpdatePictureScreen, DrawPictureScreen);
    PictureScreenWork* work = TaskWork<PictureScreenWork>(task);
    work->alive = 1;
    work->stateProc = StartPictureScreen;
    return 1;
}

void UpdatePictureScreen(Task* task)
{
    PictureScreenWork* work = TaskWork<PictureScreenWork>(task);
    work->stateProc(work);
    if (TaskWorkAlive(task) == 0) {
        task->alive = 0;
        ReturnToTitle();
    }
}

void DrawPictureScreen(Task*)
{
    DrawFullScreenPicture();
}

void DrawFullScreenPicture()
{
    DrawSprite(0.0f, 0.0f, kFullScreenPictureRect, kFontTextureSize, kFontTextureSize, kOpaqueWhite, g_fontTexture);
}

void StartPictureScreen(PictureScreenWork* work)
{
    work->stateProc = HandlePictureScreenInput;
}

void HandlePictureScreenInput(PictureScreenWork* work)
{
    // Closing the picture is silent.
    if (IsKeyPressed(kKeyZ) || IsKeyPressed(kKeyReturn))
        work->alive = 0;
}

int OpenStageSelect()
{
    return CreateStageSelect();
}

int CreateStageSelect()
{
    Task* task = CreateTask(kStageSelectSlot);
    if (task == nullptr)
        return 0;
    StartTask(task, kStageSelectKind, UpdateStageSelect, DrawStageSelect);
    StageSelectWork* work = TaskWork<StageSelectWork>(task);
    work->alive = 1;
    work->stateProc = StartStageSelect;
    return 1;
}

void UpdateStageSelect(Task* task)
{
    StageSelectWork* work = TaskWork<StageSelectWork>(task);
    work->stateProc(work);
    if (TaskWorkAlive(task) == 0) {
        task->alive = 0;
        ReturnToTitle();
    }
}

void StartStageSelect(StageSelectWork* work)
{
    work->stateProc = HandleStageSelectInput;
}

void HandleStageSelectInput(StageSelectWork* work)
{
    if (IsKeyPressed(kKeyReturn) || IsKeyPressed(kKeyZ)) {
        work->alive = 0;
        RequestSoundEffect(kSoundBlip);
    } else if (IsKeyPressed(kKeyRight) || IsKeyPressed(kKeyDown)) {
        if (++g_stageLayers.stageNumber > kStageCount)
            g_stageLayers.stageNumber = 1;
        RequestSoundEffect(kSoundBlip);
    } else if (IsKeyPressed(kKeyLeft) || IsKeyPressed(kKeyUp)) {
        if (--g_stageLayers.stageNumber < 1)
            g_stageLayers.stageNumber = kStageCount;
        RequestSoundEffect(kSoundBlip);
    }
}

void DrawStageSelect(Task*)
{
    const SpriteRect& tile = kBackgroundTileRect;
    FillScreenWithTile(tile.left, tile.top, tile.right, tile.bottom);
    DrawAtlasSpriteCentredX(kStageHeadingRect, 100.0f);
    DrawAtlasSpriteCentredX(kStagePanelRect, 200.0f);
    DrawAtlasSprite(232.0f, 240.0f, kStageLabelRect);
    DrawNumberMedium(348.0f, 240.0f, g_stageLayers.stageNumber);
    DrawAtlasSprite(378.0f, 239.0f, kStageSlashRect);
    DrawNumberMedium(408.0f, 240.0f, kStageCount);
}
