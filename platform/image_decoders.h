// Private to the image codec: the per-format readers behind DecodeImage.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace plat::imagecodec {

// Largest width or height any reader accepts; also keeps width * height * 4 far from overflow.
constexpr uint32_t kMaxDimension = 8192;

// A decoded image at its own size: 0xAARRGGBB, rows top-down.
struct RawImage {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint32_t> pixels;
};

bool DecodeBmp(const uint8_t* data, size_t size, RawImage& out, std::string& error);
bool DecodePng(const uint8_t* data, size_t size, RawImage& out, std::string& error);
bool DecodeJpeg(const uint8_t* data, size_t size, RawImage& out, std::string& error);

} // namespace plat::imagecodec
