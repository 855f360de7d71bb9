// Running the game without a window: the real start-up chain in a given working
// directory, graphics recorded instead of drawn, sound silent, frames back to back
// and keys taken from a script. Tests, tools and benchmarks use it.
#pragma once
#include <cstdint>

// Runs the start-up chain in workDir (it must hold "data.dat"). Returns 1 on success;
// on failure the message that a player would see is in HeadlessLastMessage().
int HeadlessStart(const char* workDir);
const char* HeadlessLastMessage();

void HeadlessSetKeys(uint32_t keysDown); // held from the next frame on
void HeadlessRunFrames(int count);       // stops early once the game has shut down
void HeadlessPressKey(int slot);         // one frame down, then one frame up
int HeadlessIsRunning();                 // 0 once the game has shut down
void HeadlessStop();                     // shuts down if still running and restores the working directory
