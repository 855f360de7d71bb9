// Encoders used by the content tools (BMP textures) and the screenshot tool (PNG).
#include "platform/byte_order.h"
#include "platform/image_codec.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>

namespace plat {
namespace {

// Bottom-up BI_RGB bitmap with a 40-byte info header; rows padded to four bytes.
std::vector<uint8_t> EncodeBmp(const uint32_t* pixels, uint32_t width, uint32_t height, int bpp)
{
    const uint64_t rowBytes = ((uint64_t(width) * (bpp / 8)) + 3) & ~uint64_t(3);
    const uint64_t imageBytes = rowBytes * height;
    const uint64_t fileBytes = 14 + 40 + imageBytes;
    std::vector<uint8_t> b;
    if (fileBytes > 0xFFFFFFFFull || (width && height && !pixels))
        return b;
    b.reserve(size_t(fileBytes));
    b.push_back('B');
    b.push_back('M');
    AppendLE32(b, uint32_t(fileBytes));
    AppendLE32(b, 0);
    AppendLE32(b, 14 + 40);
    AppendLE32(b, 40);
    AppendLE32(b, width);
    AppendLE32(b, height); // positive: bottom-up
    AppendLE16(b, 1);
    AppendLE16(b, uint32_t(bpp));
    AppendLE32(b, 0); // BI_RGB
    AppendLE32(b, uint32_t(imageBytes));
    AppendLE32(b, 2835); // 72 dpi
    AppendLE32(b, 2835);
    AppendLE32(b, 0);
    AppendLE32(b, 0);
    for (uint32_t y = height; y-- > 0;) {
        const uint32_t* row = pixels + size_t(y) * width;
        size_t start = b.size();
        for (uint32_t x = 0; x < width; ++x) {
            uint32_t p = row[x];
            b.push_back(uint8_t(p));
            b.push_back(uint8_t(p >> 8));
            b.push_back(uint8_t(p >> 16));
            if (bpp == 32)
                b.push_back(uint8_t(p >> 24));
        }
        while (b.size() - start < rowBytes)
            b.push_back(0);
    }
    return b;
}

struct PngWriteState {
    std::vector<uint8_t>* out;
};

void PngWriteToVector(png_structp png, png_bytep data, png_size_t length)
{
    auto* st = static_cast<PngWriteState*>(png_get_io_ptr(png));
    st->out->insert(st->out->end(), data, data + length);
}
void PngFlushNothing(png_structp) {}

// Kept separate from EncodePng so that no object with a destructor lives in the
// frame that longjmp unwinds.
bool EncodePngInto(std::vector<uint8_t>& out, const uint32_t* pixels, uint32_t width, uint32_t height,
                   std::vector<uint8_t>& rgba)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    PngWriteState st{&out};
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &st, PngWriteToVector, PngFlushNothing);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (uint32_t y = 0; y < height; ++y) {
        const uint32_t* row = pixels + size_t(y) * width;
        for (uint32_t x = 0; x < width; ++x) {
            uint32_t p = row[x];
            rgba[x * 4 + 0] = uint8_t(p >> 16);
            rgba[x * 4 + 1] = uint8_t(p >> 8);
            rgba[x * 4 + 2] = uint8_t(p);
            rgba[x * 4 + 3] = uint8_t(p >> 24);
        }
        png_write_row(png, rgba.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

std::vector<uint8_t> EncodeBmp24(const uint32_t* pixels, uint32_t width, uint32_t height)
{
    return EncodeBmp(pixels, width, height, 24);
}

std::vector<uint8_t> EncodeBmp32(const uint32_t* pixels, uint32_t width, uint32_t height)
{
    return EncodeBmp(pixels, width, height, 32);
}

// Returns an empty vector for an empty image or when libpng refuses.
std::vector<uint8_t> EncodePng(const uint32_t* pixels, uint32_t width, uint32_t height)
{
    std::vector<uint8_t> out;
    if (width == 0 || height == 0 || !pixels || width > 0x7FFFFFFFu / 4 || height > 0x7FFFFFFFu)
        return out;
    std::vector<uint8_t> rgba(size_t(width) * 4);
    if (!EncodePngInto(out, pixels, width, height, rgba))
        out.clear();
    return out;
}

bool WritePngFile(const char* path, const uint32_t* pixels, uint32_t width, uint32_t height)
{
    std::vector<uint8_t> png = EncodePng(pixels, width, height);
    if (png.empty() || !path)
        return false;
    std::FILE* f = std::fopen(path, "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size();
    if (std::fclose(f) != 0)
        ok = false;
    if (!ok)
        std::remove(path);
    return ok;
}

} // namespace plat
