// Texture images (BMP, PNG, JPEG) come out of the data archive; any byte of them may be wrong.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/image_codec.h"

namespace {

bool IsPowerOfTwo(uint32_t v)
{
    return v != 0 && (v & (v - 1)) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    for (bool colourKey : {true, false}) {
        plat::Image image;
        std::string error;
        if (!plat::DecodeImage(data, size, image, colourKey, &error))
            continue;
        // What the texture loader relies on when it uploads the pixels.
        if (image.pixels.size() != static_cast<size_t>(image.width) * image.height)
            __builtin_trap();
        if (!IsPowerOfTwo(image.width) || !IsPowerOfTwo(image.height))
            __builtin_trap();
        if (image.imageWidth == 0 || image.imageHeight == 0)
            __builtin_trap();
        if (image.imageWidth > image.width || image.imageHeight > image.height)
            __builtin_trap();
        if (colourKey) {
            for (uint32_t p : image.pixels)
                if (p == plat::kColourKey)
                    __builtin_trap();
        }
    }
    return 0;
}
