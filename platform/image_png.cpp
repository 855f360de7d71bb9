// PNG through libpng, read from memory. libpng reports errors by longjmp, so the
// function holding the setjmp keeps no object with a destructor: the pixel
// vector lives in the caller and libpng only writes into its storage.
#include "platform/image_decoders.h"

#include <png.h>

#include <csetjmp>
#include <cstring>

namespace plat::imagecodec {
namespace {

struct PngSource {
    const uint8_t* data;
    size_t size;
    size_t pos;
    char message[160];
};

[[noreturn]] void PngOnError(png_structp png, png_const_charp msg)
{
    auto* src = static_cast<PngSource*>(png_get_error_ptr(png));
    if (src) {
        std::strncpy(src->message, msg ? msg : "PNG error", sizeof src->message - 1);
        src->message[sizeof src->message - 1] = '\0';
    }
    png_longjmp(png, 1);
}

void PngOnWarning(png_structp, png_const_charp) {}

void PngRead(png_structp png, png_bytep out, size_t length)
{
    auto* src = static_cast<PngSource*>(png_get_io_ptr(png));
    if (length > src->size - src->pos)
        png_error(png, "PNG file is truncated");
    std::memcpy(out, src->data + src->pos, length);
    src->pos += length;
}

enum class Stage { Header, Pixels };

// Reads the header (stage Header: fills width and height) or, on a second pass
// over a fresh reader, the pixels into rgba, a buffer of width * height * 4 bytes.
bool RunPng(PngSource* src, Stage stage, uint32_t* width, uint32_t* height, uint8_t* rgba)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, src, PngOnError, PngOnWarning);
    if (!png) {
        std::strcpy(src->message, "out of memory");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        std::strcpy(src->message, "out of memory");
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, src, PngRead);
    png_set_user_limits(png, kMaxDimension, kMaxDimension);
    png_read_info(png, info);
    const png_uint_32 w = png_get_image_width(png, info);
    const png_uint_32 h = png_get_image_height(png, info);
    if (w == 0 || h == 0 || w > kMaxDimension || h > kMaxDimension)
        png_error(png, "PNG has an unusable size");
    if (stage == Stage::Header) {
        *width = w;
        *height = h;
        png_destroy_read_struct(&png, &info, nullptr);
        return true;
    }
    if (w != *width || h != *height)
        png_error(png, "PNG changed between reads");

    // Every colour type and depth becomes 8-bit RGBA.
    const int colourType = png_get_color_type(png, info);
    png_set_expand(png); // palette to RGB, low-depth grey to 8 bits, tRNS to alpha
    png_set_strip_16(png);
    if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != size_t(w) * 4)
        png_error(png, "PNG could not be converted to RGBA");
    for (int pass = 0; pass < passes; ++pass)
        for (png_uint_32 y = 0; y < h; ++y)
            png_read_row(png, rgba + size_t(y) * w * 4, nullptr);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

} // namespace

bool DecodePng(const uint8_t* data, size_t size, RawImage& out, std::string& error)
{
    PngSource src{data, size, 0, {}};
    uint32_t w = 0, h = 0;
    if (!RunPng(&src, Stage::Header, &w, &h, nullptr)) {
        error = src.message[0] ? src.message : "PNG header could not be read";
        return false;
    }
    // Decode straight into the output's storage as RGBA bytes, then turn each
    // texel into 0xAARRGGBB in place.
    out.width = w;
    out.height = h;
    out.pixels.assign(size_t(w) * h, 0u);
    src.pos = 0;
    src.message[0] = '\0';
    auto* bytes = reinterpret_cast<uint8_t*>(out.pixels.data());
    if (!RunPng(&src, Stage::Pixels, &w, &h, bytes)) {
        error = src.message[0] ? src.message : "PNG could not be decoded";
        out = RawImage{};
        return false;
    }
    for (size_t i = 0; i < out.pixels.size(); ++i) {
        const uint8_t* p = bytes + i * 4;
        out.pixels[i] = (uint32_t(p[3]) << 24) | (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
    }
    return true;
}

} // namespace plat::imagecodec
