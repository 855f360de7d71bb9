// Decoding entry point: picks the reader by the file's signature, then lays the
// image into a power-of-two texture and applies the colour key.
#include "platform/image_codec.h"

#include "platform/image_decoders.h"

#include <cstring>

namespace plat {
namespace {

uint32_t NextPowerOfTwo(uint32_t v)
{
    uint32_t p = 1;
    while (p < v)
        p <<= 1; // v <= kMaxDimension, so this cannot overflow
    return p;
}

bool StartsWith(const uint8_t* data, size_t size, const char* magic, size_t n)
{
    return size >= n && std::memcmp(data, magic, n) == 0;
}

} // namespace

bool DecodeImage(const uint8_t* data, size_t size, Image& out, bool colourKey, std::string* error)
{
    using namespace imagecodec;
    out = Image{};
    std::string reason;
    RawImage raw;
    bool ok = false;
    if (!data || size == 0) {
        reason = "empty image data";
    } else if (StartsWith(data, size, "BM", 2)) {
        ok = DecodeBmp(data, size, raw, reason);
    } else if (StartsWith(data, size, "\x89PNG\r\n\x1a\n", 8)) {
        ok = DecodePng(data, size, raw, reason);
    } else if (StartsWith(data, size, "\xFF\xD8\xFF", 3)) {
        ok = DecodeJpeg(data, size, raw, reason);
    } else {
        reason = "unknown image format (expected BMP, PNG or JPEG)";
    }
    if (ok && (raw.width == 0 || raw.height == 0 || raw.width > kMaxDimension || raw.height > kMaxDimension ||
               raw.pixels.size() != size_t(raw.width) * raw.height)) {
        ok = false;
        reason = "image has an unusable size";
    }
    if (!ok) {
        if (error)
            *error = reason.empty() ? "image could not be decoded" : reason;
        return false;
    }

    out.imageWidth = raw.width;
    out.imageHeight = raw.height;
    out.width = NextPowerOfTwo(raw.width);
    out.height = NextPowerOfTwo(raw.height);
    if (out.width == raw.width && out.height == raw.height) {
        out.pixels = std::move(raw.pixels);
    } else {
        // No resampling: the image keeps its texels at the top left.
        out.pixels.assign(size_t(out.width) * out.height, 0u);
        for (uint32_t y = 0; y < raw.height; ++y)
            std::memcpy(&out.pixels[size_t(y) * out.width], &raw.pixels[size_t(y) * raw.width],
                        size_t(raw.width) * sizeof(uint32_t));
    }
    if (colourKey)
        for (uint32_t& p : out.pixels)
            if (p == kColourKey)
                p = 0u;
    return true;
}

} // namespace plat
