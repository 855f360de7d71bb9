// Builds archive images for the foundation tests: a 600-byte table of u32 offsets
// followed by [u32 length][bytes] blocks.
#pragma once
#include <cstdint>
#include <cstring>
#include <vector>

namespace foundation_test {

inline void PutU32(std::vector<uint8_t>& image, size_t at, uint32_t value)
{
    if (image.size() < at + 4)
        image.resize(at + 4);
    for (int i = 0; i < 4; ++i)
        image[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// Appends a block and points table entry index at it.
inline void AddBlock(std::vector<uint8_t>& image, int index, const std::vector<uint8_t>& bytes)
{
    if (image.size() < 600)
        image.resize(600);
    uint32_t offset = static_cast<uint32_t>(image.size() - 600);
    PutU32(image, 4 * index, offset);
    PutU32(image, image.size(), static_cast<uint32_t>(bytes.size()));
    image.insert(image.end(), bytes.begin(), bytes.end());
}

} // namespace foundation_test
