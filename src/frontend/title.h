// The title menu, the two-answer confirm dialog (the quit dialog on the title) and
// the way every screen goes back to the title.
//
// Every front-end screen follows one pattern: a task in a fixed slot whose work
// area starts with its own alive word and holds its current state procedure. The
// first state only installs the input state, so the key press that opened a screen
// is never taken as a key press by that screen.
#pragma once
#include <cstdint>

#include "engine/sprite.h"
#include "engine/task.h"

constexpr int kTitleEntryCount = 8;
constexpr int kTitleColumns = 2;
constexpr int kTitleRows = 4;

struct TitleMenu {
    int32_t alive;  // 1 while the menu runs
    int32_t entry;  // column + 2 x row, recomputed after every input run
    int32_t column; // 0..1
    int32_t row;    // 0..3
    void (*stateProc)(TitleMenu*);
};
CHECK_TASK_WORK(TitleMenu);

using ConfirmAnswerProc = void (*)();

struct ConfirmDialog {
    int32_t alive;
    int32_t answer;   // 0 or 1; answer 0 is always "no"
    SpriteRect panel; // atlas rectangles
    SpriteRect question;
    SpriteRect answers[2]; // answer 0 image, answer 1 image
    ConfirmAnswerProc answerProcs[2];
    void (*stateProc)(ConfirmDialog*);
};
CHECK_TASK_WORK(ConfirmDialog);

// One entry of the title menu: its label in the atlas and the procedure that opens
// its screen (called after every task, the title included, has been killed).
using TitleEntryProc = int (*)();
struct TitleEntry {
    SpriteRect label;
    TitleEntryProc open;
};
extern const TitleEntry g_titleEntries[kTitleEntryCount];

// Title layout, shared with the tests.
constexpr float kTitleCellWidth = 184.0f;
constexpr float kTitleCellX[kTitleColumns] = {138.0f, 321.0f};
constexpr float kTitleFirstCellY = 202.0f;
constexpr float kTitleCellStepY = 30.0f;

constexpr SpriteRect kTitlePictureRect = {1407.0f, 1567.0f, 2047.0f, 2047.0f};
constexpr SpriteRect kTitleLogoRect = {1561.0f, 476.0f, 1976.0f, 645.0f};
constexpr SpriteRect kTitleBottomStripRect = {0.0f, 630.0f, 131.0f, 643.0f};
constexpr SpriteRect kTitleMenuPanelRect = {1010.0f, 1127.0f, 1378.0f, 1249.0f};
constexpr SpriteRect kTitleSelectionBarRect = {370.0f, 709.0f, 551.0f, 737.0f};

constexpr SpriteRect kQuitPanelRect = {553.0f, 566.0f, 843.0f, 737.0f};
constexpr SpriteRect kQuitQuestionRect = {642.0f, 430.0f, 764.0f, 450.0f};

int OpenTitleScreen();
void UpdateTitleTask(Task* task);
void DrawTitleScreen(Task* task);
void StartTitleMenu(TitleMenu* menu);
void HandleTitleMenuInput(TitleMenu* menu);
void DrawAtlasImage(float x, float y, float left, float top, float right, float bottom);

// rects: the question, then answer 0 and answer 1.
int CreateConfirmDialog(const SpriteRect& panel, const SpriteRect rects[3], ConfirmAnswerProc answer0,
                        ConfirmAnswerProc answer1);
void UpdateConfirmDialog(Task* task);
void DrawConfirmDialog(Task* task);
void StartConfirmDialog(ConfirmDialog* dialog);
void HandleConfirmDialogInput(ConfirmDialog* dialog);

int OpenQuitDialog();
void ReturnToTitle();
void QuitFromTitle();
