// Decoding entry point: picks the reader by the file's signature.
#include "platform/image_codec.h"

namespace plat {

bool DecodeImage(const uint8_t* data, size_t size, Image& out, bool colourKey, std::string* error) {
    (void)data;
    (void)size;
    (void)out;
    (void)colourKey;
    if (error) *error = "image decoding is not available yet";
    return false;
}

} // namespace plat
