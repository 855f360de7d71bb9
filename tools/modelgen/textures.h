// Painted material textures: faces, team emblems and the monsters' details.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace modelgen {

struct Picture {
    uint32_t width = 0, height = 0;
    std::vector<uint32_t> pixels; // 0xAARRGGBB, top-down
};

// Paints the image behind a texture key ("face:<row>", "emblem:<team>", "eye", ...).
// Returns false for an unknown key.
bool PaintTexture(const std::string& key, Picture& out);

// The skin and eye colours a face key paints, so the model can match its head to them.
uint32_t FaceSkin(int row);

} // namespace modelgen
