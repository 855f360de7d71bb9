// Reader of the text form of the .x mesh format: every mesh of the file merged,
// frame transforms applied, faces triangulated, with materials.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace plat {

struct XMaterial {
    float diffuse[4] = {0, 0, 0, 1}; // faceColor RGBA
    float power = 0;
    float specular[3] = {0, 0, 0};
    float emissive[3] = {0, 0, 0};
    std::string textureFile; // empty when the material has no texture
};

struct XMeshData {
    std::vector<float> positions;           // x, y, z per vertex
    std::vector<float> normals;             // x, y, z per vertex, or empty
    std::vector<float> texCoords;           // u, v per vertex, or empty
    std::vector<uint32_t> colours;          // 0xAARRGGBB per vertex, or empty
    std::vector<uint32_t> indices;          // three per triangle
    std::vector<uint32_t> triangleMaterial; // material index per triangle
    std::vector<XMaterial> materials;       // at least one material when there are triangles
};

// Returns false (with a reason) for binary or compressed files and anything malformed.
bool ParseXFile(const uint8_t* data, size_t size, XMeshData& out, std::string* error = nullptr);

} // namespace plat
