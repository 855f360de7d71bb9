// Our own BMP reader: core (12-byte) and info headers up to V5; 1, 4 and 8-bit
// palettised, 16, 24 and 32-bit direct colour, bit fields, bottom-up and top-down.
// Every read is checked against the buffer before it happens.
#include "platform/byte_order.h"
#include "platform/image_decoders.h"

namespace plat::imagecodec {
namespace {

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;
constexpr uint32_t kBiBitfields = 3;
constexpr uint32_t kBiAlphaBitfields = 6;

// One colour channel of a bit-field pixel format.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    int bits = 0;

    bool Set(uint32_t m)
    {
        mask = m;
        shift = 0;
        bits = 0;
        if (m == 0)
            return true;
        while (!(m & 1u)) {
            m >>= 1;
            ++shift;
        }
        while (m & 1u) {
            m >>= 1;
            ++bits;
        }
        return m == 0; // the mask must be one contiguous run of bits
    }
    uint32_t Extract(uint32_t px) const
    {
        if (bits == 0)
            return 0;
        uint32_t v = (px & mask) >> shift;
        if (bits >= 8)
            return v >> (bits - 8);
        uint32_t maxv = (1u << bits) - 1;
        return (v * 255u + maxv / 2) / maxv;
    }
};

} // namespace

bool DecodeBmp(const uint8_t* data, size_t size, RawImage& out, std::string& error)
{
    if (size < 14 + 12) {
        error = "BMP file is truncated";
        return false;
    }
    const uint32_t pixelOffset = LoadLE32(data + 10);
    const uint32_t headerSize = LoadLE32(data + 14);
    const bool core = headerSize == 12;
    if (!core && headerSize != 40 && headerSize != 52 && headerSize != 56 && headerSize != 64 && headerSize != 108 &&
        headerSize != 124) {
        error = "BMP has an unknown header size";
        return false;
    }
    if (14ull + headerSize > size) {
        error = "BMP file is truncated";
        return false;
    }
    const uint8_t* h = data + 14;
    int64_t width, height;
    uint32_t bpp, compression = kBiRgb, coloursUsed = 0;
    if (core) {
        width = LoadLE16(h + 4);
        height = LoadLE16(h + 6);
        bpp = LoadLE16(h + 10);
    } else {
        width = int32_t(LoadLE32(h + 4));
        height = int32_t(LoadLE32(h + 8));
        bpp = LoadLE16(h + 14);
        compression = LoadLE32(h + 16);
        coloursUsed = LoadLE32(h + 32);
    }
    const bool topDown = height < 0;
    if (topDown)
        height = -height; // int64_t, so INT32_MIN cannot overflow
    if (width <= 0 || height <= 0) {
        error = "BMP has a zero or negative size";
        return false;
    }
    if (width > kMaxDimension || height > kMaxDimension) {
        error = "BMP is larger than 8192 pixels on a side";
        return false;
    }
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) {
        error = "BMP has an unsupported bit depth";
        return false;
    }
    if (compression == kBiRle8 || compression == kBiRle4) {
        error = "run-length compressed BMP is not supported";
        return false;
    }
    const bool bitfields = compression == kBiBitfields || compression == kBiAlphaBitfields;
    if (compression != kBiRgb && !bitfields) {
        error = "BMP has an unsupported compression";
        return false;
    }
    if (bitfields && ((bpp != 16 && bpp != 32) || headerSize == 64)) {
        error = "BMP bit fields need 16 or 32 bits per pixel";
        return false;
    }

    // Pixel layout of the direct-colour formats.
    Channel red, green, blue, alpha;
    size_t afterHeader = 14 + headerSize;
    if (bitfields) {
        uint32_t masks[4] = {0, 0, 0, 0};
        const uint8_t* m = nullptr;
        size_t count = compression == kBiAlphaBitfields ? 4 : 3;
        if (headerSize >= 52) {
            m = h + 40; // the masks are part of the header: three, or four from 56 bytes on
            count = headerSize >= 56 ? 4 : 3;
        } else {
            if (afterHeader + count * 4 > size) {
                error = "BMP file is truncated";
                return false;
            }
            m = data + afterHeader;
            afterHeader += count * 4;
        }
        for (size_t i = 0; i < count; ++i)
            masks[i] = LoadLE32(m + 4 * i);
        bool outside = false;
        if (bpp == 16)
            for (uint32_t mask : masks)
                outside = outside || mask > 0xFFFFu;
        if (outside || !red.Set(masks[0]) || !green.Set(masks[1]) || !blue.Set(masks[2]) || !alpha.Set(masks[3])) {
            error = "BMP has invalid colour masks";
            return false;
        }
    } else if (bpp == 16) {
        red.Set(0x7C00);
        green.Set(0x03E0);
        blue.Set(0x001F);
    } else if (bpp == 32) {
        red.Set(0x00FF0000);
        green.Set(0x0000FF00);
        blue.Set(0x000000FF);
        alpha.Set(0xFF000000);
    }

    // Palette of the indexed formats: four bytes per entry (three in a core header).
    uint32_t palette[256];
    uint32_t paletteSize = 0;
    if (bpp <= 8) {
        const uint32_t maxEntries = 1u << bpp;
        paletteSize = (coloursUsed == 0 || coloursUsed > maxEntries) ? maxEntries : coloursUsed;
        const size_t entry = core ? 3 : 4;
        if (afterHeader + size_t(paletteSize) * entry > size) {
            error = "BMP palette is truncated";
            return false;
        }
        for (uint32_t i = 0; i < paletteSize; ++i) {
            const uint8_t* e = data + afterHeader + i * entry;
            palette[i] = 0xFF000000u | (uint32_t(e[2]) << 16) | (uint32_t(e[1]) << 8) | e[0];
        }
    }

    const uint64_t rowBytes = ((uint64_t(width) * bpp + 31) / 32) * 4;
    if (pixelOffset < 14 + headerSize) {
        error = "BMP pixel data offset lies inside the header";
        return false;
    }
    if (uint64_t(pixelOffset) + rowBytes * uint64_t(height) > size) {
        error = "BMP pixel data is truncated";
        return false;
    }

    const uint32_t w = uint32_t(width), hgt = uint32_t(height);
    out.width = w;
    out.height = hgt;
    out.pixels.assign(size_t(w) * hgt, 0u);
    bool anyAlpha = false;
    for (uint32_t r = 0; r < hgt; ++r) {
        const uint8_t* src = data + pixelOffset + r * rowBytes;
        uint32_t* dst = &out.pixels[size_t(topDown ? r : hgt - 1 - r) * w];
        if (bpp <= 8) {
            const uint32_t perByte = 8 / bpp, valueMask = (1u << bpp) - 1;
            for (uint32_t x = 0; x < w; ++x) {
                const uint32_t shift = 8 - bpp * (x % perByte + 1);
                const uint32_t index = (src[x / perByte] >> shift) & valueMask;
                if (index >= paletteSize) {
                    error = "BMP pixel refers past the end of the palette";
                    out = RawImage{};
                    return false;
                }
                dst[x] = palette[index];
            }
        } else if (bpp == 24) {
            for (uint32_t x = 0; x < w; ++x, src += 3)
                dst[x] = 0xFF000000u | (uint32_t(src[2]) << 16) | (uint32_t(src[1]) << 8) | src[0];
        } else {
            for (uint32_t x = 0; x < w; ++x) {
                uint32_t px = bpp == 16 ? LoadLE16(src + 2 * x) : LoadLE32(src + 4 * x);
                uint32_t a = alpha.Extract(px);
                if (a)
                    anyAlpha = true;
                dst[x] = (a << 24) | (red.Extract(px) << 16) | (green.Extract(px) << 8) | blue.Extract(px);
            }
        }
    }
    // Many writers leave the fourth byte zero: an alpha channel that is zero
    // everywhere means "no alpha", not "invisible".
    if (bpp >= 16 && !anyAlpha)
        for (uint32_t& p : out.pixels)
            p |= 0xFF000000u;
    return true;
}

} // namespace plat::imagecodec
