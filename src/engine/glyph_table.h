// The bitmap font's glyph table: CP932 double-byte codes with their rectangles
// in the 1024 x 1024 font texture.
#pragma once

constexpr int kGlyphCount = 367;

struct Glyph {
    char code[4]; // two CP932 bytes and two NULs; empty in entry 0
    float left, top, right, bottom;
};

extern const Glyph g_glyphTable[kGlyphCount];
