// Procedural character art: a bust for the 200 x 260 card portraits, and the same
// drawing framed on the head for the face icons. Characters of a team wear the
// team's colours and differ by hair, clothes and headgear; monsters are creatures.
#include <algorithm>
#include <cmath>

#include "art.h"

namespace art {

namespace {

enum Hair { Long, Twin, Bob, Buns, Wild, Wavy, Short };
enum Hat { NoHat, Witch, StripedWitch, Bunny, Cat, Mouse, Wolf, Priest, Pumpkin, Bat, Band };

struct Look {
    int team;
    uint32_t hair, eyes, skin;
    Hair hairStyle;
    Hat hat;
    uint32_t hatColour;
    uint32_t clothes, trim; // 0 = team colours
};

const uint32_t kSkin = Rgb(0xFCE0CC), kPale = Rgb(0xF4E8EE), kTan = Rgb(0xEEC8A4);

const Look kLooks[18] = {
    {0, Rgb(0xF6C850), Rgb(0xC02030), kSkin, Twin, Band, Rgb(0xD02030), 0, 0},             // twin tails, ribbon
    {0, Rgb(0xC83020), Rgb(0xE06020), kSkin, Long, Witch, Rgb(0x9A1020), 0, 0},            // red witch
    {0, Rgb(0x3A9A4A), Rgb(0x208040), kSkin, Wavy, Witch, Rgb(0x2A2234), 0, 0},            // green-haired witch
    {0, Rgb(0x3A60C8), Rgb(0x2040A0), kSkin, Bob, Witch, Rgb(0xD0A040), Rgb(0x9A1A2A), 0}, // blue-haired witch
    {0, Rgb(0x8A5A30), Rgb(0x6A4020), kSkin, Short, Priest, Rgb(0xF4F0E8), Rgb(0xF0ECE0), Rgb(0xC8283C)}, // priest
    {0, Rgb(0xE8E8F4), Rgb(0xE01030), kPale, Long, Bat, Rgb(0x202028), Rgb(0x28202A), Rgb(0xC8283C)},     // vampire
    {1, Rgb(0xE87020), Rgb(0x6A3A10), kSkin, Bob, Pumpkin, Rgb(0xF08A20), 0, 0},            // pumpkin girl
    {1, Rgb(0x9A9AA6), Rgb(0x402020), kSkin, Bob, Mouse, Rgb(0xA8A8B4), 0, 0},              // mouse
    {1, Rgb(0x6A6470), Rgb(0xE0B020), kTan, Wild, Wolf, Rgb(0x6A6470), 0, 0},               // wolf
    {1, Rgb(0x202030), Rgb(0x403020), kSkin, Buns, NoHat, 0, Rgb(0x2A56C8), Rgb(0xE8C050)}, // buns, silk dress
    {1, Rgb(0x7A4A28), Rgb(0x3A6A40), kSkin, Wavy, Band, Rgb(0xD8DCE6), 0, 0},              // lady
    {1, Rgb(0xF09A40), Rgb(0x30A040), kSkin, Short, Cat, Rgb(0xF09A40), 0, 0},              // cat
    {2, Rgb(0x202028), Rgb(0x6A2AA0), kSkin, Long, StripedWitch, Rgb(0x2E8A3E), 0, 0},      // striped witch
    {2, Rgb(0xC8CCD8), Rgb(0x4070B0), kSkin, Long, Witch, Rgb(0x1E5A2A), 0, 0},             // silver witch
    {2, Rgb(0xF0C030), Rgb(0xB07010), kSkin, Wavy, Witch, Rgb(0x2A6A30), 0, 0},             // gold witch
    {2, Rgb(0xF8F8FF), Rgb(0x60A0E0), kPale, Bob, Witch, Rgb(0xF0F0F4), 0, 0},              // white witch
    {2, Rgb(0x4A80E0), Rgb(0x2050B0), kSkin, Short, Bunny, Rgb(0x4A80E0), 0, 0},            // blue bunny
    {2, Rgb(0x9A50C8), Rgb(0x703090), kSkin, Long, Bunny, Rgb(0x9A50C8), 0, 0},             // purple bunny
};

bool g_noBackground = false; // figures placed into a scene bring no backdrop

void Background(Painter& p, uint32_t a, uint32_t b, uint32_t seed)
{
    if (g_noBackground)
        return;
    p.Box(-60, -60, 260, 320, Paint::Lin(0, 0, Shade(a, 1.2f), 0, 260, b));
    // soft light rays from the upper left
    for (int k = 0; k < 7; ++k) {
        float ang = 0.25f + k * 0.22f + (Hash(seed + k) % 100) / 1000.0f;
        float x1 = -20 + std::cos(ang) * 420, y1 = -30 + std::sin(ang) * 420;
        p.Poly({{-20, -30}, {x1 - 14, y1}, {x1 + 14, y1}}, Paint(WithAlpha(Rgb(0xFFFFFF), 22)));
    }
    for (int k = 0; k < 14; ++k) { // sparkles
        uint32_t h = Hash(seed * 97 + k);
        float x = float(h % 200), y = float((h >> 8) % 260), r = 1.0f + (h >> 16) % 3;
        p.Circle(x, y, r, Paint(WithAlpha(Rgb(0xFFFFFF), 90)));
    }
}

// The head's outline: a rounded face narrowing to the chin.
std::vector<Pt> FaceShape(float cx, float cy)
{
    return {{cx - 44, cy - 30}, {cx - 40, cy + 10}, {cx - 26, cy + 40}, {cx, cy + 54},
            {cx + 26, cy + 40}, {cx + 40, cy + 10}, {cx + 44, cy - 30}, {cx, cy - 56}};
}

void Eye(Painter& p, float x, float y, uint32_t iris, bool mirror)
{
    float s = mirror ? -1.0f : 1.0f;
    p.Ellipse(x, y, 10.5f, 13, Paint(Rgb(0xFFFFFF)));
    p.Ellipse(x + s * 0.5f, y + 1.5f, 8, 11, Paint::Lin(x, y - 10, Shade(iris, 0.55f), x, y + 12, Shade(iris, 1.45f)));
    p.Ellipse(x + s * 0.5f, y + 2.5f, 4, 5.5f, Paint(Shade(iris, 0.25f)));
    p.Circle(x - s * 3, y - 3, 2.8f, Paint(Rgb(0xFFFFFF)));
    p.Circle(x + s * 3.5f, y + 6, 1.4f, Paint(WithAlpha(Rgb(0xFFFFFF), 200)));
    // upper lash line and a flick at the outer corner
    p.Curve({x - 12, y - 9}, {x, y - 17}, {x + 12, y - 9}, 3.2f, Paint(Rgb(0x2A1A18)));
    p.Capsule(x - s * 11, y - 9, x - s * 14.5f, y - 11, 1.3f, Paint(Rgb(0x2A1A18)));
}

void Brow(Painter& p, float x, float y, uint32_t hair)
{
    p.Curve({x - 8, y + 1}, {x, y - 2}, {x + 8, y + 1}, 1.8f, Paint(WithAlpha(Shade(hair, 0.5f), 200)));
}

void Face(Painter& p, const Look& L, float cx, float cy, bool fangs)
{
    p.Blob(FaceShape(cx, cy), Paint::Lin(cx, cy - 50, Shade(L.skin, 1.04f), cx, cy + 54, Shade(L.skin, 0.93f)));
    Eye(p, cx - 19, cy + 8, L.eyes, false);
    Eye(p, cx + 19, cy + 8, L.eyes, true);
    p.Ellipse(cx - 30, cy + 26, 7, 3.5f, Paint(WithAlpha(Rgb(0xFF7080), 90)));
    p.Ellipse(cx + 30, cy + 26, 7, 3.5f, Paint(WithAlpha(Rgb(0xFF7080), 90)));
    p.Curve({cx - 7, cy + 34}, {cx, cy + 39}, {cx + 7, cy + 34}, 2.0f, Paint(Rgb(0xA04040)));
    if (fangs) {
        p.Poly({{cx - 5, cy + 36}, {cx - 2.5f, cy + 36.5f}, {cx - 3.8f, cy + 41}}, Paint(Rgb(0xFFFFFF)));
        p.Poly({{cx + 2.5f, cy + 36.5f}, {cx + 5, cy + 36}, {cx + 3.8f, cy + 41}}, Paint(Rgb(0xFFFFFF)));
    }
    p.Circle(cx, cy + 24, 1.2f, Paint(WithAlpha(Shade(L.skin, 0.7f), 160)));
}

Paint HairPaint(uint32_t hair, float top, float bottom)
{
    return Paint::Lin(0, top, Shade(hair, 1.15f), 0, bottom, Shade(hair, 0.7f));
}

void BackHair(Painter& p, const Look& L, float cx, float cy)
{
    Paint hp = HairPaint(L.hair, cy - 60, cy + 140);
    switch (L.hairStyle) {
    case Long:
        p.Blob({{cx - 56, cy - 20},
                {cx - 62, cy + 80},
                {cx - 50, cy + 150},
                {cx + 50, cy + 150},
                {cx + 62, cy + 80},
                {cx + 56, cy - 20},
                {cx, cy - 62}},
               hp);
        break;
    case Wavy:
        p.Blob({{cx - 56, cy - 20},
                {cx - 70, cy + 50},
                {cx - 56, cy + 90},
                {cx - 72, cy + 130},
                {cx - 40, cy + 150},
                {cx + 40, cy + 150},
                {cx + 72, cy + 130},
                {cx + 56, cy + 90},
                {cx + 70, cy + 50},
                {cx + 56, cy - 20},
                {cx, cy - 62}},
               hp);
        break;
    case Twin:
        for (float s : {-1.0f, 1.0f}) {
            p.Blob({{cx + s * 40, cy - 40},
                    {cx + s * 80, cy - 20},
                    {cx + s * 92, cy + 60},
                    {cx + s * 80, cy + 150},
                    {cx + s * 66, cy + 90},
                    {cx + s * 56, cy + 20}},
                   hp);
        }
        p.Ellipse(cx, cy - 8, 56, 60, hp);
        break;
    case Wild:
        p.Poly({{cx - 58, cy - 30},
                {cx - 78, cy + 30},
                {cx - 60, cy + 40},
                {cx - 72, cy + 90},
                {cx - 40, cy + 80},
                {cx, cy + 96},
                {cx + 40, cy + 80},
                {cx + 72, cy + 90},
                {cx + 60, cy + 40},
                {cx + 78, cy + 30},
                {cx + 58, cy - 30},
                {cx, cy - 66}},
               hp);
        break;
    case Bob:
        p.Blob({{cx - 56, cy - 20},
                {cx - 60, cy + 40},
                {cx - 46, cy + 62},
                {cx + 46, cy + 62},
                {cx + 60, cy + 40},
                {cx + 56, cy - 20},
                {cx, cy - 62}},
               hp);
        break;
    case Buns:
    case Short: p.Ellipse(cx, cy - 6, 55, 60, hp); break;
    }
}

void FrontHair(Painter& p, const Look& L, float cx, float cy)
{
    Paint hp = HairPaint(L.hair, cy - 62, cy + 10);
    std::vector<Pt> f;
    for (int k = 0; k <= 12; ++k) { // the crown
        float a = 3.14159f + k * 3.14159f / 12;
        f.push_back({cx + std::cos(a) * 54, cy - 8 + std::sin(a) * 56});
    }
    // a fringe of pointed locks from right to left
    const float fringe[][2] = {{50, 30}, {36, -2},  {30, 14},  {16, -10}, {8, 10},  {-4, -12},
                               {-14, 8}, {-24, -8}, {-34, 12}, {-42, -6}, {-50, 30}};
    for (auto& q : fringe)
        f.push_back({cx + q[0], cy + q[1] - 8});
    p.Poly(f, hp);
    // side locks
    float len = L.hairStyle == Short || L.hairStyle == Bob ? 40.0f : 62.0f;
    for (float s : {-1.0f, 1.0f}) {
        p.Poly({{cx + s * 54, cy - 20},
                {cx + s * 40, cy - 10},
                {cx + s * 38, cy + len},
                {cx + s * 50, cy + len - 14},
                {cx + s * 56, cy + 10}},
               hp);
    }
    // shine
    p.Curve({cx - 30, cy - 38}, {cx, cy - 50}, {cx + 30, cy - 38}, 3.5f, Paint(WithAlpha(Rgb(0xFFFFFF), 90)));
    if (L.hairStyle == Buns)
        for (float s : {-1.0f, 1.0f}) {
            p.Circle(cx + s * 44, cy - 52, 18, HairPaint(L.hair, cy - 70, cy - 34));
            p.Capsule(cx + s * 30, cy - 40, cx + s * 56, cy - 62, 2.5f, Paint(Rgb(0xE8C050)));
        }
}

void Body(Painter& p, const Look& L, float cx, float top)
{
    TeamLook t = TeamColours(L.team);
    uint32_t cloth = L.clothes ? L.clothes : t.main;
    uint32_t trim = L.trim ? L.trim : t.trim;
    // neck
    p.Box(cx - 12, top - 30, cx + 12, top + 6, Paint(Shade(L.skin, 0.9f)));
    std::vector<Pt> body = {{cx - 76, 262}, {cx - 70, top + 34}, {cx - 48, top + 6},  {cx - 16, top},
                            {cx + 16, top}, {cx + 48, top + 6},  {cx + 70, top + 34}, {cx + 76, 262}};
    p.Poly(body, Paint::Lin(0, top, Shade(cloth, 1.25f), 0, 262, Shade(cloth, 0.7f)));
    const bool witch = L.hat == Witch || L.hat == StripedWitch;
    if (L.hairStyle == Buns) {
        // A silk dress: high collar, a curved opening with knot buttons.
        p.RoundBox(cx - 18, top - 12, cx + 18, top + 4, 4, Paint(trim));
        p.Curve({cx - 2, top + 2}, {cx + 30, top + 10}, {cx + 44, top + 44}, 4, Paint(trim));
        for (int k = 0; k < 3; ++k)
            p.Capsule(cx + 16 + k * 8, top + 10 + k * 10, cx + 26 + k * 8, top + 8 + k * 10, 1.6f,
                      Paint(Shade(trim, 0.7f)));
        for (float s : {-1.0f, 1.0f})
            p.Curve({cx + s * 50, top + 50}, {cx + s * 40, top + 20}, {cx + s * 60, top + 10}, 2,
                    Paint(WithAlpha(trim, 160)));
        return;
    }
    if (L.hairStyle == Twin) {
        // A sailor collar with a ribbon.
        for (float s : {-1.0f, 1.0f})
            p.Poly({{cx + s * 14, top - 4}, {cx + s * 58, top + 10}, {cx + s * 62, top + 36}, {cx, top + 46}},
                   Paint(Rgb(0xF8F8F8)));
        for (float s : {-1.0f, 1.0f})
            p.Curve({cx + s * 52, top + 16}, {cx + s * 54, top + 30}, {cx + s * 8, top + 40}, 2.5f, Paint(cloth));
        p.Poly({{cx - 12, top - 2}, {cx, top + 30}, {cx + 12, top - 2}}, Paint(Shade(L.skin, 0.92f)));
        p.Poly({{cx, top + 40}, {cx - 22, top + 30}, {cx - 24, top + 52}}, Paint(trim));
        p.Poly({{cx, top + 40}, {cx + 22, top + 30}, {cx + 24, top + 52}}, Paint(trim));
        p.Circle(cx, top + 40, 5, Paint(Shade(trim, 0.8f)));
        return;
    }
    // collar: a V of trim
    p.Poly({{cx - 20, top - 2},
            {cx, top + 34},
            {cx + 20, top - 2},
            {cx + 28, top + 4},
            {cx, top + 48},
            {cx - 28, top + 4}},
           Paint(trim));
    p.Poly({{cx - 16, top - 2}, {cx, top + 28}, {cx + 16, top - 2}}, Paint(Shade(L.skin, 0.92f)));
    if (witch) {
        // A short cape over the shoulders, clasped at the throat.
        uint32_t cape = Shade(L.hatColour, 0.8f);
        for (float s : {-1.0f, 1.0f})
            p.Poly({{cx + s * 18, top - 2},
                    {cx + s * 52, top + 4},
                    {cx + s * 76, top + 40},
                    {cx + s * 80, top + 70},
                    {cx + s * 60, top + 60},
                    {cx + s * 30, top + 20}},
                   Paint::Lin(0, top, Shade(cape, 1.2f), 0, top + 70, Shade(cape, 0.7f)));
        p.Circle(cx, top + 2, 6, Paint::Rad(cx - 2, top, 6, Rgb(0xFFF4C0), trim));
        return;
    }
    // a brooch in the trim colour
    p.Circle(cx, top + 50, 7, Paint(Shade(trim, 0.6f)));
    p.Circle(cx, top + 50, 5, Paint::Rad(cx - 2, top + 48, 6, Shade(trim, 1.6f), trim));
    // shoulder trim
    p.Curve({cx - 70, top + 36}, {cx - 56, top + 8}, {cx - 22, top + 2}, 4, Paint(WithAlpha(trim, 200)));
    p.Curve({cx + 70, top + 36}, {cx + 56, top + 8}, {cx + 22, top + 2}, 4, Paint(WithAlpha(trim, 200)));
    if (L.hat == Priest)
        for (float s : {-1.0f, 1.0f})
            p.Box(cx + s * 30 - 5, top + 10, cx + s * 30 + 5, 262, Paint(Rgb(0xE8C050)));
    if (L.hat == Cat) { // a bell on a ribbon
        p.Capsule(cx - 16, top + 2, cx + 16, top + 2, 3, Paint(Rgb(0xD02030)));
        p.Circle(cx, top + 10, 6, Paint::Rad(cx - 2, top + 8, 7, Rgb(0xFFF4A0), Rgb(0xC09010)));
    }
    if (L.hat == Wolf) // a fur ruff
        for (int k = 0; k < 7; ++k)
            p.Circle(cx - 48 + k * 16, top + 8 + (k % 2) * 4, 11, Paint(Rgb(0xD8D4DC)));
    if (L.hat == Mouse) { // a big bow
        p.Poly({{cx, top + 6}, {cx - 22, top - 4}, {cx - 22, top + 18}}, Paint(Rgb(0xF070A0)));
        p.Poly({{cx, top + 6}, {cx + 22, top - 4}, {cx + 22, top + 18}}, Paint(Rgb(0xF070A0)));
        p.Circle(cx, top + 6, 5, Paint(Rgb(0xD04080)));
    }
    if (L.hat == Bunny) { // a bow tie
        p.Poly({{cx, top + 4}, {cx - 16, top - 4}, {cx - 16, top + 12}}, Paint(Rgb(0x202028)));
        p.Poly({{cx, top + 4}, {cx + 16, top - 4}, {cx + 16, top + 12}}, Paint(Rgb(0x202028)));
    }
    if (L.hat == Pumpkin) // a collar of leaves
        for (int k = 0; k < 5; ++k)
            p.Ellipse(cx - 32 + k * 16, top + 4, 9, 5, Paint(Rgb(0x4A9A30)));
    if (L.hat == Band && L.hairStyle == Wavy) // a pearl necklace
        for (int k = 0; k < 9; ++k) {
            float a = 0.35f + k * 0.3f;
            p.Circle(
                cx + std::cos(a) * 26, top + 2 + std::sin(a) * 20, 2.6f,
                Paint::Rad(cx + std::cos(a) * 26 - 1, top + 1 + std::sin(a) * 20, 3, Rgb(0xFFFFFF), Rgb(0xC8C0D0)));
        }
}

void HatOf(Painter& p, const Look& L, float cx, float cy)
{
    TeamLook t = TeamColours(L.team);
    uint32_t hc = L.hatColour;
    switch (L.hat) {
    case NoHat: break;
    case Witch:
    case StripedWitch: {
        Paint cone = Paint::Lin(cx - 40, 0, Shade(hc, 1.3f), cx + 40, 0, Shade(hc, 0.7f));
        std::vector<Pt> c = {
            {cx - 46, cy - 46}, {cx - 12, cy - 98}, {cx + 34, cy - 126}, {cx + 16, cy - 94}, {cx + 46, cy - 46}};
        p.Blob(c, cone);
        if (L.hat == StripedWitch)
            for (int k = 0; k < 3; ++k) {
                float y = cy - 70 - k * 22;
                p.Shape(
                    cx - 60, y - 6, cx + 60, y + 6,
                    [&](float x, float yy) {
                        return std::max(SdPoly(c, x, yy), std::fabs(yy - (y + (x - cx) * 0.15f)) - 5.0f);
                    },
                    Paint(Rgb(0xF4F4EC)));
            }
        p.Ellipse(cx, cy - 44, 84, 16, Paint::Lin(0, cy - 60, Shade(hc, 1.2f), 0, cy - 28, Shade(hc, 0.6f)));
        p.Shape(
            cx - 50, cy - 62, cx + 50, cy - 44,
            [&](float x, float y) { return std::max(SdPoly(c, x, y), std::fabs(y - (cy - 53)) - 6.0f); },
            Paint(t.trim));
        p.Circle(cx + 20, cy - 54, 6, Paint::Rad(cx + 18, cy - 56, 6, Rgb(0xFFFFFF), Shade(t.trim, 0.9f)));
        break;
    }
    case Bunny:
    case Cat:
    case Wolf:
    case Mouse:
        for (float s : {-1.0f, 1.0f}) {
            if (L.hat == Bunny) {
                p.Ellipse(cx + s * 24, cy - 90, 13, 38, Paint(Rgb(0xFFFFFF)));
                p.Ellipse(cx + s * 24, cy - 90, 10, 35, Paint(Shade(hc, 1.1f)));
                p.Ellipse(cx + s * 24, cy - 86, 5, 26, Paint(Rgb(0xFFC0D8)));
            } else if (L.hat == Mouse) {
                p.Circle(cx + s * 46, cy - 56, 24, Paint(Shade(hc, 0.9f)));
                p.Circle(cx + s * 46, cy - 56, 15, Paint(Rgb(0xF4B8C8)));
            } else {
                float h = L.hat == Wolf ? 50.0f : 40.0f;
                std::vector<Pt> ear = {{cx + s * 18, cy - 52}, {cx + s * 44, cy - 52 - h}, {cx + s * 54, cy - 30}};
                p.Poly(ear, Paint(Shade(hc, 0.9f)));
                std::vector<Pt> in = {
                    {cx + s * 26, cy - 50}, {cx + s * 43, cy - 44 - h * 0.75f}, {cx + s * 48, cy - 34}};
                p.Poly(in, Paint(L.hat == Wolf ? Rgb(0xD8C8C0) : Rgb(0xF8C8C0)));
            }
        }
        break;
    case Priest: {
        p.Blob({{cx - 58, cy - 10}, {cx - 66, cy + 80}, {cx + 66, cy + 80}, {cx + 58, cy - 10}, {cx, cy - 66}},
               Paint::Lin(0, cy - 60, Rgb(0xFFFFFF), 0, cy + 80, Rgb(0xD8D4CC)));
        p.Poly({{cx - 34, cy - 44}, {cx - 28, cy - 96}, {cx, cy - 118}, {cx + 28, cy - 96}, {cx + 34, cy - 44}},
               Paint::Lin(0, cy - 118, Rgb(0xFFFFFF), 0, cy - 44, Rgb(0xE0DCD0)));
        p.Box(cx - 4, cy - 104, cx + 4, cy - 56, Paint(t.trim));
        p.Box(cx - 16, cy - 88, cx + 16, cy - 80, Paint(t.trim));
        p.Curve({cx - 36, cy - 46}, {cx, cy - 56}, {cx + 36, cy - 46}, 5, Paint(t.main));
        break;
    }
    case Pumpkin: {
        Paint pk = Paint::Rad(cx - 10, cy - 70, 60, Rgb(0xFFB040), Rgb(0xC05A10));
        p.Ellipse(cx - 22, cy - 60, 30, 24, pk);
        p.Ellipse(cx + 22, cy - 60, 30, 24, pk);
        p.Ellipse(cx, cy - 62, 32, 27, pk);
        p.Curve({cx - 8, cy - 84}, {cx, cy - 60}, {cx - 6, cy - 38}, 2, Paint(WithAlpha(Rgb(0x8A3A08), 160)));
        p.Curve({cx + 8, cy - 84}, {cx, cy - 60}, {cx + 6, cy - 38}, 2, Paint(WithAlpha(Rgb(0x8A3A08), 160)));
        p.Capsule(cx, cy - 86, cx + 6, cy - 100, 4, Paint(Rgb(0x3A6A20)));
        p.Ellipse(cx + 16, cy - 94, 10, 5, Paint(Rgb(0x5AA030)));
        break;
    }
    case Bat:
        for (float s : {-1.0f, 1.0f})
            p.Poly({{cx + s * 4, cy - 58},
                    {cx + s * 22, cy - 72},
                    {cx + s * 36, cy - 66},
                    {cx + s * 30, cy - 58},
                    {cx + s * 24, cy - 60},
                    {cx + s * 16, cy - 52}},
                   Paint(Rgb(0x201820)));
        p.Circle(cx, cy - 58, 6, Paint(Rgb(0xC01020)));
        break;
    case Band:
        if (L.hairStyle == Twin)
            for (float s : {-1.0f, 1.0f}) {
                p.Poly({{cx + s * 44, cy - 38}, {cx + s * 70, cy - 58}, {cx + s * 72, cy - 26}}, Paint(hc));
                p.Circle(cx + s * 46, cy - 38, 6, Paint(Shade(hc, 0.8f)));
            }
        else
            p.Curve({cx - 52, cy - 10}, {cx, cy - 80}, {cx + 52, cy - 10}, 7, Paint(hc));
        break;
    }
}

// A vampire's high collar behind the head.
void Collar(Painter& p, float cx, float top)
{
    p.Poly({{cx - 70, top + 20},
            {cx - 60, top - 60},
            {cx - 30, top - 10},
            {cx + 30, top - 10},
            {cx + 60, top - 60},
            {cx + 70, top + 20}},
           Paint::Lin(0, top - 60, Rgb(0xC01828), 0, top + 20, Rgb(0x400810)));
}

void DrawPerson(Painter& p, int id)
{
    const Look& L = kLooks[id];
    TeamLook t = TeamColours(L.team);
    Background(p, t.light, t.dark, 100 + id);
    float cx = 100, cy = 132, top = 204;
    if (L.hat == Priest)
        HatOf(p, L, cx, cy); // the veil hangs behind
    BackHair(p, L, cx, cy);
    if (L.hat == Bat)
        Collar(p, cx, top);
    Body(p, L, cx, top);
    if (L.hat == Cat || L.hat == Wolf || L.hat == Mouse || L.hat == Bunny)
        HatOf(p, L, cx, cy);
    Face(p, L, cx, cy, L.hat == Bat);
    FrontHair(p, L, cx, cy);
    // Brows show through the fringe, as they do in drawn portraits.
    Brow(p, cx - 20, cy - 15, L.hair);
    Brow(p, cx + 20, cy - 15, L.hair);
    if (L.hat != Priest && L.hat != Cat && L.hat != Wolf && L.hat != Mouse && L.hat != Bunny)
        HatOf(p, L, cx, cy);
    if (L.hat == Priest) { // hood edge over the hair
        p.Ring(cx, cy - 4, 56, 62, 5, Paint(Rgb(0xF8F6F0)));
    }
    if (L.hat == Cat) { // whisker marks
        for (float s : {-1.0f, 1.0f})
            for (int k = 0; k < 2; ++k)
                p.Capsule(cx + s * 30, cy + 20 + k * 6, cx + s * 44, cy + 18 + k * 8, 0.8f, Paint(Rgb(0x805040)));
    }
}

// ---- monsters ----

void Demon(Painter& p)
{
    Background(p, Rgb(0x8A2A40), Rgb(0x200818), 218);
    float cx = 100, cy = 118;
    for (float s : {-1.0f, 1.0f}) { // wings
        p.Poly({{cx + s * 30, 190},
                {cx + s * 100, 60},
                {cx + s * 104, 120},
                {cx + s * 90, 110},
                {cx + s * 96, 160},
                {cx + s * 78, 150},
                {cx + s * 80, 200}},
               Paint::Lin(cx, 60, Rgb(0x4A1030), cx, 200, Rgb(0x200410)));
    }
    p.Poly({{24, 262}, {40, 200}, {80, 178}, {120, 178}, {160, 200}, {176, 262}},
           Paint::Lin(0, 178, Rgb(0xB02828), 0, 262, Rgb(0x500808)));
    p.Blob(FaceShape(cx, cy), Paint::Lin(0, cy - 56, Rgb(0xE04848), 0, cy + 54, Rgb(0x901818)));
    for (float s : {-1.0f, 1.0f}) {
        p.Blob({{cx + s * 26, cy - 44},
                {cx + s * 56, cy - 80},
                {cx + s * 50, cy - 110},
                {cx + s * 66, cy - 84},
                {cx + s * 44, cy - 40}},
               Paint::Lin(0, cy - 110, Rgb(0xFFF0D0), 0, cy - 40, Rgb(0x8A7A60)));
        p.Poly({{cx + s * 8, cy + 2}, {cx + s * 34, cy - 6}, {cx + s * 30, cy + 10}}, Paint(Rgb(0xFFE020)));
        p.Capsule(cx + s * 22, cy + 2, cx + s * 22, cy + 8, 1.6f, Paint(Rgb(0x200000)));
        p.Capsule(cx + s * 6, cy - 14, cx + s * 34, cy - 22, 2.5f, Paint(Rgb(0x400808)));
    }
    p.Poly({{cx - 22, cy + 28}, {cx + 22, cy + 28}, {cx + 12, cy + 42}, {cx - 12, cy + 42}}, Paint(Rgb(0x300000)));
    for (float s : {-1.0f, 1.0f})
        p.Poly({{cx + s * 8, cy + 28}, {cx + s * 16, cy + 28}, {cx + s * 12, cy + 37}}, Paint(Rgb(0xFFFFFF)));
}

void EvilEye(Painter& p)
{
    Background(p, Rgb(0x6A3A8A), Rgb(0x140A24), 219);
    float cx = 100, cy = 120;
    for (int k = 0; k < 7; ++k) { // tentacles
        float a = 0.4f + k * 0.39f;
        float ex = cx + std::cos(a) * 110, ey = cy + std::sin(a) * 130;
        p.Curve({cx, cy + 20}, {cx + std::cos(a + 0.6f) * 70, cy + std::sin(a + 0.6f) * 70}, {ex, ey}, 9,
                Paint(Rgb(0x5A2A5A)));
        p.Circle(ex, ey, 6, Paint(Rgb(0x7A3A7A)));
    }
    p.Circle(cx, cy, 70, Paint::Rad(cx - 20, cy - 24, 90, Rgb(0xFFFFFF), Rgb(0xC8B0C0)));
    for (int k = 0; k < 9; ++k) { // veins
        float a = k * 0.7f;
        p.Curve({cx + std::cos(a) * 68, cy + std::sin(a) * 68},
                {cx + std::cos(a + 0.2f) * 52, cy + std::sin(a + 0.2f) * 52},
                {cx + std::cos(a - 0.1f) * 38, cy + std::sin(a - 0.1f) * 38}, 1.5f,
                Paint(WithAlpha(Rgb(0xD02030), 170)));
    }
    p.Circle(cx, cy, 34, Paint::Rad(cx, cy, 34, Rgb(0xFFD020), Rgb(0xC05010)));
    p.Ellipse(cx, cy, 9, 28, Paint(Rgb(0x100008)));
    p.Circle(cx - 14, cy - 14, 7, Paint(WithAlpha(Rgb(0xFFFFFF), 220)));
    p.Ring(cx, cy, 70, 70, 3, Paint(Rgb(0x401838)));
}

void PumpkinMonster(Painter& p)
{
    Background(p, Rgb(0x4A3A6A), Rgb(0x100818), 220);
    float cx = 100, cy = 150;
    Paint pk = Paint::Rad(cx - 20, cy - 30, 110, Rgb(0xFFB040), Rgb(0xB04A08));
    p.Ellipse(cx - 42, cy, 44, 62, pk);
    p.Ellipse(cx + 42, cy, 44, 62, pk);
    p.Ellipse(cx, cy, 52, 68, pk);
    for (float s : {-1.0f, 1.0f})
        p.Curve({cx + s * 18, cy - 64}, {cx + s * 30, cy}, {cx + s * 18, cy + 64}, 2.5f,
                Paint(WithAlpha(Rgb(0x803008), 150)));
    p.Capsule(cx, cy - 66, cx + 10, cy - 92, 7, Paint(Rgb(0x3A5A18)));
    // carved face glowing from inside
    Paint glow = Paint::Rad(cx, cy, 70, Rgb(0xFFF080), Rgb(0xFF9000));
    p.Poly({{cx - 48, cy - 8}, {cx - 30, cy - 34}, {cx - 14, cy - 8}}, glow);
    p.Poly({{cx + 14, cy - 8}, {cx + 30, cy - 34}, {cx + 48, cy - 8}}, glow);
    p.Poly({{cx - 6, cy + 6}, {cx, cy - 6}, {cx + 6, cy + 6}}, glow);
    p.Poly({{cx - 56, cy + 20},
            {cx - 40, cy + 26},
            {cx - 32, cy + 18},
            {cx - 18, cy + 30},
            {cx - 6, cy + 20},
            {cx + 6, cy + 30},
            {cx + 18, cy + 20},
            {cx + 32, cy + 30},
            {cx + 40, cy + 20},
            {cx + 56, cy + 20},
            {cx + 30, cy + 50},
            {cx - 30, cy + 50}},
           glow);
    // a battered witch hat
    p.Ellipse(cx, cy - 74, 70, 12, Paint(Rgb(0x2A1A30)));
    p.Blob({{cx - 40, cy - 76}, {cx - 16, cy - 130}, {cx - 40, cy - 150}, {cx + 10, cy - 128}, {cx + 40, cy - 76}},
           Paint(Rgb(0x3A2440)));
}

void Unicorn(Painter& p)
{
    Background(p, Rgb(0x80C8E0), Rgb(0x2A5A8A), 221);
    float cx = 100, cy = 140;
    p.Ellipse(cx, 240, 80, 60, Paint::Lin(0, 180, Rgb(0xFFFFFF), 0, 262, Rgb(0xC8D0E0)));
    for (float s : {-1.0f, 1.0f}) {
        p.Ellipse(cx + s * 30, cy - 80, 14, 48, Paint(Rgb(0xF4F4FA)));
        p.Ellipse(cx + s * 30, cy - 78, 7, 36, Paint(Rgb(0xFFC0D0)));
    }
    p.Ellipse(cx, cy, 62, 54, Paint::Rad(cx - 16, cy - 20, 80, Rgb(0xFFFFFF), Rgb(0xC8D0E0)));
    p.Poly({{cx - 9, cy - 44}, {cx, cy - 118}, {cx + 9, cy - 44}},
           Paint::Lin(cx - 9, 0, Rgb(0xFFF0A0), cx + 9, 0, Rgb(0xD0A020)));
    for (int k = 0; k < 4; ++k)
        p.Capsule(cx - 7 + k * 1.5f, cy - 54 - k * 16, cx + 7 - k * 1.5f, cy - 60 - k * 16, 1, Paint(Rgb(0xB08010)));
    for (float s : {-1.0f, 1.0f}) {
        p.Ellipse(cx + s * 24, cy - 2, 9, 12, Paint(Rgb(0xC01848)));
        p.Circle(cx + s * 24 - 3, cy - 6, 3, Paint(Rgb(0xFFFFFF)));
    }
    p.Ellipse(cx, cy + 20, 6, 4, Paint(Rgb(0xF08090)));
    p.Curve({cx - 10, cy + 30}, {cx, cy + 36}, {cx, cy + 26}, 1.8f, Paint(Rgb(0x806070)));
    p.Curve({cx + 10, cy + 30}, {cx, cy + 36}, {cx, cy + 26}, 1.8f, Paint(Rgb(0x806070)));
}

void Dragon(Painter& p)
{
    Background(p, Rgb(0xE0A040), Rgb(0x5A1A08), 222);
    float cx = 100, cy = 120;
    p.Curve({60, 270}, {40, 180}, {100, 160}, 60, Paint::Lin(0, 150, Rgb(0x3A9A4A), 0, 270, Rgb(0x1A4A20)));
    for (int k = 0; k < 5; ++k)
        p.Ellipse(62 + k * 2.0f, 250 - k * 20.0f, 18, 6, Paint(Rgb(0xE8D890)));
    for (float s : {-1.0f, 1.0f})
        p.Poly({{cx + s * 20, cy - 40}, {cx + s * 50, cy - 104}, {cx + s * 40, cy - 40}}, Paint(Rgb(0xE8E0C0)));
    p.Blob({{cx - 50, cy - 30},
            {cx - 56, cy + 20},
            {cx - 30, cy + 60},
            {cx + 30, cy + 60},
            {cx + 56, cy + 20},
            {cx + 50, cy - 30},
            {cx, cy - 56}},
           Paint::Lin(0, cy - 56, Rgb(0x5AC05A), 0, cy + 60, Rgb(0x206A2A)));
    p.Ellipse(cx, cy + 40, 36, 22, Paint(Rgb(0x4AA04A)));
    for (float s : {-1.0f, 1.0f}) {
        p.Circle(cx + s * 12, cy + 40, 3, Paint(Rgb(0x103010)));
        p.Ellipse(cx + s * 24, cy - 4, 12, 9, Paint(Rgb(0xFFE040)));
        p.Ellipse(cx + s * 24, cy - 4, 2.5f, 8, Paint(Rgb(0x200800)));
        p.Capsule(cx + s * 10, cy - 18, cx + s * 38, cy - 14, 3, Paint(Rgb(0x1A5020)));
    }
    p.Curve({cx - 30, cy + 54}, {cx, cy + 62}, {cx + 30, cy + 54}, 2, Paint(Rgb(0x103010)));
    for (int k = 0; k < 5; ++k)
        p.Poly({{cx - 24 + k * 12, cy + 55}, {cx - 20 + k * 12, cy + 64}, {cx - 16 + k * 12, cy + 55.5f}},
               Paint(Rgb(0xFFFFFF)));
    for (int k = 0; k < 4; ++k)
        p.Poly({{cx - 8 + k * 2, cy - 56 - k * 14}, {cx + k * 2, cy - 74 - k * 14}, {cx + 8 + k * 2, cy - 54 - k * 14}},
               Paint(Rgb(0xC04020)));
}

void Spider(Painter& p)
{
    Background(p, Rgb(0x607080), Rgb(0x101820), 223);
    Paint web = Paint(WithAlpha(Rgb(0xFFFFFF), 60));
    for (int k = 0; k < 8; ++k)
        p.Capsule(100, 40, 100 + std::cos(k * 0.785f) * 200, 40 + std::sin(k * 0.785f) * 200, 0.7f, web);
    for (int r = 1; r < 5; ++r)
        p.Ring(100, 40, r * 40.0f, r * 40.0f, 1, web);
    float cx = 100, cy = 150;
    for (float s : {-1.0f, 1.0f})
        for (int k = 0; k < 4; ++k) {
            float y = cy - 20 + k * 18;
            Pt knee{cx + s * (70 + k * 6), y - 40 + k * 10}, foot{cx + s * (96 - k * 4), y + 70 + k * 10};
            p.Capsule(cx + s * 20, y, knee.x, knee.y, 5, Paint(Rgb(0x201818)));
            p.Capsule(knee.x, knee.y, foot.x, foot.y, 4, Paint(Rgb(0x201818)));
        }
    p.Ellipse(cx, cy + 60, 56, 60, Paint::Rad(cx - 10, cy + 40, 70, Rgb(0x504048), Rgb(0x181014)));
    p.Poly({{cx, cy + 30}, {cx + 14, cy + 60}, {cx, cy + 90}, {cx - 14, cy + 60}}, Paint(Rgb(0xD02020)));
    p.Ellipse(cx, cy, 40, 32, Paint::Rad(cx - 8, cy - 10, 44, Rgb(0x5A4A50), Rgb(0x201820)));
    const float eyes[][3] = {{-12, -6, 7}, {12, -6, 7}, {-26, -12, 4}, {26, -12, 4}, {-6, -20, 3.5f}, {6, -20, 3.5f}};
    for (auto& e : eyes) {
        p.Circle(cx + e[0], cy + e[1], e[2], Paint(Rgb(0xE01818)));
        p.Circle(cx + e[0] - e[2] * 0.3f, cy + e[1] - e[2] * 0.3f, e[2] * 0.35f, Paint(Rgb(0xFFC0C0)));
    }
    for (float s : {-1.0f, 1.0f})
        p.Curve({cx + s * 6, cy + 18}, {cx + s * 12, cy + 30}, {cx + s * 4, cy + 38}, 4, Paint(Rgb(0x403030)));
}

void Orc(Painter& p)
{
    Background(p, Rgb(0x8A7A5A), Rgb(0x2A2010), 224);
    float cx = 100, cy = 124;
    p.Poly({{10, 262}, {24, 196}, {70, 176}, {130, 176}, {176, 196}, {190, 262}},
           Paint::Lin(0, 176, Rgb(0x7A6048), 0, 262, Rgb(0x3A2818)));
    p.Capsule(30, 200, 170, 200, 6, Paint(Rgb(0x9A9AA0)));
    for (float s : {-1.0f, 1.0f})
        p.Poly({{cx + s * 44, cy - 10}, {cx + s * 78, cy - 30}, {cx + s * 52, cy + 14}}, Paint(Rgb(0x5A8A3A)));
    p.Blob({{cx - 50, cy - 30},
            {cx - 54, cy + 20},
            {cx - 36, cy + 56},
            {cx + 36, cy + 56},
            {cx + 54, cy + 20},
            {cx + 50, cy - 30},
            {cx, cy - 50}},
           Paint::Lin(0, cy - 50, Rgb(0x7AB04A), 0, cy + 56, Rgb(0x3A6A20)));
    // helmet
    p.Blob({{cx - 56, cy - 14}, {cx - 48, cy - 56}, {cx, cy - 74}, {cx + 48, cy - 56}, {cx + 56, cy - 14}},
           Paint::Lin(0, cy - 74, Rgb(0xC0C0C8), 0, cy - 14, Rgb(0x5A5A64)));
    for (float s : {-1.0f, 1.0f})
        p.Poly({{cx + s * 36, cy - 50}, {cx + s * 70, cy - 96}, {cx + s * 52, cy - 40}}, Paint(Rgb(0xE8E0C8)));
    p.Box(cx - 58, cy - 22, cx + 58, cy - 12, Paint(Rgb(0x6A6A74)));
    for (float s : {-1.0f, 1.0f}) {
        p.Ellipse(cx + s * 20, cy + 4, 9, 6, Paint(Rgb(0xFFF060)));
        p.Circle(cx + s * 20, cy + 4, 3, Paint(Rgb(0x200000)));
        p.Capsule(cx + s * 8, cy - 6, cx + s * 32, cy - 2, 3, Paint(Rgb(0x2A4010)));
        p.Poly({{cx + s * 14, cy + 40}, {cx + s * 22, cy + 18}, {cx + s * 26, cy + 40}}, Paint(Rgb(0xFFF8E0)));
    }
    p.Ellipse(cx, cy + 20, 12, 8, Paint(Rgb(0x4A7A2A)));
    p.Curve({cx - 26, cy + 42}, {cx, cy + 36}, {cx + 26, cy + 42}, 3, Paint(Rgb(0x1A2A08)));
}

void DrawFigure(Painter& p, int id)
{
    switch (id) {
    case 18: Demon(p); break;
    case 19: EvilEye(p); break;
    case 20: PumpkinMonster(p); break;
    case 21: Unicorn(p); break;
    case 22: Dragon(p); break;
    case 23: Spider(p); break;
    case 24: Orc(p); break;
    default: DrawPerson(p, id); break;
    }
}

} // namespace

void DrawFigureAt(Canvas& c, float x, float y, float scale, int id)
{
    g_noBackground = true;
    Painter p(c, x, y, scale);
    DrawFigure(p, id);
    g_noBackground = false;
}

void DrawCharacter(Canvas& c, Rect dst, int id, bool face)
{
    Rect old = c.clip();
    c.SetClip(dst);
    if (face) {
        // Frame the head: local x 22..178, y 40..200 scaled to fill the icon.
        float s = std::max(dst.w() / 156.0f, dst.h() / 166.0f);
        float ox = dst.l + dst.w() / 2.0f - 100 * s, oy = dst.t + dst.h() / 2.0f - (id < 18 ? 134 : 122) * s;
        Painter p(c, ox, oy, s);
        DrawFigure(p, id);
    } else {
        Painter p(c, float(dst.l), float(dst.t), dst.w() / 200.0f);
        DrawFigure(p, id);
    }
    // A thin frame in the team's trim colour.
    uint32_t rim = id < 18 ? TeamColours(id / 6).trim : Rgb(0x8A8A9A);
    for (int x = dst.l; x < dst.r; ++x)
        c.Set(x, dst.t, rim), c.Set(x, dst.b - 1, rim);
    for (int y = dst.t; y < dst.b; ++y)
        c.Set(dst.l, y, rim), c.Set(dst.r - 1, y, rim);
    c.SetClip(old);
}

} // namespace art
