#include "platform/image_codec.h"

#include <gtest/gtest.h>

namespace {

TEST(ImageEncode, Bmp24PadsRowsAndStoresBottomUp) {
    const uint32_t px[3] = {0xFF112233u, 0xFF445566u, 0xFF778899u}; // 3x1: 9 bytes + 3 padding
    std::vector<uint8_t> b = plat::EncodeBmp24(px, 3, 1);
    ASSERT_EQ(b.size(), 14u + 40u + 12u);
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[28], 24);
    EXPECT_EQ(b[54], 0x33); // blue first
    EXPECT_EQ(b[56], 0x11);
    EXPECT_EQ(b[62], 0x77);
}

TEST(ImageEncode, PngHasSignatureAndEmptyImageIsRefused) {
    const uint32_t px[4] = {0xFF0000FFu, 0x80FF0000u, 0, 0xFFFFFFFFu};
    std::vector<uint8_t> p = plat::EncodePng(px, 2, 2);
    ASSERT_GT(p.size(), 8u);
    EXPECT_EQ(p[1], 'P');
    EXPECT_TRUE(plat::EncodePng(px, 0, 2).empty());
}

} // namespace
