#include "text.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cmath>

namespace art {

namespace {
FT_Library g_lib = nullptr;
FT_Face g_face = nullptr;
} // namespace

bool OpenFont(const char* path)
{
    if (FT_Init_FreeType(&g_lib) != 0)
        return false;
    if (FT_New_Face(g_lib, path, 0, &g_face) != 0)
        return false;
    return true;
}

void CloseFont()
{
    if (g_face)
        FT_Done_Face(g_face);
    if (g_lib)
        FT_Done_FreeType(g_lib);
    g_face = nullptr;
    g_lib = nullptr;
}

std::vector<uint32_t> Utf8Decode(const std::string& s)
{
    std::vector<uint32_t> out;
    for (size_t i = 0; i < s.size();) {
        unsigned char c = s[i];
        uint32_t cp;
        int n;
        if (c < 0x80)
            cp = c, n = 1;
        else if ((c >> 5) == 6)
            cp = c & 0x1F, n = 2;
        else if ((c >> 4) == 14)
            cp = c & 0x0F, n = 3;
        else
            cp = c & 0x07, n = 4;
        for (int k = 1; k < n && i + k < s.size(); ++k)
            cp = (cp << 6) | (s[i + k] & 0x3F);
        out.push_back(cp);
        i += n;
    }
    return out;
}

InkMask RenderText(const std::string& utf8, int px, int embolden, bool vertical, float xScale)
{
    InkMask out;
    if (!g_face)
        return out;
    FT_Set_Pixel_Sizes(g_face, 0, FT_UInt(px));
    FT_Matrix m{FT_Fixed(std::lround(xScale * 65536.0)), 0, 0, 0x10000};
    FT_Set_Transform(g_face, &m, nullptr);
    auto cps = Utf8Decode(utf8);
    // Work area generous enough for any label.
    int pad = px * 2;
    int W = vertical ? px * 3 : int(cps.size()) * px * 2 + pad * 2;
    int H = vertical ? int(cps.size()) * px * 2 + pad * 2 : px * 4;
    std::vector<uint8_t> buf(size_t(W) * H, 0);
    int penX = pad, baseY = vertical ? pad + px : px * 3;
    for (uint32_t cp : cps) {
        FT_UInt gi = FT_Get_Char_Index(g_face, cp);
        if (FT_Load_Glyph(g_face, gi, FT_LOAD_DEFAULT | FT_LOAD_TARGET_LIGHT) != 0)
            continue;
        if (embolden && g_face->glyph->format == FT_GLYPH_FORMAT_OUTLINE)
            FT_Outline_Embolden(&g_face->glyph->outline, embolden);
        if (FT_Render_Glyph(g_face->glyph, FT_RENDER_MODE_NORMAL) != 0)
            continue;
        FT_GlyphSlot g = g_face->glyph;
        int gx = vertical ? pad + (px - int(g->bitmap.width)) / 2 : penX + g->bitmap_left;
        int gy = baseY - g->bitmap_top;
        for (unsigned y = 0; y < g->bitmap.rows; ++y)
            for (unsigned x = 0; x < g->bitmap.width; ++x) {
                int tx = gx + int(x), ty = gy + int(y);
                if (tx < 0 || ty < 0 || tx >= W || ty >= H)
                    continue;
                uint8_t v = g->bitmap.buffer[y * g->bitmap.pitch + x];
                uint8_t& d = buf[size_t(ty) * W + tx];
                d = uint8_t(std::min(255, d + v));
            }
        if (vertical)
            baseY += int(px * 1.05f);
        else
            penX += int((g->advance.x + 32) >> 6);
    }
    out.advance = vertical ? baseY - (pad + px) : penX - pad;
    int l = W, t = H, r = -1, b = -1;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            if (buf[size_t(y) * W + x])
                l = std::min(l, x), r = std::max(r, x), t = std::min(t, y), b = std::max(b, y);
    if (r < 0)
        return out;
    out.mask.w = r - l + 1;
    out.mask.h = b - t + 1;
    out.mask.a.resize(size_t(out.mask.w) * out.mask.h);
    for (int y = 0; y < out.mask.h; ++y)
        for (int x = 0; x < out.mask.w; ++x)
            out.mask.a[size_t(y) * out.mask.w + x] = buf[size_t(y + t) * W + x + l];
    out.left = l - pad;
    out.top = t - (vertical ? pad + px : px * 3);
    return out;
}

Mask Dilate(const Mask& m, float r)
{
    int R = int(std::ceil(r));
    Mask o;
    o.w = m.w + 2 * R;
    o.h = m.h + 2 * R;
    o.a.assign(size_t(o.w) * o.h, 0);
    for (int y = 0; y < o.h; ++y)
        for (int x = 0; x < o.w; ++x) {
            float best = 0;
            for (int dy = -R; dy <= R; ++dy)
                for (int dx = -R; dx <= R; ++dx) {
                    float d = std::sqrt(float(dx * dx + dy * dy));
                    float w = std::clamp(r + 0.5f - d, 0.0f, 1.0f);
                    if (w <= 0)
                        continue;
                    best = std::max(best, m.At(x - R + dx, y - R + dy) * w);
                }
            o.a[size_t(y) * o.w + x] = uint8_t(std::lround(best));
        }
    return o;
}

void PaintMask(Canvas& c, const Mask& m, int x, int y, const Paint& p, float alpha)
{
    for (int j = 0; j < m.h; ++j)
        for (int i = 0; i < m.w; ++i) {
            uint8_t v = m.a[size_t(j) * m.w + i];
            if (v)
                c.Blend(x + i, y + j, p.At(float(x + i) + 0.5f, float(y + j) + 0.5f), v / 255.0f * alpha);
        }
}

void PaintText(Canvas& c, const Mask& ink, int x, int y, const TextStyle& s)
{
    Paint fill = s.fill;
    if (fill.kind == Paint::Linear && fill.x0 == 0 && fill.x1 == 0 && fill.y0 == 0 && fill.y1 == 1) {
        // unit vertical gradient: stretch over the ink
        fill.y0 = float(y);
        fill.y1 = float(y + ink.h);
        fill.x0 = fill.x1 = float(x);
    }
    const int R = int(std::ceil(s.outlineWidth));
    if (s.shadow)
        PaintMask(c, s.outline ? Dilate(ink, s.outlineWidth) : ink, x - (s.outline ? R : 0) + 1,
                  y - (s.outline ? R : 0) + 1, Paint(s.shadow));
    if (s.outline)
        PaintMask(c, Dilate(ink, s.outlineWidth), x - R, y - R, Paint(s.outline));
    PaintMask(c, ink, x, y, fill);
}

int DrawFitted(Canvas& c, Rect r, const std::string& utf8, const TextStyle& s)
{
    int extra = int(std::ceil(s.outlineWidth)) + (s.shadow ? 1 : 0);
    for (int px = s.maxPx; px >= s.minPx; --px) {
        InkMask im = RenderText(utf8, px, s.embolden, s.vertical);
        if (im.mask.w == 0)
            return 0;
        int availW = r.w() - 2 * s.padX - 2 * extra, availH = r.h() - 2 * s.padY - 2 * extra;
        if (im.mask.h > availH)
            continue;
        if (im.mask.w > availW) {
            // Narrow the letters a little rather than shrink the whole text.
            float sq = float(availW) / im.mask.w;
            if (sq < s.minSqueeze || s.vertical)
                continue;
            for (int k = 0; k < 4 && im.mask.w > availW; ++k, sq *= 0.97f)
                im = RenderText(utf8, px, s.embolden, false, sq);
            if (im.mask.w > availW || im.mask.h > availH)
                continue;
        }
        int x = s.align < 0   ? r.l + s.padX + extra
                : s.align > 0 ? r.r - s.padX - extra - im.mask.w
                              : r.l + (r.w() - im.mask.w) / 2;
        int y = r.t + (r.h() - im.mask.h) / 2;
        PaintText(c, im.mask, x, y, s);
        return px;
    }
    return 0;
}

} // namespace art
