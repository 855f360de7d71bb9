// Text through FreeType: strings are rendered into coverage masks, then painted
// onto a canvas with an optional outline and shadow.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "canvas.h"

namespace art {

struct Mask {
    int w = 0, h = 0;
    std::vector<uint8_t> a; // coverage, row-major
    uint8_t At(int x, int y) const { return (x < 0 || y < 0 || x >= w || y >= h) ? 0 : a[size_t(y) * w + x]; }
};

struct InkMask {
    Mask mask;       // cropped to the ink
    int left = 0;    // ink box relative to the pen origin and the baseline
    int top = 0;     // (top is negative above the baseline)
    int advance = 0; // total pen advance in pixels
};

bool OpenFont(const char* path);
void CloseFont();

// Renders UTF-8 text at a pixel size; embolden in 1/64 pixel units (0 = regular).
// vertical = true stacks the characters top to bottom.
InkMask RenderText(const std::string& utf8, int pixelSize, int embolden = 0, bool vertical = false,
                   float xScale = 1.0f);

// Widens a mask by r pixels (for outlines).
Mask Dilate(const Mask& m, float r);

// Paints a mask with its top-left at (x, y).
void PaintMask(Canvas& c, const Mask& m, int x, int y, const Paint& p, float alpha = 1.0f);

struct TextStyle {
    Paint fill = Paint(0xFFFFFFFFu);
    uint32_t outline = 0; // 0 = none
    float outlineWidth = 0;
    uint32_t shadow = 0; // 0 = none; drawn one pixel down-right
    int maxPx = 40;
    int minPx = 8;
    int embolden = 0;
    int padX = 2, padY = 1;
    int align = 0; // 0 centre, -1 left, 1 right
    bool vertical = false;
    float minSqueeze = 0.7f; // narrowest horizontal scale allowed to make a text fit
};

// Paints an ink mask as text in the style (shadow, outline, fill) with the ink's top-left at (x, y).
void PaintText(Canvas& c, const Mask& ink, int x, int y, const TextStyle& s);

// Fits the text into the rectangle (largest size from maxPx down whose ink fits)
// and paints it centred vertically. Returns the pixel size used, 0 when nothing fits.
int DrawFitted(Canvas& c, Rect r, const std::string& utf8, const TextStyle& s);

// UTF-8 to code points.
std::vector<uint32_t> Utf8Decode(const std::string& s);

} // namespace art
