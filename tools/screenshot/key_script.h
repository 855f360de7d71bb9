// The key script of the screenshot command: what is held in which frames.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct KeyScriptStep {
    int frames;        // how many frames this step lasts
    uint32_t keysDown; // bit n set: key slot n is held during those frames
};

// Parses a script of steps separated by spaces or commas:
//   40            forty frames with no key down
//   return        Return held for one frame, then one frame with no key
//   down*5        Down held for five frames, then one frame with no key
//   shift+z*3     Shift and Z held together for three frames, then one frame with no key
// Key names (any case): down up right left escape (esc) control (ctrl) return (enter)
// z space shift a s d. Returns false with a reason on anything else.
bool ParseKeyScript(const std::string& text, std::vector<KeyScriptStep>& steps, std::string* error);
