#include "app/app.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "board/race_result.h"
#include "board/world.h"
#include "engine/archive.h"
#include "engine/config.h"
#include "engine/graphics.h"
#include "engine/input.h"
#include "engine/sound.h"
#include "engine/startup_note.h"
#include "engine/task.h"
#include "frontend/title.h"
#include "persist/history.h"
#include "platform/clock.h"
#include "platform/msgbox.h"
#include "platform/window.h"

char g_windowTitle[100];
char g_windowClass[100];

static int s_live = 0;                          // start-up succeeded and no shutdown yet
static int s_inFrame = 0;                       // inside RunFrame's passes
static int s_closePending = 0;                  // a close request came while it could not be acted on
static volatile std::sig_atomic_t s_hangUp = 0; // SIGHUP arrived; the main loop acts on it

// The window's texts: 103 the caption placeholder, 109 the window class.
static const char* LoadResourceString(int id)
{
    switch (id) {
    case 103: return "SUGOROKU";
    case 109: return "VARDUN";
    default: return "";
    }
}

static void CopyString(char* destination, size_t capacity, const char* source)
{
    std::snprintf(destination, capacity, "%s", source);
}

// "ペルタナのすごろく"
static const char kGameTitle[] = "\x83\x79\x83\x8b\x83\x5e\x83\x69\x82\xcc\x82\xb7\x82\xb2\x82\xeb\x82\xad";

int IsGameLive()
{
    return s_live;
}

int InitWorldBuffers()
{
    if (!InitTaskPool())
        return 0;
    return AllocStageBuffers(); // forgets the stage buffers' old pointers first
}

void FreeWorldBuffers()
{
    FreeTaskPool();
    FreeStageBuffers();
}

int InitGameState()
{
    g_running = 1;
    g_tasks = nullptr; // the stage buffers are forgotten by AllocStageBuffers below
    SetDefaultConfig();
    InitInput();
    SeedRandom(static_cast<uint32_t>(std::time(nullptr)));
    g_playerTeam = 0;
    g_stageLayers.stageNumber = 1;
    ResetRaceResult();
    LoadHistory();
    return InitWorldBuffers();
}

// A failed start-up step: stderr says what failed, the box shows while the window and
// everything taken so far still exist, then the step's undo list runs, and only then
// is the window destroyed.
static void FailStartup(int step, const char* message)
{
    if (*StartupFailureNote() != '\0')
        std::fprintf(stderr, "%s\n", StartupFailureNote());
    plat::ShowMessageBox(g_hWnd, message);
    FreeWorldBuffers(); // at step 1 the task pool may exist without the stage buffers
    if (step >= 3)
        ReleaseSound();
    if (step >= 4)
        ReleaseGraphics();
    if (step >= 3)
        FreeDataFile();
    plat::DestroyMainWindow();
    g_hWnd = nullptr;
}

int InitGame(void* window)
{
    g_hWnd = window;
    s_closePending = 0;
    ClearStartupFailureNote();
    if (!InitGameState()) {
        NoteStartupFailure("no memory for the task pool and the stage buffers");
        FailStartup(1, "init pal error");
        return 0;
    }
    if (!LoadDataFile()) {
        FailStartup(2, "data load failed");
        return 0;
    }
    if (!InitSound(window)) {
        FailStartup(3, "direct sound error");
        return 0;
    }
    if (!InitGraphics(window)) {
        FailStartup(4, "direct graphics error");
        return 0;
    }
    // Our clock counts whole milliseconds already; there is no timer period to set.
    s_live = 1;
    OpenTitleScreen();
    return 1;
}

void RenderFrame()
{
    if (!HasGraphicsDevice())
        return;
    BeginFrameDraw();
    DrawAllTasks();
    if (!EndFrameDraw()) {
        // A lost device is created anew; every task keeps its state.
        ReleaseGraphics();
        PlaceMainWindow();
        if (!InitGraphics(g_hWnd))
            g_running = 0;
    }
}

void UpdateFrame()
{
    ClearSoundRequests();
    PollInput();
    UpdateAllTasks();
    FlushSoundRequests();
}

int FrameMayEnd(uint32_t start, uint32_t now)
{
    uint32_t elapsed = now - start;
    return static_cast<double>(elapsed) >= 16.666666 ? 1 : 0;
}

static void WaitForFrameEnd(uint32_t start)
{
    for (;;) {
        uint32_t now = plat::NowMilliseconds();
        if (FrameMayEnd(start, now))
            return;
        uint32_t elapsed = now - start;
        uint32_t left = elapsed < 17 ? 17 - elapsed : 0;
        // Sleep through all but the last millisecond, then watch the clock closely so the
        // next frame starts in the first millisecond allowed.
        if (left > 1)
            plat::SleepMicroseconds((left - 1) * 1000u);
        else
            plat::SleepMicroseconds(100);
    }
}

static void EndFrame()
{
    if (!g_running || s_closePending)
        ShutdownGame();
}

void RunFrame()
{
    if (!s_live)
        return;
    uint32_t start = plat::NowMilliseconds();
    s_inFrame = 1;
    RenderFrame();
    UpdateFrame();
    s_inFrame = 0;
    WaitForFrameEnd(start);
    EndFrame();
}

void RunFrameUnpaced()
{
    if (!s_live)
        return;
    s_inFrame = 1;
    RenderFrame();
    UpdateFrame();
    s_inFrame = 0;
    EndFrame();
}

void ShutdownGame()
{
    if (!s_live)
        return; // already shut down (or never started): the history is written once
    s_live = 0;
    s_closePending = 0;
    WriteSaveFile();
    FreeWorldBuffers();
    FreeDataFile();
    ReleaseSound();
    ReleaseGraphics();
    plat::DestroyMainWindow();
    g_hWnd = nullptr;
}

// A close request is acted on at once between frames; inside a frame (a message box
// opened by a task) it waits until the frame is over.
void HandleCloseRequest()
{
    if (s_inFrame || plat::IsMessageBoxOpen())
        s_closePending = 1;
    else
        ShutdownGame();
}

// A closed terminal ends the game as the desktop's close request does, history written.
static void OnHangUp(int)
{
    s_hangUp = 1;
}

static void CatchHangUp()
{
    struct sigaction action {};
    action.sa_handler = OnHangUp;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGHUP, &action, nullptr);
}

int GameMain(int, char**)
{
    CatchHangUp();
    CopyString(g_windowTitle, sizeof(g_windowTitle), LoadResourceString(103));
    CopyString(g_windowTitle, sizeof(g_windowTitle), kGameTitle);
    CopyString(g_windowClass, sizeof(g_windowClass), LoadResourceString(109));

    // Without a window the program ends with code 0 as it always has; stderr says why.
    if (!plat::InitVideo(g_windowClass)) {
        std::fprintf(stderr, "cannot open the game window: %s\n", plat::LastVideoError());
        return 0;
    }
    int x = 0, y = 0;
    CenterOnDesktop(&x, &y, kClientWidth, kClientHeight);
    void* window = plat::CreateMainWindow(g_windowTitle, x, y, kClientWidth, kClientHeight);
    if (!window) {
        std::fprintf(stderr, "cannot open the game window: %s\n", plat::LastVideoError());
        plat::QuitVideo();
        return 0;
    }
    if (InitGame(window))
        PlaceMainWindow(); // shown, and centred with the frame it now has

    // One pending event or one frame per turn; the loop ends once the game is shut down.
    for (;;) {
        if (s_hangUp) {
            s_hangUp = 0;
            HandleCloseRequest();
        }
        plat::WindowEvent event = plat::PollOneEvent();
        if (event == plat::WindowEvent::CloseRequest) {
            HandleCloseRequest();
            continue;
        }
        if (event != plat::WindowEvent::None)
            continue;
        if (!s_live)
            break;
        RunFrame();
    }
    plat::QuitAll();
    return 0;
}
