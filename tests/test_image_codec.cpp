#include "platform/image_codec.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using test_support::Bytes;
using Pixels = std::vector<uint32_t>;

// A hand-made BMP: `extra` goes between the info header and the pixel rows
// (palette or colour masks); `rows` are the stored rows, padding included.
struct BmpLayout {
    uint32_t headerSize = 40;
    int32_t width = 1;
    int32_t height = 1;
    uint32_t bpp = 24;
    uint32_t compression = 0;
    uint32_t coloursUsed = 0;
    uint32_t masks[4] = {0, 0, 0, 0}; // written into V4/V5 headers
    Bytes extra;
    Bytes rows;
};

Bytes MakeBmp(const BmpLayout& s)
{
    Bytes b = {'B', 'M'};
    const uint32_t offset = 14 + s.headerSize + uint32_t(s.extra.size()), rowBytes = uint32_t(s.rows.size());
    for (auto [v, n] : {std::pair<uint32_t, int>{offset + rowBytes, 4},
                        {0, 4},
                        {offset, 4},
                        {s.headerSize, 4},
                        {uint32_t(s.width), 4},
                        {uint32_t(s.height), 4},
                        {1, 2},
                        {s.bpp, 2},
                        {s.compression, 4},
                        {rowBytes, 4},
                        {2835, 4},
                        {2835, 4},
                        {s.coloursUsed, 4},
                        {0, 4}})
        test_support::PutLE(b, v, n);
    if (s.headerSize >= 108)
        for (uint32_t m : s.masks)
            test_support::PutLE(b, m, 4);
    b.resize(14 + s.headerSize, 0);
    b.insert(b.end(), s.extra.begin(), s.extra.end());
    b.insert(b.end(), s.rows.begin(), s.rows.end());
    return b;
}

// A refused image says why and leaves nothing behind.
plat::Image Decode(const Bytes& b, bool colourKey = true, bool ok = true, const char* what = "")
{
    plat::Image img;
    std::string err;
    EXPECT_EQ(plat::DecodeImage(b.data(), b.size(), img, colourKey, &err), ok) << what << err;
    if (!ok)
        EXPECT_TRUE(!err.empty() && img.pixels.empty()) << what;
    return img;
}

void ExpectFails(const Bytes& b, const char* what)
{
    Decode(b, true, false, what);
}

Pixels First(const plat::Image& img, size_t n)
{
    return Pixels(img.pixels.begin(), img.pixels.begin() + long(n));
}

// Every prefix of a valid file must be refused without touching memory past it
// (the copy is exactly as long as the prefix, so ASan sees any overread).
void ExpectEveryPrefixFails(const Bytes& file)
{
    for (size_t n = 0; n < file.size(); ++n) {
        Bytes cut(file.begin(), file.begin() + long(n));
        plat::Image img;
        EXPECT_FALSE(plat::DecodeImage(cut.data(), cut.size(), img)) << "prefix " << n;
    }
}

TEST(ImageBmp, Bits24BottomUpWithOddWidthAndRowPadding)
{
    // 3 x 2: each stored row is 9 bytes of BGR plus 3 of padding, bottom row first.
    plat::Image img = Decode(
        MakeBmp({.width = 3, .height = 2, .rows = {1,  2,  3,  4,  5,  6,  7,  8,  9,  0xEE, 0xEE, 0xEE,     // bottom
                                                   10, 11, 12, 13, 14, 15, 16, 17, 18, 0xEE, 0xEE, 0xEE}})); // top
    ASSERT_EQ((Pixels{img.imageWidth, img.imageHeight, img.width, img.height}), (Pixels{3, 2, 4, 2}));
    // The top row comes from the second stored row; column 3 is texture padding, not row padding.
    EXPECT_EQ(img.pixels, (Pixels{0xFF0C0B0Au, 0xFF0F0E0Du, 0xFF121110u, 0, 0xFF030201u, 0xFF060504u, 0xFF090807u, 0}));
}

TEST(ImageBmp, Bits32TopDownAlphaRuleAndBitfields)
{
    // Height -2: stored top-down. All alpha zero: treated as opaque.
    BmpLayout s{.width = 2, .height = -2, .bpp = 32, .rows = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 0}};
    EXPECT_EQ(Decode(MakeBmp(s)).pixels, (Pixels{0xFF030201u, 0xFF060504u, 0xFF090807u, 0xFF0C0B0Au}));
    s.rows[3] = 0x80; // one texel with alpha: the channel counts as stored
    EXPECT_EQ(First(Decode(MakeBmp(s)), 2), (Pixels{0x80030201u, 0x00060504u}));
    // V5 header stored as bytes R, G, B, A; then 16-bit 5-6-5 through masks in a plain header (white).
    EXPECT_EQ(Decode(MakeBmp({.headerSize = 124,
                              .bpp = 32,
                              .compression = 3,
                              .masks = {0xFFu, 0xFF00u, 0xFF0000u, 0xFF000000u},
                              .rows = {0x11, 0x22, 0x33, 0x44}}))
                  .pixels[0],
              0x44112233u);
    EXPECT_EQ(Decode(MakeBmp({.bpp = 16,
                              .compression = 3,
                              .extra = {0, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0},
                              .rows = {0xFF, 0xFF, 0, 0}}))
                  .pixels[0],
              0xFFFFFFFFu);
    // A 52-byte header holds three masks even when the compression names four.
    Bytes v3File = MakeBmp({.headerSize = 52, .bpp = 32, .compression = 6, .rows = {1, 2, 3, 4}});
    for (int i = 0; i < 3; ++i)
        test_support::PutU32(v3File, 14 + 40 + 4 * i, 0xFFu << (16 - 8 * i));
    EXPECT_EQ(Decode(v3File).pixels[0], 0xFF030201u);
    ExpectEveryPrefixFails(v3File);
}

TEST(ImageBmp, PalettisedEightFourAndOneBit)
{
    // Palette red, green, blue; colour key off, so green stays. Four bits: high nibble first.
    const Bytes rgb = {0, 0, 0xFF, 0, /**/ 0, 0xFF, 0, 0, /**/ 0xFF, 0, 0, 0};
    const uint32_t R = 0xFFFF0000u, G = 0xFF00FF00u, B = 0xFF0000FFu, W = 0xFFFFFFFFu, K = 0xFF000000u;
    const std::pair<BmpLayout, Pixels> cases[] = {
        {{.width = 3, .bpp = 8, .coloursUsed = 3, .extra = rgb, .rows = {2, 0, 1, 0}}, {B, R, G}},
        {{.width = 3, .bpp = 4, .coloursUsed = 3, .extra = rgb, .rows = {0x21, 0, 0, 0}}, {B, G, R}},
        {{.width = 9, .bpp = 1, .extra = {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0}, .rows = {0xA0, 0x80, 0, 0}},
         {W, K, W, K, K, K, K, K, W}},
    };
    for (const auto& [layout, want] : cases)
        EXPECT_EQ(First(Decode(MakeBmp(layout), false), want.size()), want) << layout.bpp;
    ExpectFails(MakeBmp({.bpp = 8, .coloursUsed = 2, .extra = Bytes(8, 0), .rows = {2, 0, 0, 0}}),
                "palette index past the palette");
}

TEST(ImageBmp, MalformedFilesFail)
{
    const BmpLayout good{.width = 3, .height = 2, .rows = Bytes(24, 0x40)};
    ExpectEveryPrefixFails(MakeBmp(good));
    const std::pair<const char*, void (*)(BmpLayout&)> broken[] = {
        {"zero width", [](BmpLayout& s) { s.width = 0; }},
        {"zero height", [](BmpLayout& s) { s.height = 0; }},
        {"negative width", [](BmpLayout& s) { s.width = -3; }},
        {"height of INT32_MIN", [](BmpLayout& s) { s.height = INT32_MIN; }},
        {"too wide", [](BmpLayout& s) { s.width = 8193; }},
        {"sizes that overflow", [](BmpLayout& s) { s.width = s.height = 0x7FFFFFFF; }},
        {"odd bit depth", [](BmpLayout& s) { s.bpp = 7; }},
        {"RLE", [](BmpLayout& s) { s.compression = 1; }},
        {"unknown header", [](BmpLayout& s) { s.headerSize = 41; }},
    };
    for (const auto& [what, breakIt] : broken) {
        BmpLayout s = good;
        breakIt(s);
        ExpectFails(MakeBmp(s), what);
    }
    // The pixel offset inside the header, then past the end.
    for (auto [at, value] : {std::pair{10, 20}, {13, 0xFF}}) {
        Bytes b = MakeBmp(good);
        b[size_t(at)] = uint8_t(value);
        ExpectFails(b, "pixel offset");
    }
}

TEST(ImagePng, OurEncoderRoundTripsWithAlphaThroughAFile)
{
    const uint32_t px[3 * 3] = {0xFF112233u, 0x80445566u, 0x00000000u, 0xFF00FF00u, 0x01020304u,
                                0xFFFFFFFFu, 0x7F7F7F7Fu, 0xFF000000u, 0xC0A0B0D0u};
    const std::string path = std::string(SUGOROKU_BUILD_DIR) + "/image_codec_test.png";
    ASSERT_TRUE(plat::WritePngFile(path.c_str(), px, 3, 3));
    plat::Image img = Decode(test_support::ReadFileBytes(path), false);
    std::remove(path.c_str());
    ASSERT_EQ(img.pixels.size(), 16u);
    for (uint32_t i = 0; i < 16; ++i)
        EXPECT_EQ(img.pixels[i], (i % 4 < 3 && i < 12) ? px[i / 4 * 3 + i % 4] : 0u) << i;
    EXPECT_TRUE(plat::EncodePng(nullptr, 2, 2).empty() && plat::EncodePng(px, 0, 2).empty());
    EXPECT_FALSE(plat::WritePngFile("/nonexistent-dir/x.png", px, 2, 2));
}

TEST(ImageDecode, TruncatedAndCorruptPngAndJpegFail)
{
    // The fuzz seeds hold every PNG and JPEG layout we take (each decodes, as the corpus test
    // checks); cut anywhere, each must be refused.
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(SUGOROKU_SOURCE_DIR) + "/fuzz/corpus/image"))
        if (entry.path().extension() != ".bmp") {
            SCOPED_TRACE(entry.path().filename().string());
            ExpectEveryPrefixFails(test_support::ReadFileBytes(entry.path().string()));
        }
    const uint32_t px[4] = {0xFF102030u, 0xFF405060u, 0xFF708090u, 0xFFA0B0C0u};
    Bytes file = plat::EncodePng(px, 2, 2);
    Bytes huge = file;
    file[20] ^= 0x01; // inside IHDR: its CRC no longer matches
    ExpectFails(file, "IHDR with a bad CRC");
    // Width 9000 in IHDR, CRC left as is: refused either way, never allocated.
    for (int i = 0; i < 4; ++i)
        huge[16 + size_t(i)] = uint8_t(9000u >> (24 - 8 * i));
    ExpectFails(huge, "PNG over the size limit");
    ExpectFails({0xFF, 0xD8, 0xFF, 0x00, 0x01, 0x02}, "JPEG signature followed by garbage");
}

TEST(ImageDecode, EncodersRoundTripPaddedToPowersOfTwo)
{
    Pixels px(33 * 17);
    for (uint32_t i = 0; i < px.size(); ++i)
        px[i] = 0xFF000000u | (i * 0x112F3Du); // distinct in every channel
    plat::Image a = Decode(plat::EncodeBmp24(px.data(), 33, 17), false);
    ASSERT_EQ(std::make_pair(a.width, a.height), std::make_pair(64u, 32u));
    for (uint32_t y = 0; y < 17; ++y)
        for (uint32_t x = 0; x < 33; ++x)
            ASSERT_EQ(a.pixels[y * 64 + x], px[y * 33 + x]) << x << "," << y;
    EXPECT_EQ(std::make_pair(a.pixels[16 * 64 + 33], a.pixels[17 * 64]), std::make_pair(0u, 0u));
    const Pixels withAlpha = {0x80FF0000u, 0x00000000u};
    EXPECT_EQ(Decode(plat::EncodeBmp32(withAlpha.data(), 2, 1)).pixels, withAlpha);

    ExpectFails({}, "empty");
    ExpectFails({'G', 'I', 'F', '8', '9', 'a'}, "unknown format");
    plat::Image out;
    EXPECT_FALSE(plat::DecodeImage(nullptr, 10, out));
}

} // namespace
