// The options screen: six settings flipped with the cursor keys and applied on
// confirmation; a display change rebuilds the graphics device.
#pragma once
#include <cstdint>

#include "engine/sprite.h"
#include "engine/task.h"

constexpr int kOptionRowCount = 6;

enum OptionsOrigin : int32_t {
    kOptionsFromTitle = 0,
    kOptionsInGame = 1,
};

struct OptionsWork {
    int32_t alive;
    float panelY;
    int32_t cursor;                     // selected row 0..5
    int32_t origin;                     // kOptionsFromTitle or kOptionsInGame
    int32_t* settings[kOptionRowCount]; // the settings of rows 0..5
    int32_t copies[kOptionRowCount];    // working values shown and flipped until confirmed
    void (*stateProc)(OptionsWork*);
};
CHECK_TASK_WORK(OptionsWork);

struct OptionRowImages {
    SpriteRect label;
    SpriteRect value[2];
};
extern const OptionRowImages g_optionRows[kOptionRowCount];

constexpr SpriteRect kOptionsTitleRect = {767.0f, 94.0f, 908.0f, 125.0f};
constexpr SpriteRect kOptionsPanelRect = {1590.0f, 1394.0f, 2047.0f, 1565.0f};
constexpr SpriteRect kOptionsHelpRect = {951.0f, 0.0f, 1383.0f, 26.0f};
constexpr float kOptionsLabelX = 140.0f;
constexpr float kOptionsCursorX = 100.0f;
constexpr float kOptionsValueX = 360.0f;
constexpr float kOptionsRowStep = 25.0f;

// How a display change creates the device (InitGraphics); tests put a creation that
// refuses a mode here.
extern int (*g_createDisplayDevice)(void* window);

int OpenOptionsFromTitle();
int CreateOptionsScreen(float panelY, int32_t origin);
void UpdateOptionsScreen(Task* task);
void DrawOptionsScreen(Task* task);
void DrawOptionRows(const OptionsWork* work);
void StartOptionsScreen(OptionsWork* work);
void HandleOptionsInput(OptionsWork* work);
void ApplyOptions(int32_t origin);
void ApplyDisplaySettings();
