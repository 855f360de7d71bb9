// Stand-in 24-bit BMP writer used until the platform encoder is available.
#pragma once
#include <cstdint>
#include <vector>

namespace modelgen {

inline std::vector<uint8_t> Bmp24(const uint32_t* pixels, uint32_t width, uint32_t height)
{
    const uint32_t stride = (width * 3 + 3) & ~3u;
    const uint32_t dataSize = stride * height;
    std::vector<uint8_t> out(54 + dataSize, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out[at + i] = uint8_t(v >> (8 * i));
    };
    out[0] = 'B';
    out[1] = 'M';
    put32(2, 54 + dataSize);
    put32(10, 54);
    put32(14, 40);
    put32(18, width);
    put32(22, height);
    out[26] = 1;
    out[28] = 24;
    put32(34, dataSize);
    put32(38, 2835);
    put32(42, 2835);
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* row = out.data() + 54 + size_t(height - 1 - y) * stride;
        for (uint32_t x = 0; x < width; ++x) {
            uint32_t p = pixels[size_t(y) * width + x];
            row[3 * x] = uint8_t(p);
            row[3 * x + 1] = uint8_t(p >> 8);
            row[3 * x + 2] = uint8_t(p >> 16);
        }
    }
    return out;
}

} // namespace modelgen
