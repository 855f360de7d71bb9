// The interface atlas: every rectangle of the rectangle list gets its picture.
// Elements are drawn clipped to their own rectangle; unused space stays the
// colour key.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "art.h"

namespace art {

const char* const kMonsterNames[7] = {"デーモン", "エビルアイ", "パンプキン", "一角獣", "ドラゴン", "大蜘蛛", "オーク"};
// The three teams share one pattern (a colour and 旅団); the fourth is the roaming monsters.
const char* const kTeamNames[4] = {"紅の旅団", "蒼の旅団", "翠の旅団", "徘徊する魔物"};

TeamLook TeamColours(int team)
{
    switch (team) {
    case 0: return {Rgb(0xC8283C), Rgb(0x6E0E1C), Rgb(0xF07A84), Rgb(0xE8C050)};  // crimson with gold
    case 1: return {Rgb(0x2A56C8), Rgb(0x102A6E), Rgb(0x7EA2F0), Rgb(0xD8DCE6)};  // royal blue with silver
    case 2: return {Rgb(0x2E8A3E), Rgb(0x12461C), Rgb(0x82CC80), Rgb(0x8A5A2E)};  // forest green with brown
    default: return {Rgb(0x7A4A9A), Rgb(0x3A1E4E), Rgb(0xB890D0), Rgb(0x505050)}; // roaming monsters
    }
}

namespace {

// ---- the common look ----
const uint32_t kPanelTop = Rgb(0x2C4290), kPanelBottom = Rgb(0x0E1638);
const uint32_t kGold = Rgb(0xF0D078), kGoldDark = Rgb(0x9A7428);
const uint32_t kInk = Rgb(0x14102A);

TextStyle LabelStyle()
{
    TextStyle s;
    s.fill = Paint(Rgb(0xFFFFFF));
    s.outline = WithAlpha(kInk, 230);
    s.outlineWidth = 1.3f;
    s.padX = 1, s.padY = 0;
    return s;
}

TextStyle HeadingStyle()
{
    TextStyle s = LabelStyle();
    s.fill = Paint::Lin(0, 0, Rgb(0xFFF6C8), 0, 1, Rgb(0xE0A030));
    s.outline = Rgb(0x3A2008);
    s.outlineWidth = 1.6f;
    s.embolden = 40;
    return s;
}

TextStyle GreyStyle()
{
    TextStyle s = LabelStyle();
    s.fill = Paint(Rgb(0x8A8A94));
    s.outline = WithAlpha(Rgb(0x202028), 200);
    return s;
}

// The largest pixel size at which the text's ink fits the rectangle without narrowing.
int LargestFit(Rect r, const std::string& text, const TextStyle& st)
{
    const int extra = int(std::ceil(st.outlineWidth));
    for (int px = std::min(st.maxPx, r.h() + 4); px > st.minPx; --px) {
        InkMask im = RenderText(text, px, st.embolden);
        if (im.mask.h <= r.h() - 2 * st.padY - 2 * extra && im.mask.w <= r.w() - 2 * st.padX - 2 * extra)
            return px;
    }
    return st.minPx;
}

// The options rows: labels and values in one size, each from the left edge of its
// rectangle, so the labels start on one column and the values on another.
TextStyle OptionRowStyle(int px)
{
    TextStyle s = LabelStyle();
    s.align = -1;
    s.outlineWidth = 1.0f; // the shortest rectangle is 17 high
    s.maxPx = s.minPx = px;
    return s;
}

// A 2-px border: a light outer line and a darker inner one.
void Border(Canvas& c, Rect r, uint32_t outer = kGold, uint32_t inner = kGoldDark)
{
    for (int x = r.l; x < r.r; ++x) {
        c.Set(x, r.t, outer), c.Set(x, r.b - 1, outer);
        c.Set(x, r.t + 1, inner), c.Set(x, r.b - 2, inner);
    }
    for (int y = r.t; y < r.b; ++y) {
        c.Set(r.l, y, outer), c.Set(r.r - 1, y, outer);
        if (y > r.t && y < r.b - 1)
            c.Set(r.l + 1, y, inner), c.Set(r.r - 2, y, inner);
    }
}

// A window: opaque 2-px border, plain inside (the game tints it).
void Window(Canvas& c, Rect r)
{
    c.FillPaint(r, Paint::Lin(0, float(r.t), kPanelTop, 0, float(r.b), kPanelBottom));
    Border(c, r);
    // a faint light line inside the border
    for (int x = r.l + 3; x < r.r - 3; ++x)
        c.Blend(x, r.t + 3, Rgb(0x8098E0), 0.35f);
    for (int y = r.t + 4; y < r.b - 3; ++y)
        c.Blend(r.l + 3, y, Rgb(0x8098E0), 0.2f);
}

// A rounded plate with a soft gradient and a thin rim.
void Plate(Canvas& c, Rect r, uint32_t top, uint32_t bottom, uint32_t rim, float radius = 4)
{
    Painter p(c);
    p.RoundBox(float(r.l), float(r.t), float(r.r), float(r.b), radius, Paint(rim));
    p.RoundBox(float(r.l) + 1.5f, float(r.t) + 1.5f, float(r.r) - 1.5f, float(r.b) - 1.5f, radius - 1,
               Paint::Lin(0, float(r.t), top, 0, float(r.b), bottom));
    // gloss on the upper half
    p.RoundBox(float(r.l) + 3, float(r.t) + 2.5f, float(r.r) - 3, float(r.t + r.b) / 2, radius - 2,
               Paint(WithAlpha(Rgb(0xFFFFFF), 40)));
}

void Text(Canvas& c, Rect r, const std::string& s, TextStyle st = LabelStyle())
{
    st.maxPx = std::min(st.maxPx, r.h() + 4);
    if (r.h() <= 15 && st.outline && !st.vertical) {
        // Small print: an outline would fill the strokes in; a drop shadow keeps it legible.
        st.shadow = WithAlpha(st.outline, 220);
        st.outline = 0;
        st.outlineWidth = 0;
        st.embolden = 0;
        st.padY = 0;
    }
    if (!DrawFitted(c, r, s, st)) {
        st.outlineWidth = st.outline ? 1.0f : 0;
        st.padX = 0;
        st.minPx = 6;
        DrawFitted(c, r, s, st);
    }
}

// Texts that the game shows side by side or in turn at one place: one pixel size and one
// baseline for all, whatever the heights of their rectangles. `lift` raises a line's
// baseline inside its rectangle, for a rectangle that the game draws that much lower.
struct Line {
    Rect r;
    std::string text;
    int lift = 0;
    const Paint* fill = nullptr; // the style's fill when null
};

void DrawOnOneBaseline(Canvas& c, const std::vector<Line>& lines, TextStyle st)
{
    int minH = 1 << 20;
    for (const Line& l : lines)
        minH = std::min(minH, l.r.h());
    if (minH <= 15 && st.outline) { // small print, as in Text
        st.shadow = WithAlpha(st.outline, 220);
        st.outline = 0;
        st.outlineWidth = 0;
        st.embolden = 0;
        st.padY = 0;
    }
    // Room for the outline on every side, and for the shadow below and to the right.
    const int extra = int(std::ceil(st.outlineWidth)), shadow = st.shadow ? 1 : 0;
    for (int px = std::min(st.maxPx, minH + 4); px >= st.minPx; --px) {
        std::vector<InkMask> ink;
        int ascent = 0, descent = 0;
        bool fits = true;
        for (const Line& l : lines) {
            InkMask im = RenderText(l.text, px, st.embolden);
            const int room = l.r.w() - 2 * st.padX - 2 * extra - shadow;
            // Narrow the letters a little rather than shrink every line.
            for (float sq = 0.97f; im.mask.w > room && sq >= st.minSqueeze; sq -= 0.03f)
                im = RenderText(l.text, px, st.embolden, false, sq);
            fits = fits && im.mask.w > 0 && im.mask.w <= room;
            ascent = std::max(ascent, -im.top);
            descent = std::max(descent, im.top + im.mask.h);
            ink.push_back(std::move(im));
        }
        int lo = -(1 << 20), hi = 1 << 20; // where the baseline may lie, from the rectangles' tops
        for (const Line& l : lines) {
            lo = std::max(lo, st.padY + extra + ascent + l.lift);
            hi = std::min(hi, l.r.h() - st.padY - extra - shadow - descent + l.lift);
        }
        if (!fits || lo > hi)
            continue;
        const int base = (lo + hi) / 2;
        for (size_t i = 0; i < lines.size(); ++i) {
            const Line& l = lines[i];
            const Mask& m = ink[i].mask;
            const int x = st.align < 0   ? l.r.l + st.padX + extra
                          : st.align > 0 ? l.r.r - st.padX - extra - shadow - m.w
                                         : l.r.l + (l.r.w() - shadow - m.w) / 2;
            TextStyle one = st;
            if (l.fill)
                one.fill = *l.fill;
            c.SetClip(l.r);
            PaintText(c, m, x, l.r.t + base - l.lift + ink[i].top, one);
        }
        c.ResetClip();
        return;
    }
    std::fprintf(stderr, "art_tool: no common size for \"%s\" and the rest\n",
                 lines.empty() ? "" : lines[0].text.c_str());
}

// An opaque plate for words that the game draws over other words or a busy picture:
// every texel of the rectangle is covered, so nothing beneath shows through it.
void SolidPlate(Canvas& c, Rect r)
{
    c.FillPaint(r, Paint::Lin(0, float(r.t), Rgb(0x26387A), 0, float(r.b), Rgb(0x0E1638)));
    for (int x = r.l; x < r.r; ++x)
        c.Set(x, r.t, kGold), c.Set(x, r.b - 1, kGoldDark);
    for (int y = r.t; y < r.b; ++y)
        c.Set(r.l, y, kGold), c.Set(r.r - 1, y, kGoldDark);
}

// Lead mark of the command menu's page titles.
void Diamond(Canvas& c, Rect r)
{
    Painter p(c);
    float cx = r.l + r.w() / 2.0f, cy = r.t + r.h() / 2.0f, s = std::min(r.w(), r.h()) * 0.36f;
    std::vector<Pt> d = {{cx, cy - s}, {cx + s, cy}, {cx, cy + s}, {cx - s, cy}};
    p.Shape(
        cx - s - 2, cy - s - 2, cx + s + 2, cy + s + 2, [&](float x, float y) { return SdPoly(d, x, y) - 1.2f; },
        Paint(kInk));
    p.Poly(d, Paint::Lin(cx, cy - s, Rgb(0xFFF0B0), cx, cy + s, Rgb(0xD09020)));
}

// Arrow triangle: dir 0 right, 1 up, 2 left, 3 down.
void Arrow(Canvas& c, Rect r, int dir, uint32_t col)
{
    Painter p(c);
    float cx = r.l + r.w() / 2.0f, cy = r.t + r.h() / 2.0f, s = std::min(r.w(), r.h()) * 0.36f;
    std::vector<Pt> t = {{s, 0}, {-s * 0.7f, -s}, {-s * 0.7f, s}};
    for (auto& q : t) {
        float x = q.x, y = q.y;
        if (dir == 1)
            q = {y, -x};
        else if (dir == 2)
            q = {-x, -y};
        else if (dir == 3)
            q = {-y, x};
        q.x += cx, q.y += cy;
    }
    p.Shape(
        float(r.l), float(r.t), float(r.r), float(r.b), [&](float x, float y) { return SdPoly(t, x, y) - 1.8f; },
        Paint(kInk));
    p.Poly(t, Paint::Lin(cx, cy - s, Shade(col, 1.4f), cx, cy + s, Shade(col, 0.8f)));
}

// ---- digits ----
struct DigitSet {
    const char* prefix;
    int top, bottom;
    int lr[10][2];
};
const DigitSet kDigitSets[4] = {
    {"digit_small_",
     29,
     41,
     {{748, 758},
      {642, 650},
      {652, 662},
      {664, 674},
      {676, 686},
      {688, 698},
      {700, 710},
      {712, 722},
      {724, 734},
      {736, 746}}},
    {"digit_tall_",
     1,
     22,
     {{768, 785},
      {787, 798},
      {800, 816},
      {818, 834},
      {836, 855},
      {857, 873},
      {876, 892},
      {894, 911},
      {913, 930},
      {932, 948}}},
    {"digit_medium_",
     343,
     360,
     {{942, 952},
      {954, 959},
      {961, 971},
      {973, 983},
      {985, 995},
      {997, 1007},
      {1009, 1019},
      {1021, 1031},
      {1033, 1043},
      {1045, 1055}}},
    {"digit_large_",
     392,
     415,
     {{1063, 1077},
      {1079, 1087},
      {1090, 1103},
      {1105, 1118},
      {1120, 1134},
      {1136, 1148},
      {1152, 1164},
      {1167, 1179},
      {1183, 1196},
      {1199, 1211}}},
};

TextStyle DigitStyle(int set)
{
    TextStyle s;
    s.fill = set == 3 ? Paint::Lin(0, 0, Rgb(0xFFF4B0), 0, 1, Rgb(0xF09A20))
                      : Paint::Lin(0, 0, Rgb(0xFFFFFF), 0, 1, Rgb(0xC8D8F0));
    s.outline = kInk;
    // The medium digits are 10 texels wide (the 1 only 5): a thin outline leaves their
    // strokes the room that the 1 has, so the two read as one style.
    s.outlineWidth = set == 0 || set == 2 ? 0.8f : 1.2f;
    s.embolden = set == 0 ? 16 : 48;
    s.padX = 0, s.padY = 0;
    return s;
}

// One pixel size per set, from the height and the usual digit width; the narrow 1
// of each set is narrowed further when drawn.
int DigitSize(int set)
{
    const DigitSet& d = kDigitSets[set];
    TextStyle s = DigitStyle(set);
    int extra = 2 * int(std::ceil(s.outlineWidth));
    for (int px = 40; px > 6; --px) {
        bool ok = true;
        for (int k = 0; k < 10 && ok; ++k) {
            if (k == 1)
                continue;
            InkMask m = RenderText(std::string(1, char('0' + k)), px, s.embolden);
            ok = m.mask.h + extra <= d.bottom - d.top && (m.mask.w + extra) * 0.7f <= d.lr[k][1] - d.lr[k][0];
        }
        if (ok)
            return px;
    }
    return 6;
}

// The 1 of every set has too narrow a rectangle for the font's 1 at the set's size and
// outline, so it is drawn here: a stem as tall as the other digits with a flag at its top
// and a foot at its base, in their outline and fill. A plain bar would read as "|".
void DrawDigitOne(Canvas& c, Rect r, int inkHeight, int size, const TextStyle& st)
{
    if (r.h() < 20) {
        // The small sets are drawn texel by texel: a stem, a flag and a three-texel foot
        // inside a one-texel outline, the way small print draws its 1. From 16 pixels up the
        // font's strokes are two texels wide, and so is the stem; a foot would then stand out
        // to one side only, so that 1 has its flag alone, like the font's other digits.
        const int h = std::min(inkHeight, r.h() - 2);
        const int top = r.t + (r.h() - h) / 2, bottom = top + h - 1;
        const int x = r.l + (r.w() - 5) / 2 + 2; // the stem; the glyph is five texels wide
        const bool wideStem = size >= 16;
        std::vector<std::pair<int, int>> ink;
        for (int y = top; y <= bottom; ++y) {
            ink.push_back({x, y});
            if (wideStem)
                ink.push_back({x + 1, y});
        }
        ink.push_back({x - 1, top + 1});
        if (h >= 12)
            ink.push_back({x - 1, top + 2});
        if (!wideStem) {
            ink.push_back({x - 1, bottom});
            ink.push_back({x + 1, bottom});
        }
        auto isInk = [&](int px, int py) {
            return std::find(ink.begin(), ink.end(), std::make_pair(px, py)) != ink.end();
        };
        for (int y = top - 1; y <= bottom + 1; ++y)
            for (int px = x - 2; px <= x + 2; ++px) {
                if (isInk(px, y))
                    continue;
                // Soft like the font's outlines: beside the ink darker than at its corners.
                const bool side = isInk(px - 1, y) || isInk(px + 1, y) || isInk(px, y - 1) || isInk(px, y + 1);
                const bool corner =
                    isInk(px - 1, y - 1) || isInk(px + 1, y - 1) || isInk(px - 1, y + 1) || isInk(px + 1, y + 1);
                if (side || corner)
                    c.Blend(px, y, st.outline, side ? 0.8f : 0.4f);
            }
        Paint fill = st.fill;
        fill.x0 = fill.x1 = float(x);
        fill.y0 = float(top);
        fill.y1 = float(bottom + 1);
        for (const auto& [px, py] : ink)
            c.Set(px, py, fill.At(px + 0.5f, py + 0.5f));
        return;
    }
    const float w = float(r.w());
    const float h = float(std::min(inkHeight, r.h() - 2));
    const float top = r.t + (r.h() - h) / 2, bottom = top + h;
    const float ow = w < 7 ? 0.75f : std::min(st.outlineWidth, 1.0f);
    const float half = std::max(0.8f, std::min(size / 12.0f, w * 0.12f)); // half the stem's width
    const float stem = r.l + w * 0.6f;
    const float left = r.l + ow + 0.2f, right = r.r - ow - 0.2f;
    const float footH = std::max(1.2f, half * 1.3f);
    const float flagY = top + h * 0.3f;
    auto boxDist = [](float x, float y, float l, float t, float rr, float b) {
        const float dx = std::max(l - x, x - rr), dy = std::max(t - y, y - b);
        return dx > 0 && dy > 0 ? std::hypot(dx, dy) : std::max(dx, dy);
    };
    auto one = [&](float x, float y) {
        const float stemD = boxDist(x, y, stem - half, top, stem + half, bottom);
        const float flagD =
            SdSegment(x, y, stem - half * 0.5f, top + half * 0.6f, left + half * 0.6f, flagY) - half * 0.8f;
        const float footD = boxDist(x, y, left, bottom - footH, right, bottom);
        return std::min({stemD, flagD, footD});
    };
    Painter p(c);
    p.Shape(
        float(r.l), float(r.t), float(r.r), float(r.b), [&](float x, float y) { return one(x, y) - ow; },
        Paint(st.outline), 0.8f);
    Paint fill = st.fill;
    fill.x0 = fill.x1 = stem;
    fill.y0 = top;
    fill.y1 = bottom;
    p.Shape(float(r.l), float(r.t), float(r.r), float(r.b), one, fill);
}

void DrawDigits(Canvas& c)
{
    for (int set = 0; set < 4; ++set) {
        const DigitSet& d = kDigitSets[set];
        int size = DigitSize(set);
        // The ink height of the set's other digits, for the 1 drawn by hand below.
        const InkMask zero = RenderText("0", size, DigitStyle(set).embolden);
        for (int k = 0; k < 10; ++k) {
            Rect r{d.lr[k][0], d.top, d.lr[k][1], d.bottom};
            c.SetClip(r);
            if (k == 1) {
                DrawDigitOne(c, r, zero.mask.h, size, DigitStyle(set));
                continue;
            }
            bool drawn = false;
            for (int px = size; px > 5 && !drawn; --px)
                for (float outline : {DigitStyle(set).outlineWidth, 0.7f}) {
                    TextStyle s = DigitStyle(set);
                    s.maxPx = s.minPx = px;
                    s.outlineWidth = outline;
                    s.minSqueeze = 0.35f;
                    if (DrawFitted(c, r, std::string(1, char('0' + k)), s)) {
                        drawn = true;
                        break;
                    }
                }
        }
    }
    c.ResetClip();
}

// Slash and date units in the style of the digits beside them.
void DigitLike(Canvas& c, Rect r, const std::string& s, int set)
{
    TextStyle st = DigitStyle(set);
    st.maxPx = r.h() + 4;
    DrawFitted(c, r, s, st);
}

// ---- larger pieces ----

void BackgroundTile(Canvas& c, Rect r)
{
    // A quiet diagonal lattice that repeats every 32 texels.
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            float d1 = std::fabs(float(((x + y) % 32) - 16)), d2 = std::fabs(float(((x - y + 64) % 32) - 16));
            float line =
                std::max(0.0f, 1.5f - std::min(d1, d2) * 0.0f - std::min(std::fabs(d1 - 16), std::fabs(d2 - 16)));
            uint32_t base = Mix(Rgb(0x1E2A5A), Rgb(0x18224C), std::fabs(x + y - 31.0f) / 31.0f);
            uint32_t col = Mix(base, Rgb(0x34488E), std::min(1.0f, line * 0.6f));
            float dot = std::hypot(x - 16.0f, y - 16.0f);
            if (dot < 2.2f)
                col = Mix(col, Rgb(0x8090D8), (2.2f - dot) / 2.2f * 0.8f);
            c.Set(r.l + x, r.t + y, col);
        }
}

void Bar(Canvas& c, Rect r, uint32_t top, uint32_t bottom, float alphaTop = 1, float alphaBottom = 1)
{
    for (int y = r.t; y < r.b; ++y) {
        float t = r.h() > 1 ? float(y - r.t) / (r.h() - 1) : 0;
        uint32_t col = Mix(top, bottom, t);
        float a = alphaTop + (alphaBottom - alphaTop) * t;
        for (int x = r.l; x < r.r; ++x)
            c.Blend(x, y, col, a);
    }
}

void Gauge(Canvas& c, Rect r, uint32_t col)
{
    for (int y = r.t; y < r.b; ++y) {
        float t = float(y - r.t) / (r.h() - 1);
        float shine = t < 0.35f ? 1.55f - t : (t > 0.85f ? 0.6f : 1.0f - (t - 0.35f) * 0.5f);
        uint32_t v = Shade(col, shine);
        if (y == r.t || y == r.b - 1)
            v = Shade(col, 0.45f);
        for (int x = r.l; x < r.r; ++x)
            c.Set(x, y, v);
    }
}

void BattleFrame(Canvas& c, Rect r)
{
    // Dark stone-blue backdrop with a soft vignette and a faint pattern.
    for (int y = r.t; y < r.b; ++y)
        for (int x = r.l; x < r.r; ++x) {
            float fx = (x - r.l) / 640.0f, fy = (y - r.t) / 480.0f;
            float v = 1.0f - 0.55f * ((fx - 0.5f) * (fx - 0.5f) + (fy - 0.45f) * (fy - 0.45f)) * 3;
            float n = Fbm(x * 0.03f, y * 0.03f, 99, 4);
            uint32_t col = Mix(Rgb(0x0C1230), Rgb(0x2A2060), std::clamp(v * 0.8f + (n - 0.5f) * 0.5f, 0.0f, 1.0f));
            c.Set(x, y, col);
        }
    Painter p(c);
    // A glowing emblem between the windows.
    p.Circle(r.l + 320.0f, r.t + 194.0f, 44,
             Paint::Rad(320, 194, 44, WithAlpha(Rgb(0xFFB040), 140), WithAlpha(Rgb(0xFF4020), 0)));
    TextStyle vs = HeadingStyle();
    vs.maxPx = 46;
    Text(c, Rect{r.l + 276, r.t + 168, r.l + 364, r.t + 222}, "VS", vs);
    // Reel windows: golden rims around transparent holes.
    for (int wx : {60, 380}) {
        Rect win{r.l + wx, r.t + 64, r.l + wx + 200, r.t + 324};
        p.RoundBox(win.l - 7.0f, win.t - 7.0f, win.r + 7.0f, win.b + 7.0f, 6, Paint(Rgb(0x2A1A08)));
        p.RoundBox(win.l - 5.0f, win.t - 5.0f, win.r + 5.0f, win.b + 5.0f, 5,
                   Paint::Lin(0, float(win.t), Rgb(0xFFE9A0), 0, float(win.b), Rgb(0xA06A18)));
        p.RoundBox(win.l - 2.0f, win.t - 2.0f, win.r + 2.0f, win.b + 2.0f, 2, Paint(Rgb(0x3A2408)));
        c.Fill(win, kKey);
        // Gauge trough and count plate.
        Rect trough{r.l + wx - 2, r.t + 368, r.l + wx + 202, r.t + 402};
        p.RoundBox(float(trough.l), float(trough.t), float(trough.r), float(trough.b), 3, Paint(Rgb(0x050810)));
        p.RoundBox(trough.l + 1.0f, trough.t + 1.0f, trough.r - 1.0f, trough.b - 1.0f, 3, Paint(Rgb(0x1A2038)));
        Plate(c, Rect{r.l + wx + 64, r.t + 430, r.l + wx + 140, r.t + 464}, Rgb(0x2C2A50), Rgb(0x141230), Rgb(0x8A7040),
              6);
        // The side's caption beside its count.
        TextStyle cap = HeadingStyle();
        cap.maxPx = 16;
        cap.embolden = 0;
        cap.outlineWidth = 1.2f;
        Text(c, Rect{r.l + wx - 4, r.t + 432, r.l + wx + 62, r.t + 462}, wx == 60 ? "ENEMY" : "PARTY", cap);
    }
    // Gauge labels at the outer ends.
    TextStyle small = LabelStyle();
    small.maxPx = 14;
    Text(c, Rect{r.l + 4, r.t + 374, r.l + 56, r.t + 396}, "HP", small);
    Text(c, Rect{r.l + 584, r.t + 374, r.l + 636, r.t + 396}, "HP", small);
    // Ornamental outer border.
    for (int i = 0; i < 3; ++i) {
        uint32_t col = i == 1 ? kGold : kGoldDark;
        for (int x = r.l; x < r.r; ++x)
            c.Set(x, r.t + i, col), c.Set(x, r.b - 1 - i, col);
        for (int y = r.t; y < r.b; ++y)
            c.Set(r.l + i, y, col), c.Set(r.r - 1 - i, y, col);
    }
}

void CardFrame(Canvas& c, Rect r)
{
    Painter p(c);
    c.FillPaint(r, Paint::Lin(0, float(r.t), Rgb(0x3A2A6A), 0, float(r.b), Rgb(0x18102E)));
    float cx = r.l + 100.0f, cy = r.t + 130.0f;
    for (int k = 0; k < 8; ++k) {
        float a = k * 3.14159f / 4;
        p.Capsule(cx, cy, cx + std::cos(a) * 80, cy + std::sin(a) * 80, 1.2f, Paint(WithAlpha(Rgb(0xB090E0), 60)));
    }
    p.Ring(cx, cy, 60, 60, 3, Paint(WithAlpha(kGold, 150)));
    p.Ring(cx, cy, 44, 44, 1.5f, Paint(WithAlpha(kGold, 110)));
    std::vector<Pt> star;
    for (int k = 0; k < 10; ++k) {
        float a = -3.14159f / 2 + k * 3.14159f / 5, rr = k % 2 ? 14 : 32;
        star.push_back({cx + std::cos(a) * rr, cy + std::sin(a) * rr});
    }
    p.Poly(star, Paint(WithAlpha(kGold, 170)));
    p.RoundBox(r.l + 4.0f, r.t + 4.0f, r.r - 4.0f, r.b - 4.0f, 8, Paint(WithAlpha(kGold, 0)));
    Border(c, r);
}

void Mark(Canvas& c, Rect r, const std::string& s, uint32_t top, uint32_t bottom, uint32_t rim)
{
    Painter p(c);
    p.RoundBox(r.l + 1.0f, r.t + 1.0f, r.r - 1.0f, r.b - 1.0f, 10, Paint(WithAlpha(rim, 235)));
    p.RoundBox(r.l + 3.0f, r.t + 3.0f, r.r - 3.0f, r.b - 3.0f, 8,
               Paint::Lin(0, float(r.t), top, 0, float(r.b), bottom));
    TextStyle st = HeadingStyle();
    st.fill = Paint::Lin(0, 0, Rgb(0xFFFFFF), 0, 1, Rgb(0xFFE8A0));
    st.outline = Shade(rim, 0.4f);
    st.outlineWidth = 2;
    st.padX = 6, st.padY = 4;
    Text(c, r, s, st);
}

void Minimarker(Canvas& c, Rect r, uint32_t col)
{
    Painter p(c);
    float cx = r.l + 8.0f, cy = r.t + 8.0f;
    p.Circle(cx, cy, 6.5f, Paint(Rgb(0xFFFFFF)));
    p.Circle(cx, cy, 5, Paint::Rad(cx - 1.5f, cy - 1.5f, 6, Shade(col, 1.5f), Shade(col, 0.8f)));
}

void TeamTab(Canvas& c, Rect r, int team)
{
    TeamLook t = TeamColours(team);
    c.FillPaint(r, Paint::Lin(float(r.l), 0, t.light, float(r.r), 0, t.main));
    for (int y = r.t; y < r.b; ++y)
        c.Set(r.l, y, t.trim), c.Set(r.r - 1, y, t.dark);
    for (int x = r.l; x < r.r; ++x)
        c.Set(x, r.t, t.trim), c.Set(x, r.b - 1, t.dark);
    TextStyle st = LabelStyle();
    st.vertical = true;
    st.maxPx = 17;
    const char* names[3] = {"チーム１", "チーム２", "チーム３"};
    Text(c, Rect{r.l, r.t + 8, r.r, r.b - 8}, names[team], st);
}

void CategoryIcon(Canvas& c, Rect r, int k)
{
    const uint32_t cols[4] = {Rgb(0xD08A40), Rgb(0x40A070), Rgb(0x8A6A40), Rgb(0x8040A0)};
    const char* text[4] = {"人間", "妖精", "獣人", "魔族"};
    Plate(c, r, Shade(cols[k], 1.3f), Shade(cols[k], 0.7f), Shade(cols[k], 0.4f), 5);
    TextStyle st = LabelStyle();
    st.maxPx = 14;
    Text(c, Rect{r.l + 2, r.t + 1, r.r - 2, r.b - 1}, text[k], st);
}

void MembersIcon(Canvas& c, Rect r)
{
    Painter p(c);
    for (int k = 0; k < 2; ++k) {
        float cx = r.l + 8.0f + k * 10, top = r.t + 1.0f;
        uint32_t col = k ? Rgb(0xA8C8F8) : Rgb(0xFFFFFF);
        p.Circle(cx, top + 3.5f, 3.2f, Paint(col));
        p.RoundBox(cx - 4.5f, top + 7.5f, cx + 4.5f, top + 13, 3, Paint(col));
    }
}

void DieMark(Canvas& c, Rect r)
{
    Painter p(c);
    p.RoundBox(r.l + 1.0f, r.t + 0.5f, r.l + 12.0f, r.b - 0.5f, 2.5f, Paint(Rgb(0xFFFFFF)));
    const float pips[3][2] = {{3.8f, 3.3f}, {6.5f, 6}, {9.2f, 8.7f}};
    for (auto& q : pips)
        p.Circle(r.l + q[0], r.t + q[1], 1.1f, Paint(Rgb(0xD02020)));
    TextStyle st = DigitStyle(0);
    st.fill = Paint(Rgb(0xFFD040));
    Text(c, Rect{r.l + 13, r.t, r.r, r.b}, "×3", st);
}

void Cursor(Canvas& c, Rect r)
{
    Painter p(c);
    std::vector<Pt> t = {{r.l + 1.5f, r.t + 2.0f}, {r.r - 1.0f, r.t + r.h() / 2.0f}, {r.l + 1.5f, r.b - 2.0f}};
    p.Shape(
        float(r.l), float(r.t), float(r.r), float(r.b), [&](float x, float y) { return SdPoly(t, x, y) - 0.9f; },
        Paint(kInk));
    p.Poly(t, Paint::Lin(0, float(r.t), Rgb(0xFFF6C0), 0, float(r.b), Rgb(0xE0A020)));
}

// Face icons are drawn full size (status screen, event portraits) and at half size
// (ranking, history), each at a place worked out from its own rectangle's size, and the
// rectangles differ (83 to 132 high). Every face is therefore one card of one size,
// standing on the rectangle's bottom edge and centred across it, with the rest left
// transparent: half-size cards keep within their rows and full-size ones within the
// status screen's columns. The monster's rectangle serves only as an event portrait,
// so its card sits where the others' do.
Rect FaceCard(Rect r, int id)
{
    constexpr int kW = 78, kH = 76;
    const int l = id == 18 ? r.l + 5 : r.l + (r.w() - kW) / 2;
    return Rect{l, r.b - kH, l + kW, r.b};
}

// The options' key help lies across the board's status bar when the options are opened
// in a race, and the bar's own words take its lower half: the help stands in the upper
// half on a plate of its own, and the lower half stays transparent.
void HelpLine(Canvas& c, Rect r)
{
    const std::string words = "↑↓：項目　←→：切り替え　Ｚ：決定";
    TextStyle st = LabelStyle();
    st.shadow = WithAlpha(kInk, 220);
    st.outline = 0;
    st.outlineWidth = 0;
    int px = 13;
    InkMask im = RenderText(words, px);
    while (px > 8 && im.mask.h > 11)
        im = RenderText(words, --px);
    const int w = im.mask.w + 24, top = r.t, bottom = r.t + 13;
    const Rect plate{r.l + (r.w() - w) / 2, top, r.l + (r.w() - w) / 2 + w, bottom};
    SolidPlate(c, plate);
    PaintText(c, im.mask, plate.l + 12, top + (13 - im.mask.h) / 2, st);
}

// The automatic-play banner stands over the board at the top right: a badge of its own
// with a little room to the screen's edge, so it reads over light squares.
void AutoplayBadge(Canvas& c, Rect r)
{
    const Rect plate{r.l, r.t, r.r - 4, r.b};
    SolidPlate(c, plate);
    TextStyle st = LabelStyle();
    st.fill = Paint(Rgb(0xFFF0B0));
    Text(c, Rect{plate.l + 3, plate.t + 1, plate.r - 3, plate.b - 1}, "自動操作中（Ｄで解除）", st);
}

// Beside the save slots: the game writes each slot's stage on this picture, level with
// the slot's row, so it is a column of the list rather than a picture of its own.
void StageColumn(Canvas& c, Rect r)
{
    Window(c, r);
    Painter p(c);
    for (int k = 0; k < 5; ++k) {
        const float t = r.t + 22.0f + 28 * k;
        p.RoundBox(r.l + 4.0f, t, r.r - 4.0f, t + 23, 4, Paint(WithAlpha(Rgb(0x8098E0), 38)));
    }
}

// Names that share a place on the screen, each group at one size on one baseline.
void DrawNameGroups(Canvas& c, const std::vector<RectRow>& rows, const std::vector<std::string>& names)
{
    std::map<std::string, Rect> at;
    for (const RectRow& row : rows)
        if (row.texture == "atlas")
            at[row.element] = row.r;
    auto group = [&](const std::vector<std::pair<std::string, std::string>>& items, const TextStyle& st,
                     const std::map<std::string, int>& lift = {},
                     const std::map<std::string, const Paint*>& fill = {}) {
        std::vector<Line> lines;
        for (const auto& [element, text] : items) {
            auto it = at.find(element);
            if (it == at.end())
                continue;
            lines.push_back({it->second, text, lift.count(element) ? lift.at(element) : 0,
                             fill.count(element) ? fill.at(element) : nullptr});
        }
        if (!lines.empty())
            DrawOnOneBaseline(c, lines, st);
    };
    auto team = [](const char* prefix, int t) { return std::string(prefix) + std::to_string(t); };

    // The team panel draws its four name plates at one place in each row.
    TextStyle left = LabelStyle();
    left.align = -1;
    std::vector<std::pair<std::string, std::string>> panel, ranking, label;
    for (int t = 0; t < 4; ++t)
        panel.push_back({team("teampanel_name_team_", t), kTeamNames[t]});
    group(panel, left);

    // The ranking draws the three at one place in each row.
    TextStyle large = left;
    large.fill = Paint::Lin(0, 0, Rgb(0xFFFFFF), 0, 1, Rgb(0xFFE2A0));
    for (int t = 0; t < 3; ++t)
        ranking.push_back({team("ranking_team_name_", t), kTeamNames[t]});
    group(ranking, large);

    // The team label centres each name in its 30-high frame, at (30 - height) / 2 rounded
    // half away from zero below the frame's top: a lower rectangle's baseline is raised by
    // the difference, so that all three stand on one line on the screen.
    TextStyle centred = large;
    centred.align = 0;
    centred.outlineWidth = 1.0f; // the shortest rectangle is 17 high
    std::map<std::string, int> lift;
    int lowest = 1 << 20;
    for (int t = 0; t < 3; ++t) {
        auto it = at.find(team("team_label_name_", t));
        if (it == at.end())
            continue;
        lowest = std::min(lowest, int(std::lround((30 - it->second.h()) / 2.0)));
    }
    for (int t = 0; t < 3; ++t) {
        auto it = at.find(team("team_label_name_", t));
        if (it == at.end())
            continue;
        label.push_back({it->first, kTeamNames[t]});
        lift[it->first] = int(std::lround((30 - it->second.h()) / 2.0)) - lowest;
    }
    group(label, centred, lift);

    // The status screen's detail rows and the battle's name plates: labels, names and
    // conditions in one size, set from the left edge so the values line up.
    TextStyle detail = left;
    detail.padX = 0;
    detail.outlineWidth = 1.0f; // the shortest rectangles are 18 high
    const Paint fallen(Rgb(0xFF7070));
    std::vector<std::pair<std::string, std::string>> items = {
        {"status_label_row0", "名前"}, {"status_label_row1", "年齢"},         {"status_label_row2", "種族"},
        {"status_label_row3", "状態"}, {"status_condition_standing", "元気"}, {"status_condition_fallen", "戦闘不能"}};
    for (int id = 0; id < kCharacterCount; ++id) {
        char e[32];
        std::snprintf(e, sizeof e, "name_plate_%02d", id);
        items.push_back({e, id < 18 ? names[size_t(id)] : kMonsterNames[id - 18]});
    }
    group(items, detail, {}, {{"status_condition_fallen", &fallen}});
}

} // namespace

void DrawAtlas(Canvas& c, const std::vector<RectRow>& rows, const std::vector<std::string>& names)
{
    const std::map<std::string, std::string> labels = {
        {"status_hint_rolling", "Ｚ：サイコロを止める"},
        {"status_hint_default", "Shift：コマンドメニュー"},
        {"status_minimap_on", "S：ミニマップ オン"},
        {"status_minimap_off", "S：ミニマップ オフ"},
        {"status_teampanel_on", "A：チーム表示 オン"},
        {"status_teampanel_off", "A：チーム表示 オフ"},
        {"status_stage_label", "ステージ"},
        // A team that reached the goal and one that was beaten both leave the turn list.
        {"teampanel_empty_row", "レース終了"},
        {"teampanel_count_suffix", "人"},
        {"ranking_place_suffix", "位"},
        {"ranking_player_label", "プレイヤー"},
        {"ranking_computer_label", "COM"},
        {"title_entry_0", "はじめから"},
        {"title_entry_1", "ゲーム終了"},
        {"title_entry_2", "設定"},
        {"title_entry_3", "つづきから"},
        {"title_entry_4", "ＣＧ"},
        {"title_entry_6", "モデル"},
        {"title_entry_7", "ステージ選択"},
        // Also the title menu's entry that opens the race history, which the history's caption repeats.
        {"ranking_heading", "ランキング"},
        {"answer_no", "いいえ"},
        {"answer_yes", "はい"},
        {"stage_label_medium", "ステージ"},
        {"save_slot_no_data", "データがありません"},
        {"history_caption", "ランキング"},
        {"gallery_caption", "モデルギャラリー"},
        {"options_row0_label", "画面モード"},
        {"options_row0_value0", "フルスクリーン"},
        {"options_row0_value1", "ウィンドウ"},
        {"options_row1_label", "垂直同期"},
        {"options_row1_value0", "オフ"},
        {"options_row1_value1", "オン"},
        {"options_row2_label", "Ｚバッファ"},
        {"options_row2_value0", "16ビット"},
        {"options_row2_value1", "24ビット"},
        {"options_row3_label", "ＢＧＭ"},
        {"options_row4_label", "効果音"},
        {"options_row5_label", "戦闘アニメ"},
        {"options_row5_value0", "オフ"},
        {"options_row5_value1", "オン"},
        {"options_row3_4_value0", "オフ"},
        {"options_row3_4_value1", "オン"},
        {"menu_item_0", "ゲームに戻る"},
        {"menu_item_1", "ステータス"},
        {"menu_item_2", "ロード"},
        {"menu_item_3", "セーブ"},
        {"menu_item_4", "自動操作"},
        {"menu_item_5", "設定"},
        {"menu_item_6", "タイトルへ"},
        {"history_stage_unit", "面"},
        {"history_place_1", "1位"},
        {"history_place_2", "2位"},
        {"history_place_3", "3位"},
    };
    const std::map<std::string, std::string> headings = {
        {"team_select_title", "チーム選択"},
        {"options_title", "設定"},
        {"stage_select_heading", "ステージ選択"},
    };

    // One size for every options row: the largest at which all of them fit.
    int optionPx = 40;
    TextStyle optionFit = OptionRowStyle(40);
    optionFit.minPx = 8;
    for (const RectRow& row : rows)
        if (row.texture == "atlas" && row.element.rfind("options_row", 0) == 0 && labels.count(row.element))
            optionPx = std::min(optionPx, LargestFit(row.r, labels.at(row.element), optionFit));

    // The on/off labels of the bar along the bottom of the board share one size and start
    // at their rectangles' left edges: A and S swap a label's picture in place, and only
    // its ON/OFF should change, not the size and place of the words before it.
    auto isBarLabel = [](const std::string& e) {
        return e.rfind("status_minimap_", 0) == 0 || e.rfind("status_teampanel_", 0) == 0;
    };
    TextStyle barStyle = LabelStyle();
    barStyle.align = -1;
    barStyle.padX = 2;
    barStyle.shadow = WithAlpha(barStyle.outline, 220); // small print: a shadow, no outline
    barStyle.outline = 0;
    barStyle.outlineWidth = 0;
    int barPx = 40;
    for (const RectRow& row : rows)
        if (row.texture == "atlas" && isBarLabel(row.element) && labels.count(row.element)) {
            // Fitted to the height (with room for the shadow); a long label narrows its
            // letters a little rather than shrinking the whole row.
            const Rect inner{row.r.l, row.r.t + 1, row.r.l + 1000, row.r.b - 1};
            barPx = std::min(barPx, LargestFit(inner, labels.at(row.element), barStyle));
        }
    barStyle.maxPx = barStyle.minPx = barPx;

    for (const RectRow& row : rows) {
        if (row.texture != "atlas")
            continue;
        const std::string& e = row.element;
        const Rect r = row.r;
        c.SetClip(r);
        auto starts = [&](const char* p) { return e.rfind(p, 0) == 0; };
        auto num = [&]() { return std::atoi(e.c_str() + e.rfind('_') + 1); };

        if (starts("digit_")) {
            // all four sets at once, below
        } else if (e == "quit_dialog_question") {
            // Set low in its rectangle: the panel's top edge lies just above it on screen.
            TextStyle st = LabelStyle();
            st.maxPx = r.h() - 2;
            Text(c, Rect{r.l, r.t + 2, r.r, r.b}, "終了しますか？", st);
        } else if (starts("options_row") && labels.count(e)) {
            Text(c, r, labels.at(e), OptionRowStyle(optionPx));
        } else if (isBarLabel(e) && labels.count(e)) {
            Text(c, r, labels.at(e), barStyle);
        } else if (e == "status_stage_label") {
            // At the size of the bar's other words: the rectangle is as high as their ink, so
            // the word fills it (its shadow falls outside) and narrows its letters to fit.
            InkMask ink = RenderText(labels.at(e), barPx);
            for (float sq = 1.0f; ink.mask.w > r.w() - 1 && sq > barStyle.minSqueeze; sq -= 0.02f)
                ink = RenderText(labels.at(e), barPx, 0, false, sq);
            PaintText(c, ink.mask, r.l, r.b - ink.mask.h, barStyle);
        } else if (e == "teampanel_empty_row") {
            // In the names' column of the team panel.
            TextStyle st = LabelStyle();
            st.align = -1;
            Text(c, r, labels.at(e), st);
        } else if (auto it = labels.find(e); it != labels.end()) {
            Text(c, r, it->second);
        } else if (auto h = headings.find(e); h != headings.end()) {
            if (e == "stage_select_heading")
                Plate(c, r, Rgb(0x3A4C90), Rgb(0x1A2250), kGold, 6);
            Text(c, Rect{r.l + 2, r.t + 2, r.r - 2, r.b - 2}, h->second, HeadingStyle());
        } else if (starts("portrait_card_")) {
            DrawCharacter(c, r, num(), false);
        } else if (starts("face_icon_")) {
            DrawCharacter(c, FaceCard(r, num()), num(), true);
        } else if (starts("name_plate_") || starts("status_label_row") || starts("status_condition_") ||
                   starts("teampanel_name_team_") || starts("ranking_team_name_") || starts("team_label_name_")) {
            // Drawn in groups below, each group at one size on one baseline.
        } else if (e == "save_key_hint" || e == "save_done_message" || e == "load_error_message" ||
                   e == "menu_title_main") {
            // Drawn over other words (the die value, the slot list, the team panel's rows): solid.
            SolidPlate(c, r);
            const std::map<std::string, std::string> words = {{"save_key_hint", "Ｅｓｃ：もどる"},
                                                              {"save_done_message", "セーブしました"},
                                                              {"load_error_message", "ロードできませんでした"},
                                                              {"menu_title_main", "コマンド"}};
            TextStyle st = e == "menu_title_main" ? HeadingStyle() : LabelStyle();
            st.embolden = 0;
            st.outlineWidth = 1.0f;
            st.maxPx = std::min(r.h() - 4, 18);
            Text(c, Rect{r.l + 4, r.t + 2, r.r - 4, r.b - 2}, words.at(e), st);
        } else if (e == "options_help_line") {
            HelpLine(c, r);
        } else if (e == "status_autoplay_banner") {
            AutoplayBadge(c, r);
        } else if (e == "message_window_panel" || e == "panel_316x110" || e == "menu_frame_main" ||
                   e == "menu_frame_two_items" || e == "quit_dialog_panel" || e == "save_menu_panel" ||
                   e == "options_panel" || e == "title_menu_panel" || e == "ranking_panel" || e == "status_frame") {
            Window(c, r);
        } else if (e == "status_bar_strip") {
            Bar(c, r, Rgb(0x2A3A78), Rgb(0x0C1430));
            for (int x = r.l; x < r.r; ++x)
                c.Set(x, r.t, kGold);
        } else if (e == "teampanel_turn_highlight" || e == "title_selection_bar") {
            Painter p(c);
            p.RoundBox(float(r.l), float(r.t), float(r.r), float(r.b), r.h() / 2.0f,
                       Paint::Lin(0, float(r.t), Rgb(0xFFE890), 0, float(r.b), Rgb(0xD08A10)), 0.85f);
        } else if (e == "ranking_player_row_highlight") {
            // One bar: its left 508 texels are also the event choice bar, so it is level along its length.
            Painter p(c);
            p.RoundBox(float(r.l), float(r.t), float(r.r) + 20, float(r.b), 6,
                       Paint::Lin(0, float(r.t), Rgb(0xFFE890), 0, float(r.b), Rgb(0xD08A10)));
        } else if (e == "event_choice_bar" || e == "history_player_marker_w29" || e == "save_prompt" ||
                   e == "load_prompt") {
            // Drawn as part of the rectangle that contains it.
        } else if (e == "slash_small") {
            DigitLike(c, r, "/", 0);
        } else if (e == "slash_tall") {
            DigitLike(c, r, "/", 1);
        } else if (e == "slash_medium") {
            DigitLike(c, r, "/", 2);
        } else if (starts("date_unit_")) {
            const std::map<std::string, std::string> units = {
                {"year", "年"}, {"month", "月"}, {"day", "日"}, {"hour", "時"}, {"minute", "分"}};
            DigitLike(c, r, units.at(e.substr(10)), 2);
        } else if (e == "teampanel_members_icon") {
            MembersIcon(c, r);
        } else if (starts("team_icon_")) {
            Painter p(c);
            TeamLook t = TeamColours(num());
            p.Circle(r.l + 4.0f, r.t + 4.0f, 3.8f, Paint(Rgb(0xFFFFFF)));
            p.Circle(r.l + 4.0f, r.t + 4.0f, 2.8f, Paint(Shade(t.main, 1.2f)));
        } else if (e == "minimap_dot_code1") {
            c.Fill(r, Rgb(0xA8A298));
        } else if (e == "minimap_dot_code2_3") {
            c.Fill(r, Rgb(0xDCC08C));
        } else if (starts("minimap_square_")) {
            const uint32_t sq[5] = {Rgb(0xF0B020), Rgb(0xF070B0), Rgb(0x9050D0), Rgb(0x3070E0), Rgb(0xE03030)};
            c.Fill(r, sq[num() - 10]);
        } else if (starts("minimap_marker_team_")) {
            Minimarker(c, r, TeamColours(num()).main);
        } else if (e == "battle_frame") {
            BattleFrame(c, r);
        } else if (e == "battle_card_frame") {
            CardFrame(c, r);
        } else if (e == "battle_name_plate") {
            Plate(c, r, Rgb(0x40306A), Rgb(0x1A1236), kGold, 5);
        } else if (e == "battle_gauge_party") {
            Gauge(c, r, Rgb(0x30C060));
        } else if (e == "battle_gauge_enemy") {
            Gauge(c, r, Rgb(0xE03838));
            // A full enemy bar starts one texel left of the atlas; sampling wraps to column 2047.
            c.SetClip(Rect{2047, r.t, 2048, r.b});
            Gauge(c, Rect{2047, r.t, 2048, r.b}, Rgb(0xE03838));
        } else if (e == "battle_reel_banner") {
            Mark(c, r, "Ｚでストップ！", Rgb(0xE84830), Rgb(0x901010), Rgb(0xFFE080));
        } else if (e == "battle_mark_win") {
            Mark(c, r, "勝ち", Rgb(0xFFB020), Rgb(0xD05000), Rgb(0xFFF4C0));
        } else if (e == "battle_mark_lose") {
            Mark(c, r, "負け", Rgb(0x5A70B0), Rgb(0x202E60), Rgb(0xB0C0E0));
        } else if (e == "battle_mark_even") {
            Mark(c, r, "引き分け", Rgb(0x70A070), Rgb(0x2A5030), Rgb(0xD0F0C0));
        } else if (e == "title_picture") {
            DrawTitlePicture(c, r);
        } else if (e == "title_logo") {
            DrawLogo(c, r);
        } else if (e == "title_bottom_strip") {
            // On a dark band of its own: the title picture beneath is light and busy.
            Painter p(c);
            p.RoundBox(float(r.l) - 8, float(r.t), float(r.r), float(r.b) + 8, 5, Paint(WithAlpha(Rgb(0x0E1638), 190)));
            TextStyle st = LabelStyle();
            st.align = -1;
            st.padX = 4;
            Text(c, r, "Ver 1.00  ©2026", st);
        } else if (e == "background_tile" || e == "history_background_tile") {
            BackgroundTile(c, Rect{r.l, r.t, r.l + 32, r.t + 32});
        } else if (e == "menu_cursor") {
            Cursor(c, r);
        } else if (e == "save_mode_title" || e == "load_mode_title") {
            Plate(c, r, Rgb(0x3A4C90), Rgb(0x1A2250), kGold, 6);
            Text(c, Rect{r.l + 6, r.t + 2, r.r - 8, r.b - 3}, e == "save_mode_title" ? "セーブ" : "ロード",
                 HeadingStyle());
        } else if (e == "save_menu_side_picture") {
            // The slot list's stage column: the stage of each slot is written on it, row by row.
            StageColumn(c, r);
        } else if (e == "history_row_bar" || e == "history_row_bar_empty") {
            Painter p(c);
            bool empty = e == "history_row_bar_empty";
            p.RoundBox(float(r.l), float(r.t), float(r.r), float(r.b), 5, Paint(empty ? Rgb(0x50586A) : kGoldDark));
            p.RoundBox(r.l + 1.5f, r.t + 1.5f, r.r - 1.5f, r.b - 1.5f, 4,
                       empty ? Paint::Lin(0, float(r.t), Rgb(0x343A4C), 0, float(r.b), Rgb(0x1E2230))
                             : Paint::Lin(0, float(r.t), Rgb(0x34488A), 0, float(r.b), Rgb(0x162050)));
            if (empty)
                Text(c, Rect{r.l + 20, r.t + 4, r.r - 20, r.b - 4}, "ー ー ー ー", GreyStyle());
        } else if (e == "history_title_plate" || e == "team_label_frame") {
            Plate(c, r, Rgb(0x3A4C90), Rgb(0x1A2250), kGold, 6);
        } else if (e == "history_player_marker_w32") {
            Painter p(c);
            p.RoundBox(float(r.l), float(r.t), float(r.r) + 8, float(r.b), 4, Paint(WithAlpha(Rgb(0xFF9020), 200)));
        } else if (e == "arrow_left") {
            Arrow(c, r, 2, Rgb(0xFFC040));
        } else if (e == "arrow_right") {
            Arrow(c, r, 0, Rgb(0xFFC040));
        } else if (e == "arrow_up") {
            Arrow(c, r, 1, Rgb(0xFFC040));
        } else if (e == "arrow_down") {
            Arrow(c, r, 3, Rgb(0xFFC040));
        } else if (starts("status_page_tab_")) {
            TeamTab(c, r, num());
        } else if (e == "status_column_cursor") {
            Painter p(c);
            p.RoundBox(r.l + 2.0f, r.t + 12.0f, r.r - 2.0f, r.b - 2.0f, 3,
                       Paint::Lin(0, r.t + 12.0f, Rgb(0xFFE890), 0, float(r.b), Rgb(0xD08A10)));
            Arrow(c, Rect{r.l + 40, r.t, r.l + 60, r.t + 14}, 1, Rgb(0xFFC040));
        } else if (starts("status_category_icon_")) {
            CategoryIcon(c, r, num());
        } else if (e == "menu_title_quit" || e == "menu_title_autoplay") {
            int lead = e == "menu_title_quit" ? 20 : 22;
            Diamond(c, Rect{r.l, r.t, r.l + lead, r.b});
            // The words are the menu item drawn over the rest of this rectangle.
        } else if (e == "menu_item_3_greyed") {
            Text(c, r, "セーブ", GreyStyle());
        } else if (e == "menu_item_4_greyed") {
            Text(c, r, "自動操作", GreyStyle());
        } else if (e == "teampanel_own_mark" || e == "teampanel_other_mark") {
            // Tiny badges: a coloured tag reads better than outlined letters at this size.
            bool own = e == "teampanel_own_mark";
            Painter p(c);
            p.RoundBox(float(r.l), float(r.t), float(r.r), float(r.b), 3, Paint(own ? Rgb(0xC05A10) : Rgb(0x4A5468)));
            TextStyle st;
            st.fill = Paint(Rgb(0xFFFFFF));
            st.padX = 1, st.padY = 0;
            st.maxPx = r.h() + 2;
            st.minPx = 6;
            st.minSqueeze = 0.6f;
            DrawFitted(c, r, own ? "YOU" : "COM", st);
        } else if (e == "die_three_faces_mark") {
            DieMark(c, r);
        } else {
            std::fprintf(stderr, "art_tool: no picture for %s\n", e.c_str());
        }
    }
    c.ResetClip();
    DrawDigits(c);
    DrawNameGroups(c, rows, names);
}

} // namespace art
