#include "platform/keyboard.h"

#include <SDL.h>

namespace plat {

static bool s_scripted = false;
static bool s_scriptedDown[256];
static const uint8_t* s_givenState = nullptr;
static int s_givenCount = 0;

void UseKeyboardState(const uint8_t* state, int count)
{
    s_givenState = state;
    s_givenCount = state ? count : 0;
}

void UseScriptedKeys(bool enabled)
{
    s_scripted = enabled;
    ReleaseAllScriptedKeys();
}

bool UsingScriptedKeys()
{
    return s_scripted;
}

void SetScriptedKey(uint32_t virtualKey, bool down)
{
    if (virtualKey < 256)
        s_scriptedDown[virtualKey] = down;
}

void ReleaseAllScriptedKeys()
{
    for (bool& key : s_scriptedDown)
        key = false;
}

static bool ScancodeDown(const Uint8* state, int count, SDL_Scancode code)
{
    return code < count && state[code] != 0;
}

bool IsVirtualKeyDown(uint32_t virtualKey)
{
    if (s_scripted)
        return virtualKey < 256 && s_scriptedDown[virtualKey];

    int count = s_givenCount;
    const Uint8* state = s_givenState ? s_givenState : SDL_GetKeyboardState(&count);
    if (!state)
        return false;
    // Letters go by their position on the keyboard, so the game plays the same on any layout.
    switch (virtualKey) {
    case 0x28: return ScancodeDown(state, count, SDL_SCANCODE_DOWN);
    case 0x26: return ScancodeDown(state, count, SDL_SCANCODE_UP);
    case 0x27: return ScancodeDown(state, count, SDL_SCANCODE_RIGHT);
    case 0x25: return ScancodeDown(state, count, SDL_SCANCODE_LEFT);
    case 0x1B: return ScancodeDown(state, count, SDL_SCANCODE_ESCAPE);
    case 0x11: return ScancodeDown(state, count, SDL_SCANCODE_LCTRL) || ScancodeDown(state, count, SDL_SCANCODE_RCTRL);
    case 0x0D:
        return ScancodeDown(state, count, SDL_SCANCODE_RETURN) || ScancodeDown(state, count, SDL_SCANCODE_KP_ENTER);
    case 0x5A: return ScancodeDown(state, count, SDL_SCANCODE_Z);
    case 0x20: return ScancodeDown(state, count, SDL_SCANCODE_SPACE);
    case 0x10:
        return ScancodeDown(state, count, SDL_SCANCODE_LSHIFT) || ScancodeDown(state, count, SDL_SCANCODE_RSHIFT);
    case 0x41: return ScancodeDown(state, count, SDL_SCANCODE_A);
    case 0x53: return ScancodeDown(state, count, SDL_SCANCODE_S);
    case 0x44: return ScancodeDown(state, count, SDL_SCANCODE_D);
    default: return false;
    }
}

} // namespace plat
