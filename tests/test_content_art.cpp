// The drawn content: the atlas, the font texture and the board textures as the
// build writes them, checked against the rectangle list, the glyph table and the
// character names.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <sstream>
#include <tuple>

#include "engine/glyph_table.h"
#include "platform/image_codec.h"
#include "platform/text_encoding.h"
#include "test_support.h"

namespace {

const std::string kArtSources = std::string(SUGOROKU_SOURCE_DIR) + "/content/art/";

struct Picture {
    uint32_t width = 0, height = 0;
    std::vector<uint32_t> px; // 0xAARRGGBB, top-down
    uint32_t At(int x, int y) const { return px[size_t(y) * width + x]; }
    const uint32_t* Row(int x, int y) const { return px.data() + size_t(y) * width + x; }
};

// Decodes with the game's own texture loader (colour key applied); sizes must be powers of two.
bool LoadPicture(const std::string& name, Picture& out)
{
    auto bytes = test_support::ReadFileBytes(std::string(SUGOROKU_BUILD_DIR) + "/content/" + name);
    plat::Image img;
    if (!plat::DecodeImage(bytes.data(), bytes.size(), img, true) || img.width != img.imageWidth ||
        img.height != img.imageHeight)
        return false;
    out = {img.width, img.height, std::move(img.pixels)};
    return true;
}

bool Transparent(uint32_t c)
{
    return c == 0xFF00FF00u || (c >> 24) == 0;
}
bool Ink(uint32_t c)
{
    return !Transparent(c);
}

struct Box {
    int l, t, r, b;
};

// The texels of the box that pass the test: how many, and the box around them.
struct Found {
    int n = 0, l = 1 << 30, t = 1 << 30, r = -1, b = -1;
};
template <class Test>
Found Scan(const Picture& p, const Box& box, Test test)
{
    Found f;
    for (int y = box.t; y < box.b; ++y)
        for (int x = box.l; x < box.r; ++x)
            if (test(p.At(x, y)))
                ++f.n, f.l = std::min(f.l, x), f.r = std::max(f.r, x), f.t = std::min(f.t, y), f.b = std::max(f.b, y);
    return f;
}

// Ground, floors, sea, wall and the coloured squares cover the whole cell (a transparent
// texel there would be a hole in the board); arrows are drawn over it, pointing their way.
// The texture sizes are the build's own check of the archive.
TEST(ContentArtBoard, GroundIsSolidAndArrowsPointTheirWay)
{
    const std::set<int> ground = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 22, 27};
    // right, up, left, down for purple, blue, red, pink and takoizu arrows
    const int arrows[5] = {10, 14, 18, 23, 28}, dx[4] = {1, 0, -1, 0}, dy[4] = {0, -1, 0, 1};
    for (int i = 0; i < 32; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "board_%02d.bmp", i);
        SCOPED_TRACE(name);
        Picture p;
        ASSERT_TRUE(LoadPicture(name, p));
        if (ground.count(i))
            EXPECT_EQ(Scan(p, {0, 0, 32, int(p.height)}, [](uint32_t c) { return c >> 24 != 0xFF; }).n, 0);
        const int* first = std::find_if(arrows, arrows + 5, [i](int a) { return i >= a && i < a + 4; });
        if (first == arrows + 5)
            continue;
        const int d = i - *first;
        EXPECT_TRUE(Transparent(p.At(0, 0)) && Transparent(p.At(31, 31))) << "no transparent ground";
        // The head is the widest slice across the arrow's axis, and lies ahead of the centre.
        int best = -1, bestCount = 0;
        for (int k = 0; k < 32; ++k) {
            const int count = Scan(p, dx[d] ? Box{k, 0, k + 1, 32} : Box{0, k, 32, k + 1}, Ink).n;
            if (count > bestCount)
                best = k, bestCount = count;
        }
        EXPECT_GT(bestCount, 8);
        EXPECT_GT((best - 15.5) * (dx[d] + dy[d]), 0);
    }
}

TEST(ContentArtFont, GlyphTableAndFontTextureAgree)
{
    Picture font;
    ASSERT_TRUE(LoadPicture("font.bmp", font));
    const std::map<int, Box> telling = {{0, {0, 0, 1, 1}},        {1, {425, 137, 435, 155}},
                                        {2, {3, 5, 20, 22}},      {140, {146, 62, 159, 76}},
                                        {164, {4, 166, 23, 184}}, {366, {434, 436, 453, 454}}};
    for (auto& [i, b] : telling) {
        const Glyph& g = g_glyphTable[i];
        EXPECT_EQ(std::make_tuple(int(g.left), int(g.top), int(g.right), int(g.bottom)),
                  std::make_tuple(b.l, b.t, b.r, b.b))
            << i;
    }
    EXPECT_STREQ(g_glyphTable[0].code, "");
    int inkInGlyphs = 0;
    for (int i = 1; i < kGlyphCount; ++i) {
        const Glyph& g = g_glyphTable[i];
        const int w = int(g.right - g.left), h = int(g.bottom - g.top);
        EXPECT_EQ(std::strlen(g.code), 2u) << i;
        EXPECT_TRUE(w >= 6 && w <= 21 && h >= 12 && h <= 19) << "glyph " << i << " is " << w << "x" << h;
        ASSERT_TRUE(g.left >= 2 && g.top >= 4 && g.right <= 510 && g.bottom <= 475) << "glyph " << i;
        for (int j = 1; j < i; ++j) {
            const Glyph& o = g_glyphTable[j];
            EXPECT_FALSE(g.left < o.right && o.left < g.right && g.top < o.bottom && o.top < g.bottom)
                << j << " and " << i;
        }
        const Box box{int(g.left), int(g.top), int(g.right), int(g.bottom)};
        inkInGlyphs += Scan(font, box, Ink).n;
        EXPECT_GT(Scan(font, box, Ink).n, 3) << "glyph " << i << " is empty";
        EXPECT_EQ(Scan(font, box, [](uint32_t c) { return Ink(c) && (c & 0xFFFFFFu) != 0xFFFFFFu; }).n, 0)
            << "glyph " << i << " ink is not white";
    }
    // Nothing drawn between the glyphs (they do not overlap), and the picture below them solid.
    EXPECT_EQ(Scan(font, {0, 0, 1024, 513}, Ink).n, inkInGlyphs);
    EXPECT_EQ(Scan(font, {0, 513, 640, 993}, Transparent).n, 0);
}

// Every listed atlas picture is there. Digits sit in the middle of their rectangles (a row
// of digits lines up only then); panels, pictures and portraits are solid, and so is the
// card of each face icon, which leaves the rest of its rectangle transparent (the screen
// behind would show through); no two portrait cards are alike.
TEST(ContentArtAtlas, ListedRectanglesShowTheirPicturesAndLabelsLineUp)
{
    Picture atlas;
    ASSERT_TRUE(LoadPicture("atlas.bmp", atlas));
    const std::set<std::string> solid = {
        "message_window_panel", "panel_316x110",    "menu_frame_main",    "menu_frame_two_items",
        "quit_dialog_panel",    "save_menu_panel",  "options_panel",      "title_menu_panel",
        "ranking_panel",        "status_frame",     "battle_card_frame",  "title_picture",
        "background_tile",      "status_bar_strip", "battle_gauge_party", "battle_gauge_enemy"};
    std::ifstream f(kArtSources + "atlas_rects.csv");
    std::string line, texture, element;
    std::getline(f, line); // the column names
    std::vector<std::vector<uint32_t>> cards;
    int rows = 0, digits = 0, solids = 0;
    for (Box r; std::getline(f, line);) {
        std::replace(line.begin(), line.end(), ',', ' ');
        std::istringstream(line) >> texture >> r.l >> r.t >> r.r >> r.b >> element;
        if (texture != "atlas")
            continue;
        SCOPED_TRACE(element);
        ++rows;
        const Found ink = Scan(atlas, r, Ink);
        EXPECT_GT(ink.n, 0) << "empty";
        const bool card = element.rfind("portrait_card_", 0) == 0;
        if (card || element.rfind("face_icon_", 0) == 0 || solid.count(element)) {
            ++solids;
            const Box inked = element.rfind("face_icon_", 0) == 0 ? Box{ink.l, ink.t, ink.r + 1, ink.b + 1} : r;
            EXPECT_EQ(Scan(atlas, inked, [](uint32_t c) { return (c >> 24) != 0xFF; }).n, 0) << "not solid";
        }
        if (element.rfind("digit_", 0) == 0) {
            ++digits;
            EXPECT_NEAR((ink.l + ink.r + 1) / 2.0, (r.l + r.r) / 2.0, 1.0);
            EXPECT_NEAR((ink.t + ink.b + 1) / 2.0, (r.t + r.b) / 2.0, 1.5);
            EXPECT_GE(ink.b - ink.t + 1, (r.b - r.t) * 2 / 3) << "too small to read";
        }
        if (!card)
            continue;
        std::vector<uint32_t> px;
        for (int y = r.t; y < r.b; ++y)
            px.insert(px.end(), atlas.Row(r.l, y), atlas.Row(r.r, y));
        for (const auto& other : cards)
            EXPECT_NE(px, other) << "repeats another card";
        cards.push_back(px);
    }
    EXPECT_EQ((std::vector<size_t>{size_t(rows), size_t(digits), size_t(solids), cards.size()}),
              (std::vector<size_t>{272, 40, 16 + 25 + 19, 25}));
    // The battle frame's reel windows are holes; a full enemy gauge wraps to column 2047.
    for (int wx : {60, 380})
        EXPECT_EQ(Scan(atlas, {wx, 64, wx + 200, 324}, Transparent).n, 200 * 260) << wx;
    for (int y = 596; y < 626; ++y)
        EXPECT_TRUE(atlas.At(2047, y) >> 24 == 0xFF && atlas.At(2047, y) == atlas.At(0, y)) << y;
    // The team panel draws its four name plates at one x, so the names must start at the
    // plates' left edges to stand in one column. The bottom bar's A and S flip a label between
    // its ON and OFF picture at one place: the key and the words before ON/OFF must not move.
    for (const Box& plate :
         {Box{1244, 716, 1367, 729}, {1244, 682, 1333, 695}, {1244, 699, 1366, 713}, {1324, 636, 1419, 650}})
        EXPECT_LE(Scan(atlas, plate, Ink).l - plate.l, 3) << "plate at " << plate.l << "," << plate.t;
    const int onOff[2][4] = {{1096, 1806, 1096, 1824}, {1204, 620, 1218, 603}}; // the minimap's, the team panel's
    for (const auto& p : onOff)
        for (int y = 0; y < 14; ++y)
            EXPECT_TRUE(
                std::equal(atlas.Row(p[0], p[1] + y), atlas.Row(p[0] + 70, p[1] + y), atlas.Row(p[2], p[3] + y)))
                << p[0] << "," << p[1] + y;
}

// Pictures that the game draws over other words must hide them: the save slots' key hint
// lies over the die value, their messages over the slot list, the command menu's title over
// the team panel's fourth row, the automatic-play badge over the board's light squares.
// The options' help line lies across the board's status bar: the bar's words keep their
// rows, and the help's own words stand on a solid plate above them.
TEST(ContentArtAtlas, WordsDrawnOverOtherWordsHideThem)
{
    Picture atlas;
    ASSERT_TRUE(LoadPicture("atlas.bmp", atlas));
    auto opaque = [](uint32_t c) { return (c >> 24) == 0xFF; };
    const Box solid[] = {{1113, 156, 1287, 181},
                         {850, 363, 1004, 391},
                         {1010, 1577, 1287, 1605},
                         {767, 181, 871, 199},
                         {1212, 1318, 1376, 1332}};
    for (const Box& b : solid)
        EXPECT_EQ(Scan(atlas, b, opaque).n, (b.r - b.l) * (b.b - b.t)) << "not solid at " << b.l << "," << b.t;

    const Box help{951, 0, 1383, 26};
    const int helpX = 104, helpY = 453; // centred on the screen, above the bar's words at y 465
    const Found words = Scan(atlas, help, Ink);
    ASSERT_GT(words.n, 0);
    EXPECT_EQ(Scan(atlas, {words.l, words.t, words.r + 1, words.b + 1}, [](uint32_t c) { return (c >> 24) != 0xFF; }).n,
              0);
    struct Placed {
        Box b;
        int x;
    };
    const Placed bar[] = {{{1010, 1055, 1208, 1069}, 0},   {{1212, 1285, 1424, 1299}, 0},
                          {{1096, 1806, 1240, 1820}, 372}, {{1096, 1824, 1240, 1838}, 372},
                          {{1204, 620, 1347, 634}, 218},   {{1218, 603, 1361, 617}, 218}};
    for (const Placed& p : bar)
        for (int y = p.b.t; y < p.b.b; ++y)
            for (int x = p.b.l; x < p.b.r; ++x) {
                const int hx = p.x + x - p.b.l - helpX + help.l, hy = 465 + y - p.b.t - helpY + help.t;
                if (Ink(atlas.At(x, y)) && hx >= help.l && hx < help.r && hy >= help.t && hy < help.b)
                    ASSERT_FALSE(Ink(atlas.At(hx, hy))) << "the help line covers the bar's word at " << x << "," << y;
            }
}

// The team names are drawn at one place in each row of the team panel and of the ranking,
// and centred in one frame on team select and the status screen (a 17-high name a texel
// lower than a 19-high one): each set of plates shows its names in one size on one line.
TEST(ContentArtNames, TeamNamePlatesShareOneHeightAndBaseline)
{
    Picture atlas;
    ASSERT_TRUE(LoadPicture("atlas.bmp", atlas));
    struct Plate {
        Box b;
        int drop;
    }; // drop: how much lower than the others the game draws it
    const std::vector<std::vector<Plate>> sets = {
        {{{1244, 716, 1367, 729}, 0}, {{1244, 682, 1333, 695}, 0}, {{1244, 699, 1366, 713}, 0}},
        {{{1062, 473, 1334, 498}, 0}, {{1062, 534, 1252, 558}, 0}, {{1062, 502, 1334, 529}, 0}},
        {{{1012, 566, 1215, 585}, 0}, {{1012, 615, 1153, 632}, 1}, {{1012, 589, 1214, 608}, 0}}};
    for (const auto& set : sets) {
        std::set<int> baselines, heights;
        for (const Plate& p : set) {
            const Found ink = Scan(atlas, p.b, Ink);
            ASSERT_GT(ink.n, 0) << p.b.l << "," << p.b.t;
            baselines.insert(ink.b - p.b.t + p.drop);
            heights.insert(ink.b - ink.t);
        }
        EXPECT_EQ(baselines.size(), 1u) << "plates from " << set[0].b.l << "," << set[0].b.t;
        EXPECT_LE(*heights.rbegin() - *heights.begin(), 1) << "plates from " << set[0].b.l << "," << set[0].b.t;
    }
}

// A 1 drawn as a plain bar reads as "|" ("ステージ |", "|2月"): in every digit set the 1
// has a flag or a foot, so its rows of ink are not all one width.
TEST(ContentArtAtlas, EveryDigitOneIsMoreThanABar)
{
    Picture atlas;
    ASSERT_TRUE(LoadPicture("atlas.bmp", atlas));
    const Box ones[] = {{642, 29, 650, 41}, {787, 1, 798, 22}, {954, 343, 959, 360}, {1079, 392, 1087, 415}};
    for (const Box& b : ones) {
        int narrowest = 1 << 20, widest = 0;
        for (int y = b.t; y < b.b; ++y) {
            const Found row =
                Scan(atlas, {b.l, y, b.r, y + 1}, [](uint32_t c) { return (c >> 24) >= 0x80 && c != 0xFF00FF00u; });
            if (row.n == 0)
                continue;
            narrowest = std::min(narrowest, row.r - row.l + 1);
            widest = std::max(widest, row.r - row.l + 1);
        }
        EXPECT_GE(widest - narrowest, 2) << "the 1 at " << b.l << "," << b.t << " is a bar";
    }
}

// Save times and history rows set the medium 1 between the font's digits ("2026年12月10日"):
// it reads as the same type only with strokes as heavy as theirs, which at this size are
// two texels of fill. A 1 drawn thinner, or digits thinned by a heavy outline, looked like
// two typefaces in one date.
TEST(ContentArtAtlas, MediumOneHasTheStrokesOfTheDigitsBesideIt)
{
    Picture atlas;
    ASSERT_TRUE(LoadPicture("atlas.bmp", atlas));
    auto fill = [](uint32_t c) {
        return (c >> 24) >= 0xC0 && ((c >> 16) & 0xFF) >= 0xB0 && ((c >> 8) & 0xFF) >= 0xB0 && (c & 0xFF) >= 0xB0;
    };
    struct Stroke {
        const char* digit;
        int l, r; // the 0's left side, the 1's stem
    };
    for (const Stroke& s : {Stroke{"0", 942, 952}, Stroke{"1", 954, 959}})
        for (int y = 348; y <= 354; ++y) { // the middle of the 343-360 rows
            int x = s.l;
            while (x < s.r && !fill(atlas.At(x, y)))
                ++x;
            int run = 0;
            while (x + run < s.r && fill(atlas.At(x + run, y)))
                ++run;
            EXPECT_GE(run, 2) << "the " << s.digit << " at row " << y;
        }
}

// The options rows are set in one size: a full-width character takes the same width in each
// of them. Each row fitted to its own rectangle drew ＢＧＭ a third larger than the rest.
TEST(ContentArtAtlas, OptionRowsShareOneTypeSize)
{
    Picture atlas;
    ASSERT_TRUE(LoadPicture("atlas.bmp", atlas));
    struct Row {
        Box b;
        int characters;
    };
    const Row rows[] = {{{515, 499, 615, 518}, 5}, {{516, 521, 655, 539}, 7},  {{515, 541, 614, 560}, 5},
                        {{619, 543, 755, 563}, 4}, {{370, 689, 460, 706}, 5},  {{662, 500, 736, 520}, 3},
                        {{662, 521, 746, 541}, 3}, {{878, 393, 1049, 413}, 5}, {{708, 386, 746, 405}, 2},
                        {{708, 408, 745, 427}, 2}, {{878, 415, 938, 435}, 2},  {{940, 415, 979, 435}, 2},
                        {{759, 542, 840, 562}, 2}, {{759, 520, 795, 540}, 2}};
    double narrowest = 1e9, widest = 0;
    for (const Row& row : rows) {
        const Found ink = Scan(atlas, row.b, Ink);
        ASSERT_GT(ink.n, 0) << row.b.l << "," << row.b.t;
        const double perCharacter = double(ink.r - ink.l + 1) / row.characters;
        narrowest = std::min(narrowest, perCharacter);
        widest = std::max(widest, perCharacter);
    }
    EXPECT_LE(widest - narrowest, 2.0) << "from " << narrowest << " to " << widest << " texels a character";
}

// Face icons are drawn where their own rectangle's size puts them: full size on the status
// screen, centred in 100-wide columns (x 40 + 100 i + (100 - w) / 2, the last one against
// the frame's edge at 638); at half size in the race history, from y + 30 - h / 2 on rows 40
// apart whose 30-high bars end 10 above the next row; at half size on the ranking, from
// 251 + 50 i - h on rows 50 apart, a team's first member (characters 0, 6 and 12 on every
// stage). The faces must keep to their columns and rows.
TEST(ContentArtAtlas, FaceIconsKeepToTheirColumnsAndRows)
{
    Picture atlas;
    ASSERT_TRUE(LoadPicture("atlas.bmp", atlas));
    const Box faces[18] = {{1948, 0, 2047, 87},    {1857, 0, 1946, 98},    {1766, 0, 1855, 98},
                           {1675, 0, 1764, 98},    {1584, 0, 1673, 92},    {1493, 0, 1582, 83},
                           {1402, 0, 1491, 98},    {1316, 216, 1405, 307}, {1203, 183, 1304, 266},
                           {1111, 182, 1201, 269}, {1065, 271, 1154, 356}, {1300, 309, 1405, 441},
                           {1819, 100, 1906, 197}, {1720, 100, 1817, 184}, {1621, 100, 1718, 184},
                           {1528, 100, 1619, 197}, {1439, 100, 1526, 214}, {1350, 100, 1437, 214}};
    struct Span {
        double top, bottom;
    };
    std::vector<Span> ranking;
    for (int i = 0; i < 18; ++i) {
        SCOPED_TRACE(i);
        const Box& f = faces[i];
        const int w = f.r - f.l, h = f.b - f.t;
        const Found ink = Scan(atlas, f, Ink);
        ASSERT_GT(ink.n, 0);
        const double left = std::round((100 - w) / 2.0) + ink.l - f.l,
                     right = std::round((100 - w) / 2.0) + ink.r - f.l + 1;
        EXPECT_TRUE(left >= 0 && right <= 98) << "status column " << left << ".." << right;
        const double top = (ink.t - f.t) / 2.0, bottom = (ink.b + 1 - f.t) / 2.0; // at half size
        EXPECT_TRUE(30 - h / 2.0 + top >= -10 && 30 - h / 2.0 + bottom <= 30) << "history row";
        if (i % 6 == 0)
            ranking.push_back({75 - h + top, 75 - h + bottom});
    }
    for (const Span& above : ranking)
        for (const Span& below : ranking)
            EXPECT_LE(above.bottom, below.top + 50) << "ranking rows";
}

// Every font character is two CP932 bytes, so a name drawn from the font takes two bytes
// a character in the character table.
TEST(ContentArtNames, PlayableNamesFitTheCharacterTableAndTheFont)
{
    const size_t lengths[18] = {12, 8, 10, 10, 8, 6, 6, 6, 10, 4, 12, 4, 12, 14, 12, 8, 8, 6};
    std::set<std::string> font;
    for (int g = 1; g < kGlyphCount; ++g)
        font.insert(plat::Cp932ToUtf8(g_glyphTable[g].code));
    std::ifstream f(kArtSources + "characters.txt");
    int i = 0, id = -1;
    for (std::string line, name; std::getline(f, line);) {
        if (line.empty() || line[0] == '#' || !(std::istringstream(line) >> id >> name))
            continue;
        ASSERT_LT(i, 18);
        EXPECT_EQ(id, i);
        std::vector<std::string> characters; // UTF-8 sequences
        for (char c : name)
            if ((c & 0xC0) == 0x80)
                characters.back() += c;
            else
                characters.emplace_back(1, c);
        for (const std::string& c : characters)
            EXPECT_TRUE(font.count(c)) << name << " uses a character the font lacks";
        EXPECT_EQ(2 * characters.size(), lengths[i++]) << name;
    }
    EXPECT_EQ(i, 18);
}

// Broken sources stop the build with an error instead of drawing half an atlas.
TEST(ContentArtTool, RefusesIncompleteSources)
{
    namespace fs = std::filesystem;
    test_support::TempDir dir;
    const std::string args = "--sources " + dir.path() +
                             " --font /usr/share/fonts/truetype/vlgothic/VL-Gothic-Regular.ttf --out " + dir / "out";
    auto run = [&] { return test_support::RunBuiltProgram("tools/art/art_tool", args); };
    fs::create_directory(dir / "out");
    fs::copy_file(kArtSources + "atlas_rects.csv", dir / "atlas_rects.csv");
    std::ofstream(dir / "characters.txt") << "0 アリシアーナ\n1 ルビーナ\n"; // sixteen names missing
    EXPECT_NE(run(), 0);
    EXPECT_FALSE(fs::exists(dir / "out/atlas.bmp"));
    fs::copy_file(kArtSources + "characters.txt", dir / "characters.txt", fs::copy_options::overwrite_existing);
    std::ofstream(dir / "atlas_rects.csv") << "texture,left,top,right,bottom,element\natlas,1,x,3,4,broken\n";
    EXPECT_NE(run(), 0);
}

} // namespace
