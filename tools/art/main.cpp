// The art tool: draws the interface atlas, the font texture and the 32 board
// textures as bitmap files for the data archive. The same sources always give
// the same bytes.
//
//   art_tool --sources DIR --font TTF --out DIR [--png]   draw everything
//   art_tool --font TTF --gen-glyphs FILE                write the glyph table source
#include <cstdio>
#include <cstring>
#include <string>

#include "art.h"
#include "platform/files.h"
#include "platform/image_codec.h"

namespace {

// An empty image is an encoder failure, never a file to write.
bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    return !bytes.empty() && plat::WriteFileAtomically(path.c_str(), bytes.data(), bytes.size());
}

bool Save(const art::Canvas& c, const std::string& path, bool alpha, bool png)
{
    auto bytes = alpha ? plat::EncodeBmp32(c.data(), c.w(), c.h()) : plat::EncodeBmp24(c.data(), c.w(), c.h());
    if (!WriteFile(path, bytes)) {
        std::fprintf(stderr, "art_tool: cannot write %s\n", path.c_str());
        return false;
    }
    if (png) {
        std::string p = path.substr(0, path.size() - 4) + ".png";
        if (!plat::WritePngFile(p.c_str(), c.data(), c.w(), c.h())) {
            std::fprintf(stderr, "art_tool: cannot write %s\n", p.c_str());
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    std::string sources, font, out, genGlyphs;
    bool png = false;
    for (int i = 1; i < argc; ++i) {
        auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
        if (!std::strcmp(argv[i], "--sources"))
            sources = next();
        else if (!std::strcmp(argv[i], "--font"))
            font = next();
        else if (!std::strcmp(argv[i], "--out"))
            out = next();
        else if (!std::strcmp(argv[i], "--gen-glyphs"))
            genGlyphs = next();
        else if (!std::strcmp(argv[i], "--png"))
            png = true;
        else {
            std::fprintf(stderr, "art_tool: unknown argument %s\n", argv[i]);
            return 2;
        }
    }
    if (font.empty() || !art::OpenFont(font.c_str())) {
        std::fprintf(stderr, "art_tool: cannot open the font %s\n", font.c_str());
        return 1;
    }
    std::string error;
    if (!genGlyphs.empty()) {
        if (!art::GenerateGlyphTable(genGlyphs, error)) {
            std::fprintf(stderr, "art_tool: %s\n", error.c_str());
            return 1;
        }
        return 0;
    }
    if (sources.empty() || out.empty()) {
        std::fprintf(stderr, "usage: art_tool --sources DIR --font TTF --out DIR [--png]\n");
        return 2;
    }
    std::vector<art::RectRow> rows;
    std::vector<std::string> names;
    if (!art::LoadRectList(sources + "/atlas_rects.csv", rows, error) ||
        !art::LoadCharacterNames(sources + "/characters.txt", names, error)) {
        std::fprintf(stderr, "art_tool: %s\n", error.c_str());
        return 1;
    }

    art::Canvas atlas(2048, 2048);
    art::DrawAtlas(atlas, rows, names);
    atlas.Finish();
    if (!Save(atlas, out + "/atlas.bmp", true, png))
        return 1;

    art::Canvas fontTex(1024, 1024);
    art::DrawFontTexture(fontTex);
    fontTex.Finish();
    if (!Save(fontTex, out + "/font.bmp", true, png))
        return 1;

    for (int i = 0; i < 32; ++i) {
        art::Canvas b = art::DrawBoardTexture(i);
        b.Finish();
        char name[32];
        std::snprintf(name, sizeof name, "/board_%02d.bmp", i);
        // Arrows sit on a transparent ground and keep their soft edges; the rest is opaque.
        bool arrow = (i >= 10 && i <= 21) || (i >= 23 && i <= 26) || i >= 28;
        if (!Save(b, out + name, arrow, png))
            return 1;
    }
    art::CloseFont();
    return 0;
}
