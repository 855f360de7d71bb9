// Key state by virtual-key code, the numbers the game's key slots name their keys by.
#pragma once
#include <cstdint>

namespace plat {

// True while the key is down, as of the last window event processed (a press and
// release between two polls is not seen). Either Shift key counts for 0x10 and either
// Control key for 0x11. Auto-repeat never changes the state: a held key stays down.
bool IsVirtualKeyDown(uint32_t virtualKey);

// Headless runs take the keys from a script instead of the keyboard.
void UseScriptedKeys(bool enabled);
bool UsingScriptedKeys();
void SetScriptedKey(uint32_t virtualKey, bool down);
void ReleaseAllScriptedKeys();

// Reads this keyboard state (indexed by SDL scancode, as SDL keeps it) in place of
// SDL's own, so the key-to-slot mapping can be checked without a keyboard; nullptr
// goes back to SDL's.
void UseKeyboardState(const uint8_t* state, int count);

} // namespace plat
