// Bitmap-font text (rows of glyph indices) and numbers drawn with digit sprites.
#pragma once
#include <cstdint>

#include "engine/sprite.h"

constexpr int kGlyphRowLength = 24;
constexpr int kTextLineBytes = 48;

void FindGlyph(int32_t* index, const char* character);
// Converts at most 24 double-byte characters, never reading past maxBytes of text.
void ConvertTextToGlyphs(int32_t* row, const char* text, int maxBytes = kTextLineBytes);
// The glyph placement both text windows share: the event's three rows and the battle's one.
void DrawGlyphRow(const int32_t* row, float penX, float rowY);

int SplitDigits(int32_t value, int32_t* digits);
float DrawNumber(float x, float y, int32_t value, int32_t scale, const SpriteRect* digitSet);
float DrawNumberSmall(float x, float y, int32_t value);
float DrawNumberTall(float x, float y, int32_t value);
float DrawNumberMedium(float x, float y, int32_t value);
float DrawNumberLarge(float x, float y, int32_t value);
float DrawNumberMediumEnd(float x, float y, int32_t value);

extern const SpriteRect g_digitsSmall[10];
extern const SpriteRect g_digitsTall[10];
extern const SpriteRect g_digitsMedium[10];
extern const SpriteRect g_digitsLarge[10];

// The message window panel of the atlas (512 x 96) under both text windows, drawn
// translucent (0x96FFFFFF) with its border kept opaque.
constexpr SpriteRect kMessageWindowPanel = {1.0f, 498.0f, 513.0f, 594.0f};
constexpr uint32_t kMessageWindowColour = 0x96FFFFFFu;
void DrawMessageWindowPanel(float x, float y);
