#include "textures.h"

#include <cmath>
#include <cstdlib>

namespace modelgen {

namespace {

struct Canvas {
    Picture& pic;
    void Fill(uint32_t c)
    {
        for (uint32_t& p : pic.pixels)
            p = c;
    }
    void Put(int x, int y, uint32_t c)
    {
        if (x >= 0 && y >= 0 && x < int(pic.width) && y < int(pic.height))
            pic.pixels[size_t(y) * pic.width + x] = c;
    }
    // Filled ellipse in pixel units.
    void Ellipse(float cx, float cy, float rx, float ry, uint32_t c)
    {
        for (int y = int(cy - ry) - 1; y <= int(cy + ry) + 1; ++y)
            for (int x = int(cx - rx) - 1; x <= int(cx + rx) + 1; ++x) {
                float dx = (x + 0.5f - cx) / rx, dy = (y + 0.5f - cy) / ry;
                if (dx * dx + dy * dy <= 1.0f)
                    Put(x, y, c);
            }
    }
    void Rect(int x0, int y0, int x1, int y1, uint32_t c)
    {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                Put(x, y, c);
    }
    void Tri(float ax, float ay, float bx, float by, float cx, float cy, uint32_t c)
    {
        int x0 = int(std::fmin(ax, std::fmin(bx, cx))), x1 = int(std::fmax(ax, std::fmax(bx, cx))) + 1;
        int y0 = int(std::fmin(ay, std::fmin(by, cy))), y1 = int(std::fmax(ay, std::fmax(by, cy))) + 1;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) {
                float px = x + 0.5f, py = y + 0.5f;
                float e0 = (bx - ax) * (py - ay) - (by - ay) * (px - ax);
                float e1 = (cx - bx) * (py - by) - (cy - by) * (px - bx);
                float e2 = (ax - cx) * (py - cy) - (ay - cy) * (px - cx);
                if ((e0 >= 0 && e1 >= 0 && e2 >= 0) || (e0 <= 0 && e1 <= 0 && e2 <= 0))
                    Put(x, y, c);
            }
    }
};

Picture Blank(uint32_t w, uint32_t h)
{
    Picture p;
    p.width = w;
    p.height = h;
    p.pixels.assign(size_t(w) * h, 0xFF000000u);
    return p;
}

// Eye colours by character: the portraits use the same ones.
const uint32_t kEyeColours[18] = {0xFFC02030, 0xFFE06020, 0xFF208040, 0xFF2040A0, 0xFF6A4020, 0xFFE01030,
                                  0xFF6A3A10, 0xFF402020, 0xFFE0B020, 0xFF403020, 0xFF3A6A40, 0xFF30A040,
                                  0xFF6A2AA0, 0xFF4070B0, 0xFFB07010, 0xFF60A0E0, 0xFF2050B0, 0xFF703090};

void PaintFace(int row, Picture& pic)
{
    pic = Blank(64, 64);
    Canvas cv{pic};
    uint32_t skin = FaceSkin(row);
    cv.Fill(skin);
    uint32_t eye = kEyeColours[row % 18];
    bool fierce = row == 5 || row == 8 || row == 11; // vampire, wolf and cat have narrow eyes
    for (int side = -1; side <= 1; side += 2) {
        float cx = 32 + side * 9.5f, cy = 32;
        if (fierce) {
            cv.Ellipse(cx, cy, 4.5f, 3.5f, 0xFFFFFFFF);
            cv.Ellipse(cx, cy, 2.0f, 3.5f, eye);
            cv.Rect(int(cx - 5), int(cy - 6), int(cx + 5), int(cy - 4), 0xFF201010);
        } else {
            cv.Ellipse(cx, cy, 4.5f, 6.0f, 0xFF181010);
            cv.Ellipse(cx, cy + 0.8f, 3.4f, 4.6f, eye);
            cv.Ellipse(cx - 1.2f, cy - 2.2f, 1.4f, 1.6f, 0xFFFFFFFF);
        }
        cv.Ellipse(cx + side * 1.5f, cy + 8, 3.5f, 1.6f, 0xFFF0A0A0); // cheeks
    }
    if (row == 5) { // fangs
        cv.Rect(28, 42, 36, 44, 0xFF801020);
        cv.Tri(29, 44, 31, 44, 30, 47, 0xFFFFFFFF);
        cv.Tri(33, 44, 35, 44, 34, 47, 0xFFFFFFFF);
    } else if (row == 7 || row == 11) { // whiskers and a small nose
        cv.Ellipse(32, 38, 1.5f, 1.2f, 0xFF804040);
        for (int side = -1; side <= 1; side += 2)
            for (int k = 0; k < 2; ++k)
                cv.Rect(side < 0 ? 12 : 40, 39 + 3 * k, side < 0 ? 24 : 52, 40 + 3 * k, 0xFF303030);
        cv.Rect(29, 43, 35, 44, 0xFF802030);
    } else if (row == 8) { // a wolfish grin with a fang
        cv.Rect(27, 42, 37, 44, 0xFF802030);
        cv.Tri(34, 44, 36, 44, 35, 47, 0xFFFFFFFF);
    } else {
        cv.Ellipse(32, 43, 3.0f, 1.6f, 0xFFB03040);
    }
}

void PaintEmblem(int team, Picture& pic)
{
    pic = Blank(64, 64);
    Canvas cv{pic};
    const uint32_t main[3] = {0xFFB01428, 0xFF2440C0, 0xFF1E6E2C};
    const uint32_t accent[3] = {0xFFF0C030, 0xFFD0D4E0, 0xFF8A5A28};
    cv.Fill(main[team]);
    // Trim along the sides and a team sign on the chest.
    cv.Rect(0, 0, 64, 5, accent[team]);
    cv.Rect(0, 59, 64, 64, accent[team]);
    cv.Rect(29, 0, 35, 64, accent[team]);
    if (team == 0) { // sun
        cv.Ellipse(32, 28, 12, 12, accent[team]);
        cv.Ellipse(32, 28, 7, 7, main[team]);
    } else if (team == 1) { // diamond
        cv.Tri(32, 12, 46, 28, 18, 28, accent[team]);
        cv.Tri(32, 44, 46, 28, 18, 28, accent[team]);
        cv.Tri(32, 19, 39, 28, 25, 28, main[team]);
        cv.Tri(32, 37, 39, 28, 25, 28, main[team]);
    } else { // leaf
        cv.Ellipse(32, 28, 8, 14, accent[team]);
        cv.Rect(31, 14, 33, 44, 0xFF4A2E10);
    }
}

void PaintEye(Picture& pic)
{
    pic = Blank(64, 64);
    Canvas cv{pic};
    cv.Fill(0xFFF4F0E8);
    // Blood vessels, then the iris and pupil in the middle of the front.
    uint32_t seed = 7;
    for (int k = 0; k < 10; ++k) {
        seed = seed * 1103515245u + 12345u;
        float a = (seed >> 8) % 628 / 100.0f;
        for (int r = 14; r < 30; ++r)
            cv.Put(int(32 + std::cos(a + r * 0.05f) * r), int(32 + std::sin(a + r * 0.05f) * r), 0xFFD03030);
    }
    cv.Ellipse(32, 32, 13, 13, 0xFFD09010);
    cv.Ellipse(32, 32, 9, 9, 0xFFF0C020);
    cv.Ellipse(32, 32, 3, 9, 0xFF100808);
    cv.Ellipse(28, 27, 2.5f, 2.5f, 0xFFFFFFFF);
}

void PaintPumpkinFace(Picture& pic)
{
    pic = Blank(64, 64);
    Canvas cv{pic};
    cv.Fill(0xFFE07010);
    for (int x = 4; x < 64; x += 12)
        cv.Rect(x, 0, x + 2, 64, 0xFFC05A08);
    const uint32_t glow = 0xFFFFE040;
    cv.Tri(16, 30, 26, 30, 21, 20, glow);
    cv.Tri(38, 30, 48, 30, 43, 20, glow);
    cv.Tri(29, 38, 35, 38, 32, 33, glow);
    cv.Tri(14, 42, 50, 42, 32, 54, glow);
    cv.Rect(22, 42, 26, 46, 0xFFE07010);
    cv.Rect(38, 42, 42, 46, 0xFFE07010);
}

void PaintScales(uint32_t base, uint32_t edge, Picture& pic)
{
    pic = Blank(32, 32);
    Canvas cv{pic};
    cv.Fill(base);
    for (int y = 0; y < 32; y += 8)
        for (int x = (y / 8 % 2) * 4; x < 36; x += 8) {
            cv.Ellipse(float(x), float(y + 8), 4.5f, 4.5f, edge);
            cv.Ellipse(float(x), float(y + 7), 3.5f, 3.5f, base);
        }
}

void PaintDemonFace(Picture& pic)
{
    pic = Blank(64, 64);
    Canvas cv{pic};
    cv.Fill(0xFFA01818);
    for (int side = -1; side <= 1; side += 2) {
        float cx = 32 + side * 10.0f;
        cv.Tri(cx - 6, 27, cx + 6, 27, cx + side * 5, 34, 0xFFFFF060);
        cv.Rect(int(cx - 7), 23, int(cx + 7), 25, 0xFF300808);
    }
    cv.Rect(20, 44, 44, 47, 0xFF300808);
    for (int x = 22; x < 44; x += 5)
        cv.Tri(float(x), 44, float(x + 3), 44, float(x + 1.5f), 49, 0xFFFFFFFF);
}

} // namespace

uint32_t FaceSkin(int row)
{
    if (row == 8)
        return 0xFFEEC8A4; // the wolf girl is tanned
    if (row == 5 || row == 15)
        return 0xFFF4E8EE; // the vampire and the white witch are pale
    return 0xFFFCE0CC;
}

bool PaintTexture(const std::string& key, Picture& out)
{
    if (key.rfind("face:", 0) == 0) {
        PaintFace(std::atoi(key.c_str() + 5), out);
        return true;
    }
    if (key.rfind("emblem:", 0) == 0) {
        PaintEmblem(std::atoi(key.c_str() + 7) % 3, out);
        return true;
    }
    if (key == "eye")
        PaintEye(out);
    else if (key == "pumpkin")
        PaintPumpkinFace(out);
    else if (key == "dragon")
        PaintScales(0xFF2C8A3A, 0xFF1A5A22, out);
    else if (key == "orc")
        PaintScales(0xFF6A8A3A, 0xFF56722E, out);
    else if (key == "demon")
        PaintDemonFace(out);
    else
        return false;
    return true;
}

} // namespace modelgen
