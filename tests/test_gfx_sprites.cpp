// Sprites, glyph rows and digit numbers, checked through the recording device.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/glyph_table.h"
#include "engine/sprite.h"
#include "engine/text.h"
#include "test_gfx_support.h"

namespace {

using plat::RecordedSprite;

std::vector<RecordedSprite> Sprites() { return plat::CurrentRecordedFrame().Sprites(); }

void ExpectRect(const RecordedSprite& s, float l, float t, float r, float b)
{
    EXPECT_EQ((std::vector<float>{s.left, s.top, s.right, s.bottom}), (std::vector<float>{l, t, r, b}));
}

class GfxSprites : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_uiAtlas = atlas = device.MakeTexture(2048, 2048);
        g_fontTexture = font = device.MakeTexture(1024, 1024);
    }
    gfx_test::RecordingDevice device;
    plat::Texture* atlas = nullptr;
    plat::Texture* font = nullptr;
};

TEST_F(GfxSprites, SpriteCornersSitHalfAPixelUpLeftWithUntouchedTexCoords)
{
    DrawSprite(0.0f, 0.0f, {100, 200, 132, 216}, 2048.0f, 2048.0f, 0x96FFFFFFu, atlas);
    const plat::RecordedFrame& frame = plat::CurrentRecordedFrame();
    ASSERT_EQ(frame.draws.size(), 1u);
    const plat::RecordedDraw& d = frame.draws[0];
    EXPECT_TRUE(d.fvf == plat::kFvfScreen && d.stride == 28u && d.primitiveCount == 2u && d.texture == atlas);
    const float expected[4][4] = {{-0.5f, -0.5f, 100, 200}, {31.5f, -0.5f, 132, 200}, {31.5f, 15.5f, 132, 216},
                                  {-0.5f, 15.5f, 100, 216}};
    for (uint32_t i = 0; i < 4; ++i) {
        const plat::ScreenVertex v = frame.ScreenVertexOf(d, i);
        EXPECT_EQ((std::vector<float>{v.x, v.y, v.u, v.v, v.z, v.rhw}),
                  (std::vector<float>{expected[i][0], expected[i][1], expected[i][2] / 2048.0f, expected[i][3] / 2048.0f, 0, 1}));
        EXPECT_EQ(v.colour, 0x96FFFFFFu);
    }
}

TEST_F(GfxSprites, LayoutOperationsRoundAndReturnTheirEdges)
{
    const SpriteRect wide = {0.0f, 0.0f, 20.5f, 10.0f};
    EXPECT_FLOAT_EQ(DrawSprite(10.4f, 5.0f, wide, 2048, 2048, 0xFFFFFFFFu, atlas), 31.0f);
    EXPECT_FLOAT_EQ(DrawSprite(-2.5f, 5.0f, wide, 2048, 2048, 0xFFFFFFFFu, atlas), 18.0f);
    EXPECT_FLOAT_EQ(DrawSpriteUnrounded(10.4f, 5.0f, wide, 2048, 2048, 0xFFFFFFFFu, atlas), 20.5f);
    EXPECT_FLOAT_EQ(DrawSpriteCentredX({0, 0, 101, 20}, 7.0f, 2048, 2048, 0xFFFFFFFFu, atlas), 270.0f);
    EXPECT_FLOAT_EQ(GetCentredX(101.0f), 269.5f);
    EXPECT_FLOAT_EQ(DrawAtlasSpriteScaled(3.25f, 4.0f, 0.5f, {0, 0, 91, 90}), 49.25f);
    DrawSpriteScaled(10.6f, 20.0f, {0, 0, 91, 90}, 0.5f, 2048, 2048, 0xFFFFFFFFu, atlas);

    const auto s = Sprites();
    ASSERT_EQ(s.size(), 6u);
    ExpectRect(s[0], 10, 5, 31, 15);
    ExpectRect(s[1], -3, 5, 18, 15);
    ExpectRect(s[2], 10.4f, 5, 30.9f, 15);
    ExpectRect(s[3], 270, 7, 371, 27);
    ExpectRect(s[4], 3.25f, 4, 49.25f, 49); // 45.5 rounds away from zero to 46; x kept as given
    EXPECT_TRUE(s[4].texture == atlas && s[4].colour == 0xFFFFFFFFu);
    ExpectRect(s[5], 11, 20, 57, 65); // right = round(45.5 + 11), bottom = round(45 + 20)
}

TEST_F(GfxSprites, TintedPanelKeepsItsBorderOpaque)
{
    DrawMessageWindowPanel(64.0f, 384.0f);
    const auto s = Sprites();
    ASSERT_EQ(s.size(), 5u);
    // Four opaque border strips, then the tinted middle.
    const float want[5][4] = {{64, 384, 576, 386}, {64, 478, 576, 480}, {64, 384, 66, 480}, {574, 384, 576, 480}, {66, 386, 574, 478}};
    for (int i = 0; i < 5; ++i) {
        ExpectRect(s[i], want[i][0], want[i][1], want[i][2], want[i][3]);
        EXPECT_EQ(s[i].colour, i < 4 ? 0xFFFFFFFFu : 0x96FFFFFFu) << i;
    }
    // The bottom strip is cut from the panel's last two rows.
    EXPECT_EQ((std::vector<float>{s[1].srcTop, s[4].srcLeft, s[4].srcBottom}), (std::vector<float>{592, 3, 592}));
}

TEST_F(GfxSprites, TiledBackgroundCoversTheScreenRowByRow)
{
    FillScreenWithTile(10, 20, 42, 52);
    const auto s = Sprites();
    ASSERT_EQ(s.size(), 300u);
    ExpectRect(s[0], 0, 0, 32, 32);
    ExpectRect(s[19], 608, 0, 640, 32);
    ExpectRect(s[20], 0, 32, 32, 64);
    ExpectRect(s[299], 608, 448, 640, 480);
    EXPECT_EQ(s[299].texture, atlas);
}

TEST_F(GfxSprites, WithoutADeviceResultsStayAndNothingIsDrawn)
{
    plat::GfxDevice* keep = g_d3dDevice;
    g_d3dDevice = nullptr;
    EXPECT_FLOAT_EQ(DrawSprite(10.4f, 5.0f, {0, 0, 20.5f, 10}, 2048, 2048, 0xFFFFFFFFu, atlas), 31.0f);
    EXPECT_FLOAT_EQ(DrawNumberMediumEnd(100.0f, 0.0f, 12), 117.0f);
    g_d3dDevice = keep;
    EXPECT_TRUE(plat::CurrentRecordedFrame().draws.empty());
}

TEST_F(GfxSprites, DigitNumbersAdvanceByWidthPlusOne)
{
    EXPECT_FLOAT_EQ(DrawNumberSmall(5.0f, 6.0f, 0), 11.0f);
    auto s = Sprites();
    ASSERT_EQ(s.size(), 1u);
    ExpectRect(s[0], 5, 6, 15, 18);
    EXPECT_EQ(s[0].srcLeft, 748.0f);

    plat::CurrentRecordedFrame().Reset();
    EXPECT_FLOAT_EQ(DrawNumberMediumEnd(100.0f, 50.0f, 12), 117.0f);
    s = Sprites();
    ASSERT_EQ(s.size(), 2u);
    ExpectRect(s[0], 100, 50, 105, 67);
    ExpectRect(s[1], 106, 50, 116, 67);

    plat::CurrentRecordedFrame().Reset();
    EXPECT_GT(DrawNumberTall(0.0f, 0.0f, 9999999), 0.0f);
    // Eight digits and negative numbers draw nothing.
    EXPECT_TRUE(DrawNumberTall(0.0f, 0.0f, 10000000) == 0.0f && DrawNumberLarge(0.0f, 0.0f, -1) == 0.0f);
    EXPECT_EQ(Sprites().size(), 7u);

    // Scaled digits keep their fractions: nothing is rounded here.
    plat::CurrentRecordedFrame().Reset();
    EXPECT_FLOAT_EQ(DrawNumber(0.5f, 0.0f, 10, 2, g_digitsLarge), (8 * 2 + 1) + (14 * 2 + 1));
    s = Sprites();
    ASSERT_EQ(s.size(), 2u);
    ExpectRect(s[0], 0.5f, 0, 16.5f, 46);
    ExpectRect(s[1], 17.5f, 0, 45.5f, 46);
}

TEST(GfxDigits, SplitDigitsMostSignificantFirst)
{
    const auto split = [](int32_t value) {
        int32_t d[7] = {-9, -9, -9, -9, -9, -9, -9};
        return std::vector<int32_t>(d, d + SplitDigits(value, d));
    };
    EXPECT_EQ(split(0), (std::vector<int32_t>{0}));
    EXPECT_EQ(split(10), (std::vector<int32_t>{1, 0}));
    EXPECT_EQ(split(1234567), (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7}));
    // Eight digits are too many and a minus sign is no digit: nothing is written.
    for (int32_t refused : {12345678, -5, INT32_MIN}) EXPECT_TRUE(split(refused).empty()) << refused;
}

TEST(GfxGlyphs, TextConvertsToTableIndicesTakingTheFirstCopy)
{
    int32_t row[kGlyphRowLength];
    ConvertTextToGlyphs(row, "");
    for (int32_t g : row)
        EXPECT_EQ(g, 0);

    ConvertTextToGlyphs(row, "\x82\x4F\x81\x48\x82\xC5" "AB\x82\xA0");
    // ０, ？, で (the copy at 63 is never produced), one not in the table (takes a
    // slot, draws nothing), あ, then empty slots.
    std::vector<int32_t> want = {140, 1, 54, 0, 2};
    want.resize(kGlyphRowLength, 0);
    EXPECT_EQ(std::vector<int32_t>(row, row + kGlyphRowLength), want);

    int32_t found = -1;
    FindGlyph(&found, "");
    EXPECT_EQ(found, 0) << "the empty entry 0 is never a match for a character";
}

TEST(GfxGlyphs, ConversionStaysInsideRowAndText)
{
    // 30 characters: only 24 fit, and the word after the row is left alone.
    int32_t rows[2][kGlyphRowLength];
    std::memset(rows, 0x7F, sizeof rows);
    std::string longText;
    for (int i = 0; i < 30; ++i)
        longText += "\x82\xA0";
    ConvertTextToGlyphs(rows[0], longText.c_str(), 64);
    for (int i = 0; i < kGlyphRowLength; ++i)
        EXPECT_EQ(rows[0][i], 2);
    EXPECT_EQ(rows[1][0], 0x7F7F7F7F);

    // A lead byte followed by NUL ends the text: nothing past the NUL is read.
    const char odd[] = "\x82\xA0\x82\0\x82\xA0\x82\xA0";
    int32_t row[kGlyphRowLength];
    ConvertTextToGlyphs(row, odd, sizeof odd);
    EXPECT_EQ(std::vector<int32_t>(row, row + 3), (std::vector<int32_t>{2, 0, 0}));

    // No NUL inside maxBytes: reading stops at the buffer's end, and a lead byte
    // cut off by it is dropped.
    char buffer[5] = {'\x82', '\xA0', '\x82', '\xA0', '\x82'};
    ConvertTextToGlyphs(row, buffer, 5);
    EXPECT_EQ(std::vector<int32_t>(row, row + 3), (std::vector<int32_t>{2, 2, 0}));
}

TEST_F(GfxSprites, GlyphRowCentresEachGlyphInItsBand)
{
    int32_t row[kGlyphRowLength] = {};
    row[0] = 141; // １, 6 x 14
    row[1] = 0;   // no glyph: no advance
    row[2] = -3;
    row[3] = kGlyphCount;
    row[4] = 2;   // あ, 17 x 17
    row[5] = 141;
    DrawGlyphRow(row, 140.0f, 384.0f);
    const auto s = Sprites();
    ASSERT_EQ(s.size(), 3u);
    ExpectRect(s[0], 140, 395, 146, 409); // 3 below the band at 392
    ExpectRect(s[1], 150, 394, 167, 411); // 1.5 rounds to 2
    ExpectRect(s[2], 171, 395, 177, 409);
    for (const auto& g : s) EXPECT_TRUE(g.texture == font && g.colour == 0xFFFFFFFFu);
    EXPECT_EQ(std::make_pair(s[0].srcLeft, s[1].srcTop), std::make_pair(162.0f, 5.0f));
}

} // namespace
