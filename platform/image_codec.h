// Image decoding for textures (BMP of our own, PNG through libpng, JPEG through
// libjpeg) and encoding for the content tools and screenshots.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace plat {

// Pixels are 0xAARRGGBB, rows top-down.
struct Image {
    uint32_t width = 0; // texture size: the image's size rounded up to powers of two
    uint32_t height = 0;
    uint32_t imageWidth = 0; // the size stored in the file
    uint32_t imageHeight = 0;
    std::vector<uint32_t> pixels; // width * height; padding is transparent black
};

constexpr uint32_t kColourKey = 0xFF00FF00u; // opaque pure green loads as transparent black

// Decodes a whole BMP, PNG or JPEG file. With colourKey, texels of exactly
// 0xFF00FF00 become 0x00000000. Returns false on anything it cannot read safely.
bool DecodeImage(const uint8_t* data, size_t size, Image& out, bool colourKey = true, std::string* error = nullptr);

// Encoders write width * height pixels (0xAARRGGBB, top-down).
std::vector<uint8_t> EncodeBmp24(const uint32_t* pixels, uint32_t width, uint32_t height);
std::vector<uint8_t> EncodeBmp32(const uint32_t* pixels, uint32_t width, uint32_t height);
std::vector<uint8_t> EncodePng(const uint32_t* pixels, uint32_t width, uint32_t height);
bool WritePngFile(const char* path, const uint32_t* pixels, uint32_t width, uint32_t height);

} // namespace plat
