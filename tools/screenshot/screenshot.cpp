// screenshot --frames N [--keys "<script>"] --out file.png [--data-dir DIR] [--seed S] [--paced]
//
// Runs the game's start-up chain in DIR (the working directory by default; it must hold
// "data.dat") with the OpenGL back end in a window that is never shown, runs N frames
// with the scripted keys (see key_script.h), then draws one more frame and writes what
// it shows, 640 x 480, to a PNG file. Sound is silent and frames run back to back.
// The die and every other draw of chance start from a fixed seed (1 unless --seed), so
// the same command gives the same picture. Without a display, set SDL_VIDEODRIVER=offscreen.
// --paced keeps the game's own 60 frames a second, so that a long run shows how a screen
// behaves over real minutes (scripts/soak.sh samples its memory meanwhile).
// --trace prints the frame at which each screen task (slots 100 and up) starts or ends,
// and at which a square event shows a message or a choice and a battle changes state,
// so that a key script can be aimed at a moment.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/app.h"
#include "battle/battle.h"
#include "board/event.h"
#include "board/event_commands.h"
#include "board/task_table.h"
#include "engine/graphics.h"
#include "engine/input.h"
#include "engine/task.h"
#include "key_script.h"
#include "platform/backends.h"
#include "platform/gfx_device.h"
#include "platform/image_codec.h"
#include "platform/keyboard.h"
#include "platform/msgbox.h"
#include "platform/window.h"

namespace {

struct Options {
    int frames = 0;
    std::string keys;
    std::string out;
    std::string dataDir;
    unsigned long seed = 1;
    bool paced = false;
    bool trace = false;
};

int Usage(const char* message)
{
    if (message)
        std::fprintf(stderr, "screenshot: %s\n", message);
    std::fprintf(stderr, "usage: screenshot --frames N [--keys \"SCRIPT\"] --out FILE.png [--data-dir DIR] [--seed S] "
                         "[--paced] [--trace]\n"
                         "  SCRIPT: steps separated by spaces: a number waits that many frames; KEY\n"
                         "  taps a key; KEY*N holds it N frames; KEY+KEY holds keys together.\n"
                         "  Keys: down up right left escape control return z space shift a s d\n");
    return 2;
}

bool ParseOptions(int argc, char** argv, Options& o, std::string& error)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--paced") {
            o.paced = true;
            continue;
        }
        if (arg == "--trace") {
            o.trace = true;
            continue;
        }
        if (i + 1 >= argc) {
            error = "missing value after " + arg;
            return false;
        }
        const char* value = argv[++i];
        if (arg == "--frames") {
            char* end = nullptr;
            long n = std::strtol(value, &end, 10);
            if (*value == '\0' || *end != '\0' || n < 0 || n > 1000000) {
                error = "--frames takes a count from 0 to 1000000";
                return false;
            }
            o.frames = static_cast<int>(n);
        } else if (arg == "--keys") {
            o.keys = value;
        } else if (arg == "--out") {
            o.out = value;
        } else if (arg == "--data-dir") {
            o.dataDir = value;
        } else if (arg == "--seed") {
            char* end = nullptr;
            o.seed = std::strtoul(value, &end, 10);
            if (*value == '\0' || *end != '\0') {
                error = "--seed takes a whole number";
                return false;
            }
        } else {
            error = "unknown option " + arg;
            return false;
        }
    }
    if (o.out.empty()) {
        error = "--out is required";
        return false;
    }
    return true;
}

// The output path as given, made absolute before the working directory changes.
std::string Absolute(const std::string& path)
{
    if (!path.empty() && path[0] == '/')
        return path;
    char cwd[4096];
    if (!getcwd(cwd, sizeof(cwd)))
        return path;
    return std::string(cwd) + "/" + path;
}

void HoldKeys(uint32_t keysDown)
{
    plat::ReleaseAllScriptedKeys();
    for (int slot = 0; slot < kKeySlotCount; ++slot)
        if (keysDown & (1u << slot))
            plat::SetScriptedKey(KeySlotVirtualKey(slot), true);
}

// One frame as the game runs it, without the wait; window events are taken off the
// queue so that the window system stays content, but the keys come from the script.
void RunOneFrame(bool paced)
{
    while (plat::PollOneEvent() != plat::WindowEvent::None) {
    }
    if (paced)
        RunFrame();
    else
        RunFrameUnpaced();
}

// What --trace compares from one frame to the next.
struct TraceState {
    int32_t kinds[kTaskSlots] = {}; // kind + 1 of a live slot, 0 when free
    const char* eventState = nullptr;
    BattleProc battleProc = nullptr;
};

const char* EventStateName(const EventTask* event)
{
    if (event->stateProc == EventMessageState)
        return "message";
    if (event->stateProc == EventChoiceState || event->stateProc == EventChoiceHoldState)
        return "choice";
    return nullptr;
}

const char* BattleStateName(BattleProc proc)
{
    if (proc == WaitRoundStart)
        return "round start";
    if (proc == RunReels)
        return "reels";
    if (proc == WaitClashResult)
        return "clash";
    if (proc == WaitBattleScene)
        return "3D scene";
    if (proc == ShowBattleMessages)
        return "messages";
    return "other";
}

void TraceFrame(int frame, TraceState& last)
{
    for (int slot = kTurnControllerSlot; slot < kTaskSlots; ++slot) {
        const Task& task = g_tasks[slot];
        const int32_t kind = task.alive ? task.kind + 1 : 0;
        if (kind != last.kinds[slot]) {
            if (last.kinds[slot])
                std::printf("frame %d: slot %d kind %d ends\n", frame, slot, last.kinds[slot] - 1);
            if (kind)
                std::printf("frame %d: slot %d kind %d starts\n", frame, slot, kind - 1);
            last.kinds[slot] = kind;
        }
    }
    Task& eventTask = g_tasks[kEventSlot];
    const char* eventState =
        eventTask.alive && eventTask.kind == kEventKind ? EventStateName(TaskWork<EventTask>(&eventTask)) : nullptr;
    if (eventState && eventState != last.eventState)
        std::printf("frame %d: event %s\n", frame, eventState);
    last.eventState = eventState;
    const BattleWork* battle = RunningBattle();
    const BattleProc battleProc = battle ? battle->battleProc : nullptr;
    if (battleProc && battleProc != last.battleProc)
        std::printf("frame %d: battle %s\n", frame, BattleStateName(battleProc));
    last.battleProc = battleProc;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error))
        return Usage(error.c_str());
    std::vector<KeyScriptStep> steps;
    if (!ParseKeyScript(options.keys, steps, &error))
        return Usage(error.c_str());
    const std::string outPath = Absolute(options.out);
    if (!options.dataDir.empty() && chdir(options.dataDir.c_str()) != 0) {
        std::fprintf(stderr, "screenshot: cannot enter %s\n", options.dataDir.c_str());
        return 1;
    }

    plat::SelectGfxBackend(plat::GfxBackend::OpenGL);
    plat::SelectAudioBackend(plat::AudioBackend::Silent);
    plat::UseScriptedKeys(true);
    plat::RecordMessageBoxes(true); // a failed start-up reports on stderr, no box waits for OK
    if (!plat::InitVideo("sugoroku-screenshot")) {
        std::fprintf(stderr, "screenshot: no video: %s\n", plat::LastVideoError());
        return 1;
    }
    void* window = plat::CreateMainWindow("screenshot", 0, 0, kClientWidth, kClientHeight);
    if (!window) {
        std::fprintf(stderr, "screenshot: cannot open a window: %s\n", plat::LastVideoError());
        plat::QuitVideo();
        return 1;
    }
    if (!InitGame(window)) {
        std::fprintf(stderr, "screenshot: start-up failed: %s\n", plat::LastMessageBoxText().c_str());
        plat::QuitVideo();
        return 1;
    }
    SeedRandom(static_cast<uint32_t>(options.seed));

    int frame = 0;
    TraceState trace;
    // Frame numbers count the frames run before the one printed, as --frames does.
    auto runFrame = [&]() {
        RunOneFrame(options.paced);
        ++frame;
        if (options.trace && IsGameLive())
            TraceFrame(frame, trace);
    };
    for (const KeyScriptStep& step : steps) {
        HoldKeys(step.keysDown);
        for (int i = 0; i < step.frames && frame < options.frames && IsGameLive(); ++i)
            runFrame();
    }
    HoldKeys(0);
    while (frame < options.frames && IsGameLive())
        runFrame();
    if (!IsGameLive()) {
        std::fprintf(stderr, "screenshot: the game ended after %d frames\n", frame);
        plat::QuitVideo();
        return 1;
    }

    // The next frame's draw pass, read back before it is presented.
    std::vector<uint32_t> pixels;
    BeginFrameDraw();
    DrawAllTasks();
    const bool read = g_d3dDevice && g_d3dDevice->ReadPixels(pixels);
    EndFrameDraw();
    ShutdownGame();
    plat::QuitVideo();
    const plat::Viewport& vp = g_viewport;
    if (!read || pixels.size() != static_cast<size_t>(vp.width) * vp.height) {
        std::fprintf(stderr, "screenshot: cannot read the picture back\n");
        return 1;
    }
    if (!plat::WritePngFile(outPath.c_str(), pixels.data(), vp.width, vp.height)) {
        std::fprintf(stderr, "screenshot: cannot write %s\n", outPath.c_str());
        return 1;
    }
    std::printf("%s: %ux%u after %d frames\n", outPath.c_str(), vp.width, vp.height, frame);
    return 0;
}
