// Sprites, glyph rows and digit numbers, checked through the recording device.
#include <gtest/gtest.h>

#include <vector>

#include "board/event.h"
#include "board/event_commands.h"
#include "engine/glyph_table.h"
#include "engine/sprite.h"
#include "engine/text.h"
#include "test_gfx_support.h"

namespace {

using plat::RecordedSprite;

std::vector<RecordedSprite> Sprites()
{
    return plat::CurrentRecordedFrame().Sprites();
}

void ExpectRect(const RecordedSprite& s, float l, float t, float r, float b)
{
    EXPECT_EQ((std::vector<float>{s.left, s.top, s.right, s.bottom}), (std::vector<float>{l, t, r, b}));
}

class GfxSprites : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_uiAtlas = device.MakeTexture(2048, 2048);
        g_fontTexture = device.MakeTexture(1024, 1024);
    }
    gfx_test::RecordingDevice device;
};

TEST_F(GfxSprites, LayoutOperationsRoundAndReturnTheirEdges)
{
    const SpriteRect wide = {0.0f, 0.0f, 20.5f, 10.0f};
    EXPECT_FLOAT_EQ(DrawSprite(10.4f, 5.0f, wide, 2048, 2048, 0xFFFFFFFFu, g_uiAtlas), 31.0f);
    EXPECT_FLOAT_EQ(DrawSprite(-2.5f, 5.0f, wide, 2048, 2048, 0xFFFFFFFFu, g_uiAtlas), 18.0f);
    EXPECT_FLOAT_EQ(DrawSpriteUnrounded(10.4f, 5.0f, wide, 2048, 2048, 0xFFFFFFFFu, g_uiAtlas), 20.5f);
    EXPECT_FLOAT_EQ(DrawSpriteCentredX({0, 0, 101, 20}, 7.0f, 2048, 2048, 0xFFFFFFFFu, g_uiAtlas), 270.0f);
    EXPECT_FLOAT_EQ(GetCentredX(101.0f), 269.5f);
    EXPECT_FLOAT_EQ(DrawAtlasSpriteScaled(3.25f, 4.0f, 0.5f, {0, 0, 91, 90}), 49.25f);
    DrawSpriteScaled(10.6f, 20.0f, {0, 0, 91, 90}, 0.5f, 2048, 2048, 0xFFFFFFFFu, g_uiAtlas);
    // The tinted message panel: four opaque border strips, then the tinted middle.
    DrawMessageWindowPanel(64.0f, 384.0f);

    const auto s = Sprites();
    ASSERT_EQ(s.size(), 11u);
    const float want[11][4] = {
        {10, 5, 31, 15},      {-3, 5, 18, 15},        {10.4f, 5, 30.9f, 15},
        {270, 7, 371, 27},    {3.25f, 4, 49.25f, 49}, // 45.5 rounds away from zero to 46; x kept as given
        {11, 20, 57, 65},                             // right = round(45.5 + 11), bottom = round(45 + 20)
        {64, 384, 576, 386},  {64, 478, 576, 480},    {64, 384, 66, 480},
        {574, 384, 576, 480}, {66, 386, 574, 478}};
    for (int i = 0; i < 11; ++i) {
        ExpectRect(s[size_t(i)], want[i][0], want[i][1], want[i][2], want[i][3]);
        EXPECT_TRUE(s[size_t(i)].texture == g_uiAtlas && s[size_t(i)].colour == (i < 10 ? 0xFFFFFFFFu : 0x96FFFFFFu))
            << i;
    }
    // The panel's bottom strip is cut from its last two rows.
    EXPECT_EQ((std::vector<float>{s[7].srcTop, s[10].srcLeft, s[10].srcBottom}), (std::vector<float>{592, 3, 592}));
}

TEST_F(GfxSprites, TiledBackgroundCoversTheScreenRowByRow)
{
    FillScreenWithTile(10, 20, 42, 52);
    const auto s = Sprites();
    ASSERT_EQ(s.size(), 300u);
    ExpectRect(s[19], 608, 0, 640, 32);
    ExpectRect(s[20], 0, 32, 32, 64);
    ExpectRect(s[299], 608, 448, 640, 480);
}

TEST_F(GfxSprites, DigitNumbersAdvanceByWidthPlusOneAndKeepTheirResultWithoutADevice)
{
    EXPECT_FLOAT_EQ(DrawNumberSmall(5.0f, 6.0f, 0), 11.0f);
    EXPECT_FLOAT_EQ(DrawNumberMediumEnd(100.0f, 50.0f, 12), 117.0f);
    // Scaled digits keep their fractions: nothing is rounded here.
    EXPECT_FLOAT_EQ(DrawNumber(0.5f, 0.0f, 10, 2, g_digitsLarge), 46.0f);
    auto s = Sprites();
    ASSERT_EQ(s.size(), 5u);
    ExpectRect(s[0], 5, 6, 15, 18);
    EXPECT_EQ(s[0].srcLeft, 748.0f);
    ExpectRect(s[1], 100, 50, 105, 67);
    ExpectRect(s[2], 106, 50, 116, 67);
    ExpectRect(s[3], 0.5f, 0, 16.5f, 46);
    ExpectRect(s[4], 17.5f, 0, 45.5f, 46);

    plat::CurrentRecordedFrame().Reset();
    EXPECT_GT(DrawNumberTall(0.0f, 0.0f, 9999999), 0.0f);
    // Eight digits and negative numbers draw nothing.
    EXPECT_TRUE(DrawNumberTall(0.0f, 0.0f, 10000000) == 0.0f && DrawNumberLarge(0.0f, 0.0f, -1) == 0.0f);
    EXPECT_EQ(Sprites().size(), 7u);

    plat::GfxDevice* keep = g_d3dDevice;
    g_d3dDevice = nullptr;
    EXPECT_FLOAT_EQ(DrawSprite(10.4f, 5.0f, {0, 0, 20.5f, 10}, 2048, 2048, 0xFFFFFFFFu, g_uiAtlas), 31.0f);
    EXPECT_FLOAT_EQ(DrawNumberMediumEnd(100.0f, 0.0f, 12), 117.0f);
    g_d3dDevice = keep;
    EXPECT_EQ(Sprites().size(), 7u);
}

// Each digit of each of the four sets is cut from its own picture: the number 1234567
// and then 890, digit by digit, against the set's picture edges (left, right, for 0 to 9).
TEST_F(GfxSprites, EveryDigitOfEverySetIsCutFromItsOwnPicture)
{
    const struct {
        float (*draw)(float, float, int32_t);
        float top, bottom;
        float edges[10][2];
    } sets[] = {
        {DrawNumberSmall,
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
        {DrawNumberTall,
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
        {DrawNumberMedium,
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
        {DrawNumberLarge,
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
    for (const auto& set : sets) {
        plat::CurrentRecordedFrame().Reset();
        set.draw(0.0f, 0.0f, 1234567);
        set.draw(0.0f, 50.0f, 890);
        const auto s = Sprites();
        ASSERT_EQ(s.size(), 10u);
        for (int i = 0; i < 10; ++i) {
            const int digit = (i + 1) % 10;
            EXPECT_EQ((std::vector<float>{s[size_t(i)].srcLeft, s[size_t(i)].srcTop, s[size_t(i)].srcRight,
                                          s[size_t(i)].srcBottom}),
                      (std::vector<float>{set.edges[digit][0], set.top, set.edges[digit][1], set.bottom}))
                << "digit " << digit << " of the set from atlas row " << set.top;
        }
    }
}

TEST(GfxGlyphs, TextConvertsToTableIndicesInsideRowAndText)
{
    std::vector<int32_t> row(kGlyphRowLength + 1, 0x7F7F7F7F); // one guard entry past the row
    ConvertTextToGlyphs(row.data(), "\x82\x4F\x81\x48\x82\xC5"
                                    "AB\x82\xA0");
    // ０, ？, で (the copy at 63 is never produced), one not in the table (takes a
    // slot, draws nothing), あ, then empty slots.
    EXPECT_EQ(std::vector<int32_t>(row.begin(), row.begin() + 6), (std::vector<int32_t>{140, 1, 54, 0, 2, 0}));
    EXPECT_EQ(row[kGlyphRowLength - 1], 0);
    int32_t found = -1;
    FindGlyph(&found, "");
    EXPECT_EQ(found, 0) << "the empty entry 0 is never a match for a character";

    // 30 characters: only 24 fit, and what follows the row is left alone.
    std::string longText;
    for (int i = 0; i < 30; ++i)
        longText += "\x82\xA0";
    ConvertTextToGlyphs(row.data(), longText.c_str(), 64);
    EXPECT_EQ(std::vector<int32_t>(row.begin(), row.end()), [] {
        std::vector<int32_t> w(24, 2);
        w.push_back(0x7F7F7F7F);
        return w;
    }());
    // A lead byte followed by NUL ends the text: nothing past the NUL is read. Without a
    // NUL inside maxBytes, reading stops at the buffer's end and a cut-off lead byte is dropped.
    const char odd[] = "\x82\xA0\x82\0\x82\xA0\x82\xA0";
    ConvertTextToGlyphs(row.data(), odd, sizeof odd);
    EXPECT_EQ(std::vector<int32_t>(row.begin(), row.begin() + 3), (std::vector<int32_t>{2, 0, 0}));
    const char buffer[5] = {'\x82', '\xA0', '\x82', '\xA0', '\x82'};
    ConvertTextToGlyphs(row.data(), buffer, 5);
    EXPECT_EQ(std::vector<int32_t>(row.begin(), row.begin() + 3), (std::vector<int32_t>{2, 2, 0}));
}

// Eighteen characters stand more than once in the font's table (買 three times); text
// always takes the first, so the later copies are never drawn. In order:
// で じ バ プ 依 頼 退 一 撃 買 金 代 複 数 手 早 報 先.
TEST(GfxGlyphs, ACharacterHeldMoreThanOnceIsTakenFromItsFirstEntry)
{
    int32_t row[kGlyphRowLength] = {};
    ConvertTextToGlyphs(row, "\x82\xC5\x82\xB6\x83\x6F\x83\x76\x88\xCB\x97\x8A\x91\xDE\x88\xEA\x8C\x82\x94\x83\x8B\xE0"
                             "\x91\xE3\x95\xA1\x90\x94\x8E\xE8\x91\x81\x95\xF1\x90\xE6");
    EXPECT_EQ(std::vector<int32_t>(row, row + 19), (std::vector<int32_t>{54, 55, 117, 124, 172, 173, 179, 187, 192, 196,
                                                                         199, 229, 252, 253, 267, 277, 281, 302, 0}));
}

TEST_F(GfxSprites, GlyphRowCentresEachGlyphInItsBand)
{
    // １ (6 x 14), no glyph (no advance), two out of the table, あ (17 x 17), １.
    int32_t row[kGlyphRowLength] = {141, 0, -3, kGlyphCount, 2, 141};
    DrawGlyphRow(row, 140.0f, 384.0f);
    const auto s = Sprites();
    ASSERT_EQ(s.size(), 3u);
    ExpectRect(s[0], 140, 395, 146, 409); // 3 below the band at 392
    ExpectRect(s[1], 150, 394, 167, 411); // 1.5 rounds to 2
    ExpectRect(s[2], 171, 395, 177, 409);
    for (const auto& g : s)
        EXPECT_TRUE(g.texture == g_fontTexture && g.colour == 0xFFFFFFFFu);
    EXPECT_EQ(std::make_pair(s[0].srcLeft, s[1].srcTop), std::make_pair(162.0f, 5.0f));
}

// The event window's three rows of text: pens start 16 pixels in, and the rows' bands
// lie 28 pixels apart (392, 420, 448 for the window at 384).
TEST_F(GfxSprites, MessageTextDrawsItsThreeRows28PixelsApart)
{
    EventTask event{};
    for (int row = 0; row < 3; ++row)
        event.shownGlyphs[row][0] = 141; // １, 14 high: 3 below its band's top
    DrawMessageText(&event, 124.0f, 384.0f);
    const auto s = Sprites();
    ASSERT_EQ(s.size(), 3u);
    for (int row = 0; row < 3; ++row)
        ExpectRect(s[size_t(row)], 140, 395.0f + 28.0f * float(row), 146, 409.0f + 28.0f * float(row));
}

} // namespace
