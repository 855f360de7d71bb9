// Meshes kept in memory: interleaved vertices in the vertex-format layout
// (position, normal, colour, texture coordinates), triangles, and the faces
// grouped by material ("subsets"). Drawn by the graphics device.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/math3d.h"
#include "platform/xfile.h"

namespace plat {

// Vertex-format bits and the three formats the game sets.
constexpr uint32_t kFvfXyz = 0x002;
constexpr uint32_t kFvfXyzRhw = 0x004;
constexpr uint32_t kFvfNormal = 0x010;
constexpr uint32_t kFvfDiffuse = 0x040;
constexpr uint32_t kFvfTex1 = 0x100;
constexpr uint32_t kFvfScreen = 0x144;   // pre-transformed position, rhw, colour, uv: 28 bytes
constexpr uint32_t kFvfWorld = 0x142;    // position, colour, uv: 24 bytes
constexpr uint32_t kFvfColoured = 0x042; // position, colour: 16 bytes

struct VertexLayout {
    uint32_t stride = 0;
    int32_t normal = -1; // byte offsets, -1 when the format lacks the part
    int32_t diffuse = -1;
    int32_t texCoord = -1;
    bool pretransformed = false;
};

// 0 stride for formats this layer does not handle.
VertexLayout LayoutOfFormat(uint32_t fvf);
uint32_t VertexSizeOfFormat(uint32_t fvf);

// Material colours are RGBA floats.
struct Material {
    float diffuse[4];
    float ambient[4];
    float specular[4];
    float emissive[4];
    float power;
};

struct MeshSubset {
    uint32_t attribute;
    uint32_t faceStart;
    uint32_t faceCount;
};

// A number that no other mesh content has had: new for every mesh made (copies too)
// and whenever its vertices are locked for writing, so that a device that keeps the
// mesh in buffers of its own can tell when they no longer hold it.
struct MeshSerial {
    uint64_t value = Next();
    MeshSerial() = default;
    MeshSerial(const MeshSerial&) : value(Next()) {}
    MeshSerial& operator=(const MeshSerial&)
    {
        value = Next();
        return *this;
    }
    void Renew() { value = Next(); }
    static uint64_t Next();
};

struct Mesh {
    MeshSerial serial;
    uint32_t fvf = 0;
    uint32_t options = 0;
    uint32_t vertexCount = 0;
    std::vector<uint8_t> vertices; // vertexCount * stride bytes
    std::vector<uint32_t> indices; // three per face
    std::vector<uint32_t> faceAttributes;
    std::vector<MeshSubset> subsets; // faces sorted by attribute, one entry per attribute present

    uint32_t Stride() const { return VertexSizeOfFormat(fvf); }
    uint32_t FaceCount() const { return static_cast<uint32_t>(faceAttributes.size()); }
    const MeshSubset* FindSubset(uint32_t attribute) const;
    // The vertex buffer, locked whole: count * stride bytes. Vertices change only
    // through it once the mesh may have been drawn.
    uint8_t* LockVertices()
    {
        serial.Renew();
        return vertices.data();
    }
};

// Subset i of the result is the faces of material i. Fails on indices or
// material numbers out of range and on per-vertex arrays of the wrong length.
Mesh* CreateMeshFromXData(const XMeshData& data, std::string* error = nullptr);

// A sphere of slices x stacks about the origin, poles on the y axis (so they are
// vertices), position and normal only.
Mesh* CreateSphereMesh(float radius, uint32_t slices, uint32_t stacks);

// A copy in another vertex format: shared parts copied, a new colour is opaque white,
// anything else new is zero. NULL when the format is not a mesh format.
Mesh* CloneMeshToFormat(const Mesh& mesh, uint32_t fvf);

// A copy with its faces sorted by material.
Mesh* OptimizeMeshAttributeSort(const Mesh& mesh);

void ReleaseMesh(Mesh* mesh);

} // namespace plat
