// Reader of the text form of the .x mesh format.
#include "platform/xfile.h"

namespace plat {

bool ParseXFile(const uint8_t* data, size_t size, XMeshData& out, std::string* error) {
    (void)data;
    (void)size;
    (void)out;
    if (error) *error = "mesh reading is not available yet";
    return false;
}

} // namespace plat
