// The drawn content: the atlas, the font texture and the board textures as the
// build writes them, checked against the rectangle list, the glyph table and the
// character names.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "engine/glyph_table.h"
#include "platform/image_codec.h"
#include "platform/text_encoding.h"
#include "test_support.h"

namespace {

constexpr uint32_t kKey = 0xFF00FF00u;

struct Picture {
    uint32_t width = 0, height = 0;
    std::vector<uint32_t> px; // 0xAARRGGBB, top-down
    uint32_t At(int x, int y) const { return px[size_t(y) * width + x]; }
};

std::string ContentPath(const std::string& name) { return std::string(SUGOROKU_BUILD_DIR) + "/content/" + name; }

std::string BoardName(int i) {
    char name[32];
    std::snprintf(name, sizeof name, "board_%02d.bmp", i);
    return name;
}

// Decodes with the game's own texture loader (colour key applied).
bool LoadPicture(const std::string& name, Picture& out) {
    auto bytes = test_support::ReadFileBytes(ContentPath(name));
    plat::Image img;
    if (bytes.empty() || !plat::DecodeImage(bytes.data(), bytes.size(), img, true)) return false;
    if (img.width != img.imageWidth || img.height != img.imageHeight) return false; // sizes must be powers of two
    out.width = img.width;
    out.height = img.height;
    out.px = std::move(img.pixels);
    return true;
}

bool Transparent(uint32_t c) { return c == kKey || (c >> 24) == 0; }

struct Box { int l, t, r, b; };

// How many texels of the box in the picture satisfy the test.
template <class Test> int CountIn(const Picture& p, const Box& box, Test test) {
    int n = 0;
    for (int y = box.t; y < box.b; ++y)
        for (int x = box.l; x < box.r; ++x) n += test(p.At(x, y)) ? 1 : 0;
    return n;
}

struct ListedRect { std::string texture, element; Box box; };

std::vector<ListedRect> LoadRectList() {
    std::ifstream f(std::string(SUGOROKU_SOURCE_DIR) + "/content/art/atlas_rects.csv");
    std::vector<ListedRect> out;
    std::string line;
    std::getline(f, line); // the column names
    for (ListedRect r; std::getline(f, line); out.push_back(r)) {
        std::replace(line.begin(), line.end(), ',', ' ');
        std::istringstream(line) >> r.texture >> r.box.l >> r.box.t >> r.box.r >> r.box.b >> r.element;
    }
    return out;
}

class ContentArt : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        atlasOk = LoadPicture("atlas.bmp", atlas);
        fontOk = LoadPicture("font.bmp", font);
    }
    static inline Picture atlas, font;
    static inline bool atlasOk = false, fontOk = false;
};

// Ground, floors, sea, wall and the coloured squares cover the whole cell: a
// transparent texel there would be a hole in the board.
TEST_F(ContentArt, ImagesHaveTheirTextureSizesAndGroundIsOpaque) {
    ASSERT_TRUE(atlasOk && fontOk);
    EXPECT_EQ((std::vector<uint32_t>{atlas.width, atlas.height, font.width, font.height}),
              (std::vector<uint32_t>{2048, 2048, 1024, 1024}));
    const std::set<int> ground = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 22, 27};
    for (int i = 0; i < 32; ++i) {
        const std::string name = BoardName(i);
        Picture p;
        ASSERT_TRUE(LoadPicture(name, p)) << name;
        EXPECT_EQ(std::make_pair(p.width, p.height), std::make_pair(32u, i == 9 ? 64u : 32u)) << name; // the wall is twice as tall
        if (ground.count(i))
            for (uint32_t c : p.px) ASSERT_EQ(c >> 24, 0xFFu) << name;
    }
}

TEST_F(ContentArt, GlyphRectanglesAreLaidOutAsTheTextRowsExpect) {
    const std::map<int, Box> telling = {{0, {0, 0, 1, 1}},         {1, {425, 137, 435, 155}},
                                        {2, {3, 5, 20, 22}},       {140, {146, 62, 159, 76}},
                                        {141, {162, 62, 168, 76}}, {164, {4, 166, 23, 184}},
                                        {215, {154, 264, 175, 281}}, {366, {434, 436, 453, 454}}};
    for (auto& [i, b] : telling) {
        const Glyph& g = g_glyphTable[i];
        EXPECT_EQ(std::make_tuple(int(g.left), int(g.top), int(g.right), int(g.bottom)),
                  std::make_tuple(b.l, b.t, b.r, b.b)) << i;
    }
    EXPECT_STREQ(g_glyphTable[0].code, "");
    for (int i = 1; i < kGlyphCount; ++i) {
        const Glyph& g = g_glyphTable[i];
        EXPECT_EQ(std::strlen(g.code), 2u) << i;
        int w = int(g.right - g.left), h = int(g.bottom - g.top);
        EXPECT_TRUE(w >= 6 && w <= 21 && h >= 12 && h <= 19) << "glyph " << i << " is " << w << "x" << h;
        EXPECT_TRUE(g.left >= 2 && g.top >= 4 && g.right <= 510 && g.bottom <= 475) << "glyph " << i;
        for (int j = 1; j < i; ++j) {
            const Glyph& o = g_glyphTable[j];
            bool overlap = g.left < o.right && o.left < g.right && g.top < o.bottom && o.top < g.bottom;
            EXPECT_FALSE(overlap) << "glyphs " << j << " and " << i;
        }
    }
}

TEST_F(ContentArt, FontTextureHoldsEveryGlyphInsideItsRectangle) {
    ASSERT_TRUE(fontOk);
    std::vector<bool> inGlyph(size_t(1024) * 1024, false);
    for (int i = 1; i < kGlyphCount; ++i) {
        const Glyph& g = g_glyphTable[i];
        int ink = 0;
        for (int y = int(g.top); y < int(g.bottom); ++y)
            for (int x = int(g.left); x < int(g.right); ++x) {
                inGlyph[size_t(y) * 1024 + x] = true;
                uint32_t c = font.At(x, y);
                if (!Transparent(c)) {
                    ++ink;
                    EXPECT_EQ(c & 0xFFFFFFu, 0xFFFFFFu) << "glyph " << i << " ink is not white";
                }
            }
        EXPECT_GT(ink, 3) << "glyph " << i << " is empty";
    }
    // Nothing drawn between the glyphs: the texture follows the table.
    for (int y = 0; y < 513; ++y)
        for (int x = 0; x < 1024; ++x)
            if (!inGlyph[size_t(y) * 1024 + x]) ASSERT_TRUE(Transparent(font.At(x, y))) << x << "," << y;
    // The picture below the glyphs is opaque throughout.
    for (int y = 513; y < 993; y += 7)
        for (int x = 0; x < 640; x += 7) ASSERT_FALSE(Transparent(font.At(x, y))) << x << "," << y;
}

TEST_F(ContentArt, EveryListedAtlasRectangleShowsAPicture) {
    ASSERT_TRUE(atlasOk);
    auto rows = LoadRectList();
    ASSERT_GT(rows.size(), 300u);
    int atlasRows = 0;
    for (const auto& r : rows) {
        if (r.texture != "atlas") continue;
        ++atlasRows;
        EXPECT_GT(CountIn(atlas, r.box, [](uint32_t c) { return !Transparent(c); }), 0) << r.element << " is empty";
    }
    EXPECT_EQ(atlasRows, 272);
    // The battle frame's reel windows are holes; a full enemy gauge wraps to column 2047.
    for (int wx : {60, 380}) EXPECT_EQ(CountIn(atlas, {wx, 64, wx + 200, 324}, Transparent), 200 * 260) << wx;
    for (int y = 596; y < 626; ++y) {
        EXPECT_FALSE(Transparent(atlas.At(2047, y))) << y;
        EXPECT_EQ(atlas.At(2047, y) >> 24, 0xFFu) << y;
        EXPECT_EQ(atlas.At(2047, y), atlas.At(0, y)) << y;
    }
}

TEST_F(ContentArt, PortraitsAndFaceIconsDifferFromEachOther) {
    ASSERT_TRUE(atlasOk);
    auto rows = LoadRectList();
    std::vector<std::vector<uint32_t>> cards;
    for (const auto& r : rows) {
        if (r.element.rfind("portrait_card_", 0) != 0) continue;
        std::vector<uint32_t> px;
        for (int y = r.box.t; y < r.box.b; ++y)
            for (int x = r.box.l; x < r.box.r; ++x) px.push_back(atlas.At(x, y));
        for (const auto& other : cards) EXPECT_NE(px, other) << r.element << " repeats another card";
        cards.push_back(px);
    }
    EXPECT_EQ(cards.size(), 25u);
}

TEST_F(ContentArt, ArrowTexturesPointTheWayTheirNamesSay) {
    // right, up, left, down for purple, blue, red, pink and takoizu arrows
    const int first[5] = {10, 14, 18, 23, 28};
    const int dx[4] = {1, 0, -1, 0}, dy[4] = {0, -1, 0, 1};
    for (int base : first)
        for (int d = 0; d < 4; ++d) {
            const std::string name = BoardName(base + d);
            Picture p;
            ASSERT_TRUE(LoadPicture(name, p)) << name;
            EXPECT_TRUE(Transparent(p.At(0, 0)) && Transparent(p.At(31, 31))) << name << " has no transparent ground";
            // The head is the widest part of the arrow: find the slice across the
            // arrow's axis that holds the most ink; it lies ahead of the centre.
            int best = -1, bestCount = 0;
            for (int k = 0; k < 32; ++k) {
                int count = 0;
                for (int j = 0; j < 32; ++j) {
                    int x = dx[d] ? k : j, y = dx[d] ? j : k;
                    count += !Transparent(p.At(x, y));
                }
                if (count > bestCount) best = k, bestCount = count;
            }
            ASSERT_GT(bestCount, 8) << name;
            double ahead = (best - 15.5) * (dx[d] ? dx[d] : dy[d]);
            EXPECT_GT(ahead, 0) << name;
        }
}

std::vector<std::pair<int, std::string>> LoadNames() {
    std::ifstream f(std::string(SUGOROKU_SOURCE_DIR) + "/content/art/characters.txt");
    std::vector<std::pair<int, std::string>> out;
    for (std::string line; std::getline(f, line);)
        if (!line.empty() && line[0] != '#') std::istringstream(line) >> out.emplace_back().first >> out.back().second;
    return out;
}

TEST(ContentArtNames, PlayableNamesFitTheCharacterTableAndTheFont) {
    // Every font character is two CP932 bytes, so a name drawn from the font takes two
    // bytes a character in the character table.
    const size_t lengths[18] = {12, 8, 10, 10, 8, 6, 6, 6, 10, 4, 12, 4, 12, 14, 12, 8, 8, 6};
    std::set<std::string> font;
    for (int g = 1; g < kGlyphCount; ++g) font.insert(plat::Cp932ToUtf8(g_glyphTable[g].code));
    auto names = LoadNames();
    ASSERT_EQ(names.size(), 18u);
    for (int i = 0; i < 18; ++i) {
        const std::string& name = names[i].second;
        EXPECT_EQ(names[i].first, i);
        size_t characters = 0;
        for (size_t k = 0, n; k < name.size(); k += n, ++characters) {
            for (n = 1; k + n < name.size() && (name[k + n] & 0xC0) == 0x80; ++n) {}
            EXPECT_TRUE(font.count(name.substr(k, n))) << name << " uses a character the font lacks";
        }
        EXPECT_EQ(2 * characters, lengths[i]) << name;
    }
}

// Digits are drawn one per rectangle; a row of digits only lines up when each
// digit sits in the middle of its own rectangle.
TEST_F(ContentArt, DigitsAreCentredInTheirRectangles) {
    ASSERT_TRUE(atlasOk);
    int checked = 0;
    for (const auto& r : LoadRectList()) {
        if (r.element.rfind("digit_", 0) != 0) continue;
        int l = r.box.r, rr = r.box.l - 1, t = r.box.b, b = r.box.t - 1;
        for (int y = r.box.t; y < r.box.b; ++y)
            for (int x = r.box.l; x < r.box.r; ++x)
                if (!Transparent(atlas.At(x, y))) l = std::min(l, x), rr = std::max(rr, x), t = std::min(t, y), b = std::max(b, y);
        ASSERT_GE(rr, l) << r.element << " has no ink";
        double inkMid = (l + rr + 1) / 2.0, boxMid = (r.box.l + r.box.r) / 2.0;
        EXPECT_NEAR(inkMid, boxMid, 1.0) << r.element;
        double inkMidY = (t + b + 1) / 2.0, boxMidY = (r.box.t + r.box.b) / 2.0;
        EXPECT_NEAR(inkMidY, boxMidY, 1.5) << r.element;
        EXPECT_GE(b - t + 1, (r.box.b - r.box.t) * 2 / 3) << r.element << " is too small to read";
        ++checked;
    }
    EXPECT_EQ(checked, 40);
}

// The team panel draws its four name plates at one x, so the names must start at the
// plates' left edges to stand in one column.
TEST_F(ContentArt, TeamPanelNamesStartAtTheLeftEdge) {
    ASSERT_TRUE(atlasOk);
    const Box plates[4] = {{1244, 716, 1367, 729}, {1244, 682, 1333, 695}, {1244, 699, 1366, 713}, {1324, 636, 1419, 650}};
    for (const Box& box : plates) {
        int firstInk = box.r;
        for (int y = box.t; y < box.b; ++y)
            for (int x = box.l; x < box.r; ++x)
                if (!Transparent(atlas.At(x, y))) firstInk = std::min(firstInk, x);
        EXPECT_LE(firstInk - box.l, 3) << "plate at " << box.l << "," << box.t;
    }
}

// The board's bottom bar: A and S flip a label between its ON and OFF picture at one
// place, so the key and the words before ON/OFF must not move or change size.
TEST_F(ContentArt, BottomBarLabelsKeepTheirWordsWhenToggled) {
    ASSERT_TRUE(atlasOk);
    struct Pair { Box on, off; };
    const Pair pairs[2] = {{{1096, 1806, 1240, 1820}, {1096, 1824, 1240, 1838}},  // minimap
                           {{1204, 620, 1347, 634}, {1218, 603, 1361, 617}}};     // team panel
    for (const Pair& p : pairs) {
        int differing = 0;
        for (int y = 0; y < 14; ++y)
            for (int x = 0; x < 70; ++x) // the key and the words, left of ON / OFF
                differing += atlas.At(p.on.l + x, p.on.t + y) != atlas.At(p.off.l + x, p.off.t + y);
        EXPECT_EQ(differing, 0) << "label at " << p.on.l << "," << p.on.t;
    }
}

int RunTool(const std::string& sources, const std::string& out) {
    return test_support::RunBuiltProgram("tools/art/art_tool", "--sources " + sources + " --font " +
                                         "/usr/share/fonts/truetype/vlgothic/VL-Gothic-Regular.ttf --out " + out);
}

// Broken sources stop the build with an error instead of drawing half an atlas.
TEST(ContentArtTool, RefusesIncompleteSources) {
    namespace fs = std::filesystem;
    test_support::TempDir dir;
    const std::string src = std::string(SUGOROKU_SOURCE_DIR) + "/content/art/";
    fs::create_directory(dir / "out");
    fs::copy_file(src + "atlas_rects.csv", dir / "atlas_rects.csv");
    std::ofstream(dir / "characters.txt") << "0 アリシアーナ\n1 ルビーナ\n"; // sixteen names missing
    EXPECT_NE(RunTool(dir.path(), dir / "out"), 0);
    EXPECT_FALSE(fs::exists(dir / "out/atlas.bmp"));

    fs::copy_file(src + "characters.txt", dir / "characters.txt", fs::copy_options::overwrite_existing);
    std::ofstream(dir / "atlas_rects.csv") << "texture,left,top,right,bottom,element\natlas,1,x,3,4,broken\n";
    EXPECT_NE(RunTool(dir.path(), dir / "out"), 0);
}

// Backgrounds, panels and pictures are drawn whole: a transparent texel inside one
// would let the screen behind show through.
TEST_F(ContentArt, PanelsAndPicturesAreSolid) {
    ASSERT_TRUE(atlasOk);
    const char* solid[] = {"message_window_panel", "panel_316x110", "menu_frame_main", "menu_frame_two_items",
                           "quit_dialog_panel", "save_menu_panel", "options_panel", "title_menu_panel",
                           "ranking_panel", "status_frame", "battle_card_frame", "title_picture",
                           "background_tile", "status_bar_strip", "battle_gauge_party", "battle_gauge_enemy"};
    int checked = 0;
    for (const auto& r : LoadRectList()) {
        bool want = r.element.rfind("portrait_card_", 0) == 0 || r.element.rfind("face_icon_", 0) == 0;
        for (const char* s : solid) want = want || r.element == s;
        if (!want) continue;
        ++checked;
        EXPECT_EQ(CountIn(atlas, r.box, [](uint32_t c) { return (c >> 24) != 0xFF; }), 0) << r.element;
    }
    EXPECT_EQ(checked, 16 + 25 + 19);
}

} // namespace
