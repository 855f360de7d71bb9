// The font's glyph rectangles: how a glyph's ink sits in its rectangle, and the
// generator that lays out every rectangle around the fixed ones and writes the
// game's glyph table. The table is the source; the font texture follows it.
#include <iconv.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "art.h"
#include "engine/glyph_table.h"

namespace art {

namespace {

// Rectangles that other code and data already rely on; the generator keeps them.
constexpr int kFixedIndices[] = {1, 2, 140, 141, 164, 215, 366};

// A text row centres a glyph of height h in its band at this offset (halves away from zero).
int BandOffset(int h)
{
    double v = (kGlyphCellHeight - h) / 2.0;
    return int(v < 0 ? -std::floor(-v + 0.5) : std::floor(v + 0.5));
}

std::string Utf8(uint32_t cp)
{
    std::string s;
    if (cp < 0x80)
        s += char(cp);
    else if (cp < 0x800)
        s += char(0xC0 | (cp >> 6)), s += char(0x80 | (cp & 0x3F));
    else
        s += char(0xE0 | (cp >> 12)), s += char(0x80 | ((cp >> 6) & 0x3F)), s += char(0x80 | (cp & 0x3F));
    return s;
}

// The ink of a glyph and the band row of its top edge: the em box is centred in the band.
struct CellInk {
    InkMask ink;
    int cellTop = 0;
};

CellInk RenderCell(uint32_t cp, int px)
{
    CellInk c;
    c.ink = RenderText(Utf8(cp), px);
    int baseline = int(std::lround((kGlyphCellHeight - px) / 2.0 + 0.86 * px));
    c.cellTop = baseline + c.ink.top;
    return c;
}

// Smallest height 12..19 whose band position contains the ink rows; 0 if none.
int FitHeight(int cellTop, int inkH)
{
    for (int h = 12; h <= 19; ++h) {
        int off = BandOffset(h);
        if (cellTop >= off && cellTop + inkH <= off + h)
            return h;
    }
    return 0;
}

bool Overlaps(const Rect& a, const Rect& b, int gap)
{
    return a.l < b.r + gap && b.l < a.r + gap && a.t < b.b + gap && b.t < a.b + gap;
}

std::string Float(int v)
{
    return std::to_string(v) + ".0f";
}

} // namespace

uint32_t Cp932ToUnicode(const char* code)
{
    iconv_t cd = iconv_open("UTF-32LE", "CP932");
    if (cd == (iconv_t)-1)
        return 0;
    char in[2] = {code[0], code[1]};
    char* ip = in;
    size_t il = 2;
    uint32_t out = 0;
    char* op = reinterpret_cast<char*>(&out);
    size_t ol = 4;
    size_t r = iconv(cd, &ip, &il, &op, &ol);
    iconv_close(cd);
    return r == size_t(-1) ? 0 : out;
}

PlacedGlyph PlaceGlyph(uint32_t cp, Rect rect)
{
    PlacedGlyph pg;
    for (int px = kGlyphPixelSize; px >= 8; --px) {
        CellInk c = RenderCell(cp, px);
        if (c.ink.mask.w == 0)
            return pg;
        if (c.ink.mask.h > rect.h())
            continue;
        if (c.ink.mask.w > rect.w()) {
            // A fixed rectangle narrower than the ink: narrow the letter before shrinking it.
            float sq = float(rect.w()) / c.ink.mask.w;
            if (sq < 0.7f)
                continue;
            int top = c.cellTop - c.ink.top;
            c.ink = RenderText(Utf8(cp), px, 0, false, sq);
            c.cellTop = top + c.ink.top;
            if (c.ink.mask.w > rect.w() || c.ink.mask.h > rect.h())
                continue;
        }
        const Mask& m = c.ink.mask;
        int y = rect.t + (c.cellTop - BandOffset(rect.h()));
        y = std::clamp(y, rect.t, rect.b - m.h);
        pg.mask = m;
        pg.x = rect.l + (rect.w() - m.w) / 2;
        pg.y = y;
        return pg;
    }
    return pg;
}

bool GenerateGlyphTable(const std::string& path, std::string& error)
{
    std::vector<Rect> rects(kGlyphCount);
    std::vector<bool> fixed(kGlyphCount, false);
    std::vector<Rect> placed;
    for (int i : kFixedIndices) {
        const Glyph& g = g_glyphTable[i];
        rects[i] = {int(g.left), int(g.top), int(g.right), int(g.bottom)};
        fixed[i] = true;
        placed.push_back(rects[i]);
    }
    const Rect area{2, 4, 510, 475};
    constexpr int kGap = 2, kShelf = 19 + kGap;
    int x = area.l, shelf = area.t;
    for (int i = 1; i < kGlyphCount; ++i) {
        if (fixed[i])
            continue;
        uint32_t cp = Cp932ToUnicode(g_glyphTable[i].code);
        int w = 0, h = 0;
        for (int px = kGlyphPixelSize; px >= 8 && h == 0; --px) {
            CellInk c = RenderCell(cp, px);
            if (c.ink.mask.w == 0 || c.ink.mask.w > 21)
                continue;
            h = FitHeight(c.cellTop, c.ink.mask.h);
            w = std::max(6, c.ink.mask.w);
        }
        if (h == 0) {
            error = "glyph " + std::to_string(i) + " does not fit a rectangle";
            return false;
        }
        for (;;) {
            if (x + w > area.r)
                x = area.l, shelf += kShelf;
            if (shelf + 19 > area.b) {
                error = "glyph area full at glyph " + std::to_string(i);
                return false;
            }
            Rect r{x, shelf + (19 - h) / 2, x + w, shelf + (19 - h) / 2 + h};
            auto hit = std::find_if(placed.begin(), placed.end(), [&](const Rect& p) { return Overlaps(r, p, kGap); });
            if (hit == placed.end()) {
                rects[i] = r;
                placed.push_back(r);
                x = r.r + kGap;
                break;
            }
            x = hit->r + kGap;
        }
    }
    std::ostringstream o;
    o << "// The font texture's glyphs in table order: the CP932 code of each character and\n"
         "// its texel rectangle. Generated once by the art tool (art_tool --gen-glyphs) and\n"
         "// kept as source: the font image is rendered from this same table.\n"
         "#include \"engine/glyph_table.h\"\n\n"
         "const Glyph g_glyphTable[kGlyphCount] = {\n"
         "    {\"\", 0.0f, 0.0f, 1.0f, 1.0f}, // 0 (none)\n";
    for (int i = 1; i < kGlyphCount; ++i) {
        const Glyph& g = g_glyphTable[i];
        char code[32];
        std::snprintf(code, sizeof code, "\\x%02X\\x%02X", unsigned(uint8_t(g.code[0])), unsigned(uint8_t(g.code[1])));
        const Rect& r = rects[i];
        o << "    {\"" << code << "\", " << Float(r.l) << ", " << Float(r.t) << ", " << Float(r.r) << ", " << Float(r.b)
          << "}, // " << i << " " << Utf8(Cp932ToUnicode(g.code)) << "\n";
    }
    o << "};\n";
    std::ofstream f(path, std::ios::binary);
    f << o.str();
    if (!f) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

void DrawFontTexture(Canvas& c)
{
    for (int i = 1; i < kGlyphCount; ++i) {
        const Glyph& g = g_glyphTable[i];
        Rect r{int(g.left), int(g.top), int(g.right), int(g.bottom)};
        PlacedGlyph pg = PlaceGlyph(Cp932ToUnicode(g.code), r);
        // White ink; its coverage is the texel's alpha, so the vertex colour tints it.
        c.SetClip(r);
        PaintMask(c, pg.mask, pg.x, pg.y, Paint(0xFFFFFFFFu));
        c.ResetClip();
    }
    DrawWorldPicture(c, Rect{0, 513, 640, 993});
}

} // namespace art
