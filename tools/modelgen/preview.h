// A small software rasteriser that draws models as the game lights them (each
// material's emissive colour times its texture) so the models can be looked at.
#pragma once
#include <map>
#include <string>

#include "mesh.h"
#include "textures.h"

namespace modelgen {

struct Sheet {
    uint32_t width = 0, height = 0;
    std::vector<uint32_t> pixels;
};

// Draws the mesh into a cell of the sheet, seen from the front turned by yaw degrees,
// 2.4 world units tall; shaded adds a little light from the front for reading shapes.
void DrawPreview(Sheet& sheet, int cellX, int cellY, int cellW, int cellH, const Mesh& mesh,
                 const std::map<std::string, Picture>& textures, float yawDeg, bool shaded);

bool WritePng(const std::string& path, const Sheet& sheet);

} // namespace modelgen
