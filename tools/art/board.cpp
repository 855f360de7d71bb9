// The 32 board textures: ground, floors, sea, wall, the five square colours and
// their direction arrows (on a transparent ground).
#include <algorithm>
#include <cmath>

#include "art.h"

namespace art {

const char* const kBoardNames[32] = {
    "black",         "sougen",     "yama",         "yuka_iwa",       "murasaki",    "blue",          "red",
    "road_yuka2",    "sea",        "kabe",         "murasaki_right", "murasaki_up", "murasaki_left", "murasaki_down",
    "blue_right",    "blue_up",    "blue_left",    "blue_down",      "red_right",   "red_up",        "red_left",
    "red_down",      "pink",       "pink_right",   "pink_up",        "pink_left",   "pink_down",     "takoizu",
    "takoizu_right", "takoizu_up", "takoizu_left", "takoizu_down"};

namespace {

// Value noise that repeats every `period` cells, so the tiles join without seams.
float TileNoise(float x, float y, int period, uint32_t seed)
{
    int xi = int(std::floor(x)), yi = int(std::floor(y));
    float fx = x - xi, fy = y - yi;
    auto h = [&](int a, int b) {
        a = ((a % period) + period) % period;
        b = ((b % period) + period) % period;
        return (Hash(uint32_t(a) * 73856093u ^ uint32_t(b) * 19349663u ^ seed * 83492791u) & 0xFFFF) / 65535.0f;
    };
    float u = fx * fx * (3 - 2 * fx), v = fy * fy * (3 - 2 * fy);
    float a = h(xi, yi), b = h(xi + 1, yi), c = h(xi, yi + 1), d = h(xi + 1, yi + 1);
    return a + (b - a) * u + (c - a) * v + (a - b - c + d) * u * v;
}

// Noise over a w x h tile, repeating at the tile's edges.
float TileFbm(int x, int y, int w, uint32_t seed, int baseCells)
{
    float sum = 0, amp = 0.5f, norm = 0;
    int cells = baseCells;
    for (int o = 0; o < 4; ++o) {
        float s = float(cells) / w;
        sum += amp * TileNoise(x * s, y * s, cells, seed + o);
        norm += amp;
        amp *= 0.5f;
        cells *= 2;
    }
    return sum / norm;
}

// Square colours by kind: takoizu (10), pink (11), purple (12), blue (13), red (14).
uint32_t SquareColour(const char* name)
{
    std::string n = name;
    if (n.rfind("takoizu", 0) == 0)
        return Rgb(0xF0B020);
    if (n.rfind("pink", 0) == 0)
        return Rgb(0xF070B0);
    if (n.rfind("murasaki", 0) == 0)
        return Rgb(0x9050D0);
    if (n.rfind("blue", 0) == 0)
        return Rgb(0x3070E0);
    return Rgb(0xE03030);
}

void Textured(Canvas& c, uint32_t dark, uint32_t light, uint32_t seed, int cells, float contrast = 1.0f)
{
    for (int y = 0; y < c.h(); ++y)
        for (int x = 0; x < c.w(); ++x) {
            float n = TileFbm(x, y, c.w(), seed, cells);
            n = 0.5f + (n - 0.5f) * 2.0f * contrast;
            c.Set(x, y, Mix(dark, light, n));
        }
}

void SquareTile(Canvas& c, uint32_t col)
{
    Textured(c, Shade(col, 0.85f), Shade(col, 1.1f), 7, 4, 0.4f);
    Painter p(c);
    // Bevelled edge: light top-left, dark bottom-right.
    for (int i = 0; i < 32; ++i) {
        c.Set(i, 0, Shade(col, 1.5f)), c.Set(0, i, Shade(col, 1.5f));
        c.Set(i, 1, Shade(col, 1.25f)), c.Set(1, i, Shade(col, 1.25f));
        c.Set(i, 31, Shade(col, 0.45f)), c.Set(31, i, Shade(col, 0.45f));
        c.Set(i, 30, Shade(col, 0.65f)), c.Set(30, i, Shade(col, 0.65f));
    }
    p.Ring(16, 16, 8.5f, 8.5f, 1.6f, Paint(WithAlpha(Shade(col, 1.6f), 200)));
    p.Circle(16, 16, 4, Paint(WithAlpha(Shade(col, 1.4f), 150)));
}

void ArrowTile(Canvas& c, uint32_t col, int dir)
{ // dir: 0 right, 1 up, 2 left, 3 down
    // The arrow pointing right, turned for the other directions.
    std::vector<Pt> a = {{3, 11}, {17, 11}, {17, 4}, {29, 16}, {17, 28}, {17, 21}, {3, 21}};
    for (auto& q : a) {
        float x = q.x - 16, y = q.y - 16, rx = x, ry = y;
        if (dir == 1)
            rx = y, ry = -x;
        if (dir == 2)
            rx = -x, ry = -y;
        if (dir == 3)
            rx = -y, ry = x;
        q = {rx + 16, ry + 16};
    }
    Painter p(c);
    p.Shape(
        0, 0, 32, 32, [&](float x, float y) { return SdPoly(a, x, y) - 1.6f; }, Paint(Rgb(0xFFFFFF)));
    p.Shape(
        0, 0, 32, 32, [&](float x, float y) { return SdPoly(a, x, y) - 0.2f; },
        Paint::Lin(16, 4, Shade(col, 1.3f), 16, 28, Shade(col, 0.8f)));
}

} // namespace

Canvas DrawBoardTexture(int i)
{
    std::string name = kBoardNames[i];
    Canvas c(32, name == "kabe" ? 64 : 32, Rgb(0x000000));
    if (name == "black")
        return c;
    if (name == "sougen") {
        Textured(c, Rgb(0x2E7A24), Rgb(0x6CC048), 11, 4);
        for (int k = 0; k < 14; ++k) { // blades of grass
            uint32_t h = Hash(k * 31 + 5);
            int x = h % 32, y = (h >> 8) % 32;
            c.Set(x, y, Rgb(0x9AE070));
            c.Set(x, (y + 1) % 32, Rgb(0x5AA83C));
        }
        return c;
    }
    if (name == "yama") {
        Textured(c, Rgb(0x5A4A36), Rgb(0x9C8A6A), 21, 4, 1.2f);
        return c;
    }
    if (name == "yuka_iwa") {
        Textured(c, Rgb(0x6A6660), Rgb(0xA8A298), 31, 4);
        for (int k = 0; k < 32; ++k) { // flagstone joints
            c.Set(k, 0, Rgb(0x4A4640)), c.Set(0, k, Rgb(0x4A4640));
            c.Set(k, 16, Rgb(0x555048));
            c.Set(k < 16 ? 16 : 8, k, Rgb(0x555048));
        }
        return c;
    }
    if (name == "road_yuka2") {
        Textured(c, Rgb(0xB08A58), Rgb(0xDCC08C), 41, 8, 0.8f);
        for (int k = 0; k < 32; ++k)
            c.Set(k, 0, Rgb(0x9A7446)), c.Set(0, k, Rgb(0x9A7446));
        return c;
    }
    if (name == "sea") {
        Textured(c, Rgb(0x1A4FA0), Rgb(0x3A8AD8), 51, 4);
        Painter p(c);
        for (int k = 0; k < 3; ++k) {
            float y = 6 + k * 11;
            p.Curve({-2, y}, {8, y - 4}, {16, y}, 1.2f, Paint(WithAlpha(Rgb(0xBFE6FF), 170)));
            p.Curve({16, y}, {24, y + 4}, {34, y}, 1.2f, Paint(WithAlpha(Rgb(0xBFE6FF), 170)));
        }
        return c;
    }
    if (name == "kabe") {
        // The side of the ground a wall hangs from: the mountain's rock (the colours of
        // yama), turned away from the light and laid in rough strata, with a lit lip where
        // it meets the top and deeper shade toward its foot. It repeats across, so that
        // the walls of a row of cells run on as one cliff.
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 32; ++x) {
                // Fine grain that repeats every 32 texels, over coarse blotches that do not
                // repeat down the wall.
                float grain = 0.6f * TileFbm(x, y, 32, 21, 4) + 0.4f * TileFbm(x, y / 2, 32, 23, 2);
                float n = 0.5f + (grain - 0.5f) * 2.6f;
                // Strata about eight texels deep; their joints wave along the wall and break
                // off where the rock is light.
                float wave = 1.5f * std::sin(float(x) * 0.19635f) + 1.0f * std::sin(float(x) * 0.39270f + 1.3f);
                float depth = (float(y) + wave + 4.0f * (TileFbm(x, y, 32, 67, 2) - 0.5f)) / 8.0f;
                int band = int(std::floor(depth));
                float inBand = depth - float(band);
                n += 0.18f * (float(Hash(uint32_t(band + 7) * 2654435761u) & 0xFF) / 255.0f - 0.5f);
                if (inBand < 0.12f && n < 0.62f)
                    n -= 0.28f; // the joint between two strata
                else if (inBand < 0.3f)
                    n += 0.08f;                                // the ledge under it catches light
                float shade = 0.82f - 0.3f * float(y) / 63.0f; // away from the light, more so below
                c.Set(x, y, Shade(Mix(Rgb(0x5A4A36), Rgb(0x9C8A6A), std::min(1.0f, std::max(0.0f, n))), shade));
            }
        for (int x = 0; x < 32; ++x) { // the lip along the top edge
            c.Set(x, 0, Shade(c.Get(x, 0), 1.35f));
            c.Set(x, 1, Shade(c.Get(x, 1), 1.15f));
        }
        return c;
    }
    uint32_t col = SquareColour(name.c_str());
    size_t us = name.find('_');
    if (us == std::string::npos) {
        SquareTile(c, col);
        return c;
    }
    c = Canvas(32, 32); // colour key all round the arrow
    std::string d = name.substr(us + 1);
    ArrowTile(c, col, d == "right" ? 0 : d == "up" ? 1 : d == "left" ? 2 : 3);
    return c;
}

} // namespace art
