#include "app/headless.h"

#include <string>
#include <unistd.h>

#include "app/app.h"
#include "engine/input.h"
#include "platform/backends.h"
#include "platform/keyboard.h"
#include "platform/msgbox.h"

static bool s_started = false; // HeadlessStart ran and HeadlessStop not yet
static std::string s_savedDir; // the working directory to go back to
static std::string s_lastMessage;
static plat::GfxBackend s_previousGfx = plat::GfxBackend::OpenGL;
static plat::AudioBackend s_previousAudio = plat::AudioBackend::Device;

static void ApplyKeys(uint32_t keysDown)
{
    plat::ReleaseAllScriptedKeys();
    for (int slot = 0; slot < kKeySlotCount; ++slot) {
        if (keysDown & (1u << slot))
            plat::SetScriptedKey(KeySlotVirtualKey(slot), true); // the path a keyboard takes
    }
}

static void RestoreDirectory()
{
    if (!s_savedDir.empty()) {
        if (chdir(s_savedDir.c_str()) != 0) {
            // Nothing sensible to do; the next start changes directory anyway.
        }
        s_savedDir.clear();
    }
}

int HeadlessStart(const char* workDir)
{
    if (s_started)
        HeadlessStop();
    s_started = true;
    s_lastMessage.clear();
    plat::ClearLastMessageBoxText();

    char cwd[4096];
    if (getcwd(cwd, sizeof(cwd)))
        s_savedDir = cwd;
    if (!workDir || chdir(workDir) != 0) {
        s_lastMessage = "cannot enter the working directory";
        RestoreDirectory();
        return 0;
    }

    s_previousGfx = plat::SelectedGfxBackend();
    s_previousAudio = plat::SelectedAudioBackend();
    plat::SelectGfxBackend(plat::GfxBackend::Recording);
    plat::SelectAudioBackend(plat::AudioBackend::Silent);
    plat::UseScriptedKeys(true);
    plat::RecordMessageBoxes(true);

    int ok = InitGame(nullptr);
    s_lastMessage = plat::LastMessageBoxText();
    return ok;
}

const char* HeadlessLastMessage()
{
    const std::string& latest = plat::LastMessageBoxText();
    if (!latest.empty())
        s_lastMessage = latest;
    return s_lastMessage.c_str();
}

void HeadlessSetKeys(uint32_t keysDown)
{
    ApplyKeys(keysDown);
}

void HeadlessRunFrames(int count)
{
    for (int i = 0; i < count && IsGameLive(); ++i)
        RunFrameUnpaced();
}

void HeadlessPressKey(int slot)
{
    if (slot < 0 || slot >= kKeySlotCount)
        return;
    ApplyKeys(1u << slot);
    HeadlessRunFrames(1);
    ApplyKeys(0);
    HeadlessRunFrames(1);
}

int HeadlessIsRunning()
{
    return IsGameLive();
}

void HeadlessStop()
{
    if (!s_started)
        return;
    ShutdownGame(); // does nothing when the game has already shut down
    plat::UseScriptedKeys(false);
    plat::RecordMessageBoxes(false);
    plat::SelectGfxBackend(s_previousGfx);
    plat::SelectAudioBackend(s_previousAudio);
    RestoreDirectory();
    s_started = false;
}
