// Two small screens opened from the title: the full-screen picture and stage select.
#pragma once
#include <cstdint>

#include "engine/sprite.h"
#include "engine/task.h"

constexpr int32_t kStageCount = 3;

struct PictureScreenWork {
    int32_t alive;
    void (*stateProc)(PictureScreenWork*);
};
CHECK_TASK_WORK(PictureScreenWork);

// The selected stage lives only in g_stageLayers.stageNumber.
struct StageSelectWork {
    int32_t alive;
    void (*stateProc)(StageSelectWork*);
};
CHECK_TASK_WORK(StageSelectWork);

// The picture below the glyphs of the 1024 x 1024 font texture.
constexpr SpriteRect kFullScreenPictureRect = {0.0f, 513.0f, 640.0f, 993.0f};
constexpr float kFontTextureSize = 1024.0f;

constexpr SpriteRect kStageHeadingRect = {1212.0f, 1251.0f, 1381.0f, 1283.0f};
constexpr SpriteRect kStagePanelRect = {1010.0f, 943.0f, 1326.0f, 1053.0f};
constexpr SpriteRect kStageLabelRect = {1006.0f, 363.0f, 1058.0f, 380.0f};
constexpr SpriteRect kStageSlashRect = {873.0f, 227.0f, 884.0f, 247.0f};

int OpenPictureScreen();
int CreatePictureScreen();
void UpdatePictureScreen(Task* task);
void DrawPictureScreen(Task* task);
void DrawFullScreenPicture();
void StartPictureScreen(PictureScreenWork* work);
void HandlePictureScreenInput(PictureScreenWork* work);

int OpenStageSelect();
int CreateStageSelect();
void UpdateStageSelect(Task* task);
void DrawStageSelect(Task* task);
void StartStageSelect(StageSelectWork* work);
void HandleStageSelectInput(StageSelectWork* work);
