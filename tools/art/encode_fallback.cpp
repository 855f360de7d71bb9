// Stand-ins for the platform's image encoders while they are not yet in the
// library; remove once platform/ provides them.
#include <png.h>

#include <cstdio>

#include "platform/image_codec.h"

namespace plat {

namespace {
std::vector<uint8_t> Bmp(const uint32_t* px, uint32_t w, uint32_t h, int bpp) {
    std::vector<uint8_t> b;
    uint32_t row = (w * (bpp / 8) + 3) & ~3u, size = 54 + row * h;
    auto p16 = [&](uint32_t v) { b.push_back(uint8_t(v)), b.push_back(uint8_t(v >> 8)); };
    auto p32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i))); };
    b.push_back('B'), b.push_back('M');
    p32(size), p32(0), p32(54), p32(40), p32(w), p32(h), p16(1), p16(uint32_t(bpp)), p32(0), p32(row * h);
    p32(2835), p32(2835), p32(0), p32(0);
    for (uint32_t y = h; y-- > 0;) {
        size_t start = b.size();
        for (uint32_t x = 0; x < w; ++x) {
            uint32_t c = px[size_t(y) * w + x];
            b.push_back(uint8_t(c)), b.push_back(uint8_t(c >> 8)), b.push_back(uint8_t(c >> 16));
            if (bpp == 32) b.push_back(uint8_t(c >> 24));
        }
        while (b.size() - start < row) b.push_back(0);
    }
    return b;
}
} // namespace

__attribute__((weak)) std::vector<uint8_t> EncodeBmp24(const uint32_t* p, uint32_t w, uint32_t h) { return Bmp(p, w, h, 24); }
__attribute__((weak)) std::vector<uint8_t> EncodeBmp32(const uint32_t* p, uint32_t w, uint32_t h) { return Bmp(p, w, h, 32); }
__attribute__((weak)) bool WritePngFile(const char* path, const uint32_t* p, uint32_t w, uint32_t h) {
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    img.width = w;
    img.height = h;
    img.format = PNG_FORMAT_BGRA;
    return png_image_write_to_file(&img, path, 0, p, 0, nullptr) != 0;
}

} // namespace plat
