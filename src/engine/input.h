// Keyboard slots, the single source of chance, and rounding.
#pragma once
#include <cstdint>

enum KeySlotId : int {
    kKeyDown = 0,
    kKeyUp = 1,
    kKeyRight = 2,
    kKeyLeft = 3,
    kKeyEscape = 4,
    kKeyControl = 5,
    kKeyReturn = 6,
    kKeyZ = 7,
    kKeySpace = 8,
    kKeyShift = 9,
    kKeyA = 10,
    kKeyS = 11,
    kKeyD = 12,
    kKeySlotCount = 13,
};

struct KeySlot {
    uint16_t current;    // 0x80 while down at the latest poll
    uint16_t previous;   // current of the poll before
    uint32_t virtualKey; // the key code polled for this slot
};

extern KeySlot g_keys[kKeySlotCount];

void InitInput();
void PollInput();
int IsKeyPressed(int slot);
uint16_t GetKeyEdgeBits(uint16_t current, uint16_t previous);
uint32_t KeySlotVirtualKey(int slot); // the key code a slot polls (0 outside 0..12)

void SeedRandom(uint32_t seed); // once at start-up; tests use it for known sequences
int RollRandom(int n);          // one draw modulo n; 0 (still drawing) for n < 1
float RoundToNearest(float x);
