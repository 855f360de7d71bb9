// Bitmap-font text as rows of glyph indices, and numbers drawn with digit sprites.
#include "engine/text.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "engine/assets.h"
#include "engine/glyph_table.h"
#include "engine/input.h"

const SpriteRect g_digitsSmall[10] = {
    {748, 29, 758, 41}, {642, 29, 650, 41}, {652, 29, 662, 41}, {664, 29, 674, 41}, {676, 29, 686, 41},
    {688, 29, 698, 41}, {700, 29, 710, 41}, {712, 29, 722, 41}, {724, 29, 734, 41}, {736, 29, 746, 41},
};
const SpriteRect g_digitsTall[10] = {
    {768, 1, 785, 22}, {787, 1, 798, 22}, {800, 1, 816, 22}, {818, 1, 834, 22}, {836, 1, 855, 22},
    {857, 1, 873, 22}, {876, 1, 892, 22}, {894, 1, 911, 22}, {913, 1, 930, 22}, {932, 1, 948, 22},
};
const SpriteRect g_digitsMedium[10] = {
    {942, 343, 952, 360},   {954, 343, 959, 360},   {961, 343, 971, 360},   {973, 343, 983, 360},
    {985, 343, 995, 360},   {997, 343, 1007, 360},  {1009, 343, 1019, 360}, {1021, 343, 1031, 360},
    {1033, 343, 1043, 360}, {1045, 343, 1055, 360},
};
const SpriteRect g_digitsLarge[10] = {
    {1063, 392, 1077, 415}, {1079, 392, 1087, 415}, {1090, 392, 1103, 415}, {1105, 392, 1118, 415},
    {1120, 392, 1134, 415}, {1136, 392, 1148, 415}, {1152, 392, 1164, 415}, {1167, 392, 1179, 415},
    {1183, 392, 1196, 415}, {1199, 392, 1211, 415},
};

namespace {

// The first table entry for each two-byte code, -1 for none: every message line looks
// up each of its characters, and the table is searched once, here.
using GlyphIndex = std::array<int16_t, 65536>;

GlyphIndex MakeGlyphIndex()
{
    GlyphIndex first;
    first.fill(-1);
    for (int i = kGlyphCount - 1; i >= 0; --i) {
        const char* code = g_glyphTable[i].code;
        if (code[0] != '\0' && code[1] != '\0' && code[2] == '\0')
            first[size_t(uint8_t(code[0])) << 8 | uint8_t(code[1])] = static_cast<int16_t>(i);
    }
    return first;
}

} // namespace

void FindGlyph(int32_t* index, const char* character)
{
    *index = 0;
    if (character[0] != '\0' && character[1] != '\0' && character[2] == '\0') {
        static const GlyphIndex kFirst = MakeGlyphIndex();
        const int16_t found = kFirst[size_t(uint8_t(character[0])) << 8 | uint8_t(character[1])];
        *index = found < 0 ? 0 : found;
        return;
    }
    for (int i = 0; i < kGlyphCount; ++i) {
        if (std::strcmp(character, g_glyphTable[i].code) == 0) {
            *index = i;
            return;
        }
    }
}

void ConvertTextToGlyphs(int32_t* row, const char* text, int maxBytes)
{
    for (int i = 0; i < kGlyphRowLength; ++i)
        row[i] = 0;
    if (!text)
        return;
    // Every character is two bytes. The row holds 24 of them; a lead byte without
    // its second byte (a NUL or the end of the buffer) ends the text.
    int position = 0;
    for (int n = 0; n < kGlyphRowLength; ++n) {
        if (position + 1 >= maxBytes || text[position] == '\0' || text[position + 1] == '\0')
            return;
        const char character[3] = {text[position], text[position + 1], '\0'};
        FindGlyph(&row[n], character);
        position += 2;
    }
}

void DrawGlyphRow(const int32_t* row, float penX, float rowY)
{
    // Each glyph is centred in a 20-pixel band that starts 8 pixels below the row,
    // with 4 pixels between glyphs.
    for (int i = 0; i < kGlyphRowLength; ++i) {
        const int32_t index = row[i];
        if (index < 1 || index >= kGlyphCount)
            continue;
        const Glyph& glyph = g_glyphTable[index];
        const SpriteRect rect = {glyph.left, glyph.top, glyph.right, glyph.bottom};
        const float w = rect.right - rect.left;
        const float h = rect.bottom - rect.top;
        const float offset = RoundToNearest((20.0f - h) / 2.0f);
        DrawSprite(penX, rowY + 8.0f + offset, rect, 1024.0f, 1024.0f, 0xFFFFFFFFu, g_fontTexture);
        penX = w + 4.0f + penX;
    }
}

void DrawMessageWindowPanel(float x, float y)
{
    DrawAtlasPanel(x, y, kMessageWindowPanel, kMessageWindowColour);
}

int SplitDigits(int32_t value, int32_t* digits)
{
    if (value < 0) // a sign is not a digit: negative values have none to draw
        return 0;
    int count = 1;
    if (value >= 10) {
        count = 0;
        for (int32_t v = value; v != 0; v /= 10)
            ++count;
    }
    if (count < 1 || count > 7)
        return 0;
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    for (int i = 0; i < count; ++i)
        digits[i] = text[i] - '0';
    return count;
}

float DrawNumber(float x, float y, int32_t value, int32_t scale, const SpriteRect* digitSet)
{
    if (value < 0)
        return 0.0f;
    int32_t digits[7];
    const int n = SplitDigits(value, digits);
    float pen = x;
    float advance = 0.0f;
    const float s = static_cast<float>(scale);
    for (int i = 0; i < n; ++i) {
        const SpriteRect& d = digitSet[digits[i]];
        const float w = (d.right - d.left) * s;
        const float h = (d.bottom - d.top) * s;
        DrawSpriteRect({pen, y, pen + w, y + h}, d, AtlasWidth(), AtlasHeight(), kOpaqueWhite, g_uiAtlas);
        pen = w + 1.0f + pen;
        advance = w + 1.0f + advance;
    }
    return advance;
}

float DrawNumberSmall(float x, float y, int32_t value)
{
    return DrawNumber(x, y, value, 1, g_digitsSmall);
}
float DrawNumberTall(float x, float y, int32_t value)
{
    return DrawNumber(x, y, value, 1, g_digitsTall);
}
float DrawNumberMedium(float x, float y, int32_t value)
{
    return DrawNumber(x, y, value, 1, g_digitsMedium);
}
float DrawNumberLarge(float x, float y, int32_t value)
{
    return DrawNumber(x, y, value, 1, g_digitsLarge);
}
float DrawNumberMediumEnd(float x, float y, int32_t value)
{
    return x + DrawNumber(x, y, value, 1, g_digitsMedium);
}
