#include "engine/input.h"

#include "platform/keyboard.h"

KeySlot g_keys[kKeySlotCount];

// Virtual-key codes of the slots, in slot order.
static const uint32_t kSlotVirtualKeys[kKeySlotCount] = {
    0x28, // down
    0x26, // up
    0x27, // right
    0x25, // left
    0x1B, // escape
    0x11, // control
    0x0D, // return
    0x5A, // Z
    0x20, // space
    0x10, // shift
    0x41, // A
    0x53, // S
    0x44, // D
};

void InitInput()
{
    for (int slot = 0; slot < kKeySlotCount; ++slot) {
        g_keys[slot].current = 0;
        g_keys[slot].previous = 0;
        g_keys[slot].virtualKey = kSlotVirtualKeys[slot];
    }
}

uint32_t KeySlotVirtualKey(int slot)
{
    return slot >= 0 && slot < kKeySlotCount ? kSlotVirtualKeys[slot] : 0;
}

void PollInput()
{
    for (int slot = 0; slot < kKeySlotCount; ++slot) {
        KeySlot& key = g_keys[slot];
        key.previous = key.current;
        key.current = plat::IsVirtualKeyDown(key.virtualKey) ? 0x80 : 0;
    }
}

uint16_t GetKeyEdgeBits(uint16_t current, uint16_t previous)
{
    return static_cast<uint16_t>((current ^ previous) & current);
}

int IsKeyPressed(int slot)
{
    if (slot < 0 || slot >= kKeySlotCount)
        return 0;
    return (GetKeyEdgeBits(g_keys[slot].current, g_keys[slot].previous) & 0x80) ? 1 : 0;
}

// The game's one source of chance: a 32-bit linear congruential generator whose draws
// are bits 16..30 of the state. Our own, so that a seed gives the same game everywhere.
static uint32_t s_randomState = 1;

void SeedRandom(uint32_t seed)
{
    s_randomState = seed;
}

static int DrawRandom()
{
    s_randomState = s_randomState * 214013u + 2531011u;
    return static_cast<int>((s_randomState >> 16) & 0x7FFF);
}

int RollRandom(int n)
{
    int draw = DrawRandom();
    // A count below 1 (say from an event script) has no valid result; the draw is still
    // made so that the sequence after it stays the same.
    if (n < 1)
        return 0;
    return draw % n;
}

float RoundToNearest(float x)
{
    float shifted = x < 0.0f ? x - 0.5f : x + 0.5f;
    // Truncating NaN or a value outside the 32-bit range is undefined; give the value
    // that the processor's own conversion yields for them.
    double wide = static_cast<double>(shifted);
    if (!(wide > -2147483649.0 && wide < 2147483648.0))
        return -2147483648.0f;
    return static_cast<float>(static_cast<int32_t>(shifted));
}
