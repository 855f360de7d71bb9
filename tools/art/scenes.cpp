// Scenic pictures: the title illustration, the world picture of the picture
// screen and the title logo.
#include <algorithm>
#include <cmath>

#include "art.h"

namespace art {

namespace {

struct Sky {
    uint32_t top, horizon, sun, hills0, hills1;
    float sunX, sunY;
    uint32_t cloud = 0xFFFFFFFFu;
    bool stars = false;
};

void Landscape(Canvas& c, Rect d, const Sky& sky, uint32_t seed, bool board)
{
    Painter p(c, float(d.l), float(d.t), 1);
    p.Box(0, 0, 640, 480, Paint::Lin(0, 0, sky.top, 0, 300, sky.horizon));
    if (sky.stars)
        for (int k = 0; k < 60; ++k) {
            uint32_t h = Hash(seed * 31 + k);
            float x = float(h % 640), y = float((h >> 10) % 150), r = 0.6f + ((h >> 20) % 10) / 10.0f;
            p.Circle(x, y, r, Paint(WithAlpha(Rgb(0xFFFFF0), 120 + int((h >> 24) % 120))));
        }
    p.Circle(sky.sunX, sky.sunY, 120,
             Paint::Rad(sky.sunX, sky.sunY, 120, WithAlpha(sky.sun, 150), WithAlpha(sky.sun, 0)));
    p.Circle(sky.sunX, sky.sunY, 34, Paint::Rad(sky.sunX, sky.sunY, 34, Rgb(0xFFFFF0), sky.sun));
    for (int k = 0; k < 6; ++k) { // clouds
        uint32_t h = Hash(seed + k * 7);
        float x = float(h % 640), y = 40 + float((h >> 10) % 140), w = 50 + float((h >> 20) % 60);
        for (int j = 0; j < 5; ++j)
            p.Ellipse(
                x + (j - 2) * w * 0.35f, y - (j % 2) * 10, w * 0.4f, 16 + (j % 2) * 6,
                Paint::Lin(0, y - 20, WithAlpha(sky.cloud, 210), 0, y + 20, WithAlpha(Shade(sky.cloud, 0.8f), 210)));
    }
    // far mountains
    std::vector<Pt> m = {{0, 480}};
    for (int x = 0; x <= 640; x += 16)
        m.push_back({float(x), 230 - 70 * Fbm(x * 0.006f, 1, seed, 4) - 30 * std::sin(x * 0.01f)});
    m.push_back({640, 480});
    p.Poly(m, Paint::Lin(0, 150, Mix(sky.horizon, Rgb(0x5A6A9A), 0.6f), 0, 300, Mix(sky.horizon, Rgb(0x304070), 0.5f)));
    // snow caps
    // rolling hills
    for (int layer = 0; layer < 3; ++layer) {
        std::vector<Pt> h = {{0, 480}};
        float base = 270 + layer * 50.0f;
        for (int x = 0; x <= 640; x += 10)
            h.push_back({float(x), base - 40 * Fbm(x * 0.005f + layer * 3, 2.0f + layer, seed + 5, 3) +
                                       10 * std::sin(x * 0.02f + layer)});
        h.push_back({640, 480});
        uint32_t col = Mix(sky.hills0, sky.hills1, layer / 2.0f);
        p.Poly(h, Paint::Lin(0, base - 50, Shade(col, 1.15f), 0, 480, Shade(col, 0.8f)));
    }
    // a castle on the far hill
    float cx = 470, cy = 236;
    p.Box(cx - 30, cy - 30, cx + 30, cy + 10, Paint(Rgb(0xD8D0E0)));
    for (int k = 0; k < 3; ++k) {
        float tx = cx - 34 + k * 34;
        p.Box(tx - 7, cy - 56 + (k == 1 ? -14 : 0), tx + 7, cy + 10, Paint(Rgb(0xE8E0F0)));
        p.Poly({{tx - 10, cy - 56 + (k == 1 ? -14 : 0)},
                {tx, cy - 80 + (k == 1 ? -14 : 0)},
                {tx + 10, cy - 56 + (k == 1 ? -14 : 0)}},
               Paint(Rgb(0xC83040)));
    }
    p.RoundBox(cx - 6, cy - 10, cx + 6, cy + 10, 5, Paint(Rgb(0x403048)));
    // trees
    for (int k = 0; k < 18; ++k) {
        uint32_t h = Hash(seed * 13 + k);
        float x = float(h % 640), y = 330 + float((h >> 12) % 100), s = 0.7f + ((h >> 20) % 50) / 60.0f;
        p.Box(x - 2 * s, y, x + 2 * s, y + 14 * s, Paint(Rgb(0x5A3A20)));
        p.Circle(x, y - 6 * s, 12 * s, Paint::Rad(x - 4 * s, y - 10 * s, 14 * s, Rgb(0x5AB048), Rgb(0x1E5A24)));
    }
    if (!board)
        return;
    // The board path: coloured squares winding toward the castle, spaced by their size.
    const uint32_t sq[5] = {Rgb(0xF0B020), Rgb(0xF070B0), Rgb(0x9050D0), Rgb(0x3070E0), Rgb(0xE03030)};
    std::vector<Pt> at;
    std::vector<float> size;
    for (float t = 0; t < 1 && at.size() < 40;) {
        float s = 30 * (1 - t * 0.75f);
        at.push_back({150 + 300 * t + 110 * std::sin(t * 6.5f), 462 - 196 * t});
        size.push_back(s);
        t += s * 2.3f / 640;
    }
    for (size_t k = at.size(); k-- > 0;) {
        float x = at[k].x, y = at[k].y, s = size[k], lift = s * 0.16f;
        uint32_t col = sq[k % 5];
        p.Poly({{x - s, y}, {x, y - s * 0.5f}, {x + s, y}, {x, y + s * 0.5f}}, Paint(Shade(col, 0.5f)));
        p.Poly({{x - s, y - lift}, {x, y - s * 0.5f - lift}, {x + s, y - lift}, {x, y + s * 0.5f - lift}},
               Paint::Lin(x, y - s * 0.5f, Shade(col, 1.35f), x, y + s * 0.5f, col));
    }
}

} // namespace

void DrawTitlePicture(Canvas& c, Rect d)
{
    Landscape(c, d, {Rgb(0x3A78D8), Rgb(0xBFE4FF), Rgb(0xFFF0B0), Rgb(0x6ABE50), Rgb(0x2E7A30), 110, 90}, 7, true);
    Painter p(c, float(d.l), float(d.t), 1);
    // Team banners behind the racers
    for (int t = 0; t < 3; ++t) {
        TeamLook tl = TeamColours(t);
        float x = t == 0 ? 380.0f : t == 1 ? 160.0f : 610.0f, y = 300 + 10.0f * (t % 2);
        p.Capsule(x, y, x, y + 130, 2.5f, Paint(Rgb(0x5A4028)));
        p.Poly({{x + 2, y + 2}, {x + 34, y + 12}, {x + 2, y + 30}},
               Paint::Lin(x, y, tl.light, x + 34, y + 30, tl.main));
        p.Circle(x, y - 2, 3.5f, Paint(tl.trim));
    }
    // Three racers, one of each team.
    Rect old = c.clip();
    c.SetClip(Rect{std::max(old.l, d.l), std::max(old.t, d.t), std::min(old.r, d.r), std::min(old.b, d.b)});
    // The two at the sides stand high enough that the version line at the bottom left
    // (0, 464)-(131, 477) falls on the left one's collar, not on her face.
    DrawFigureAt(c, d.l + 478.0f, d.t + 298.0f, 0.72f, 12);
    DrawFigureAt(c, d.l + 18.0f, d.t + 298.0f, 0.72f, 6);
    DrawFigureAt(c, d.l + 246.0f, d.t + 318.0f, 0.76f, 0);
    c.SetClip(old);
}

void DrawWorldPicture(Canvas& c, Rect d)
{
    Sky sky{Rgb(0x22185A), Rgb(0xFF9A60), Rgb(0xFFD080), Rgb(0x6A7A48), Rgb(0x2A3A24), 170, 175};
    sky.cloud = Rgb(0xFFC8B8);
    sky.stars = true;
    Landscape(c, d, sky, 23, true);
}

void DrawLogo(Canvas& c, Rect d)
{
    Painter p(c);
    // A ribbon behind the words.
    p.RoundBox(d.l + 8.0f, d.t + 40.0f, d.r - 8.0f, d.b - 30.0f, 30, Paint(WithAlpha(Rgb(0xF0D078), 240)));
    p.RoundBox(
        d.l + 11.0f, d.t + 43.0f, d.r - 11.0f, d.b - 33.0f, 27,
        Paint::Lin(0, d.t + 43.0f, WithAlpha(Rgb(0x5A3AA0), 235), 0, d.b - 33.0f, WithAlpha(Rgb(0x1A0A48), 235)));
    TextStyle st;
    st.fill = Paint::Lin(0, 0, Rgb(0xFFF8D0), 0, 1, Rgb(0xF09020));
    st.outline = Rgb(0x601808);
    st.outlineWidth = 3.5f;
    st.shadow = WithAlpha(Rgb(0x000000), 160);
    st.embolden = 96;
    st.maxPx = 64;
    st.padX = 10;
    DrawFitted(c, Rect{d.l, d.t + 30, d.r, d.b - 20}, "ペルタナのすごろく", st);
    for (int k = 0; k < 5; ++k) { // twinkles
        float x = d.l + 30.0f + k * 90, y = d.t + 22.0f + (k % 2) * (d.h() - 44);
        p.Poly({{x, y - 9},
                {x + 2.5f, y - 2.5f},
                {x + 9, y},
                {x + 2.5f, y + 2.5f},
                {x, y + 9},
                {x - 2.5f, y + 2.5f},
                {x - 9, y},
                {x - 2.5f, y - 2.5f}},
               Paint(Rgb(0xFFF4B0)));
    }
}

} // namespace art
