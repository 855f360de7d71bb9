#include "platform/mesh.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>

namespace plat {

uint64_t MeshSerial::Next()
{
    static uint64_t last = 0;
    return ++last;
}

VertexLayout LayoutOfFormat(uint32_t fvf)
{
    VertexLayout layout;
    const uint32_t position = fvf & 0x00E;
    uint32_t offset = 0;
    if (position == kFvfXyz) {
        offset = 12;
    } else if (position == kFvfXyzRhw) {
        offset = 16;
        layout.pretransformed = true;
    } else {
        return VertexLayout{};
    }
    if (fvf & ~(0x00Eu | kFvfNormal | kFvfDiffuse | kFvfTex1))
        return VertexLayout{};
    if (fvf & kFvfNormal) {
        if (layout.pretransformed)
            return VertexLayout{};
        layout.normal = static_cast<int32_t>(offset);
        offset += 12;
    }
    if (fvf & kFvfDiffuse) {
        layout.diffuse = static_cast<int32_t>(offset);
        offset += 4;
    }
    if (fvf & kFvfTex1) {
        layout.texCoord = static_cast<int32_t>(offset);
        offset += 8;
    }
    layout.stride = offset;
    return layout;
}

uint32_t VertexSizeOfFormat(uint32_t fvf)
{
    return LayoutOfFormat(fvf).stride;
}

const MeshSubset* Mesh::FindSubset(uint32_t attribute) const
{
    for (const MeshSubset& s : subsets)
        if (s.attribute == attribute)
            return &s;
    return nullptr;
}

static void SetError(std::string* error, const char* text)
{
    if (error)
        *error = text;
}

// Sorts the faces by attribute (stable, so each material keeps its own face order)
// and rebuilds the subset table.
static void SortFaces(Mesh& mesh)
{
    const uint32_t faces = mesh.FaceCount();
    std::vector<uint32_t> order(faces);
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(),
                     [&](uint32_t a, uint32_t b) { return mesh.faceAttributes[a] < mesh.faceAttributes[b]; });
    std::vector<uint32_t> indices(mesh.indices.size());
    std::vector<uint32_t> attributes(faces);
    for (uint32_t i = 0; i < faces; ++i) {
        std::memcpy(&indices[i * 3], &mesh.indices[order[i] * 3], 3 * sizeof(uint32_t));
        attributes[i] = mesh.faceAttributes[order[i]];
    }
    mesh.indices.swap(indices);
    mesh.faceAttributes.swap(attributes);
    mesh.subsets.clear();
    for (uint32_t i = 0; i < faces; ++i) {
        if (mesh.subsets.empty() || mesh.subsets.back().attribute != mesh.faceAttributes[i])
            mesh.subsets.push_back({mesh.faceAttributes[i], i, 0});
        ++mesh.subsets.back().faceCount;
    }
}

Mesh* CreateMeshFromXData(const XMeshData& data, std::string* error)
{
    if (data.positions.empty() || data.positions.size() % 3 != 0) {
        SetError(error, "mesh has no vertices");
        return nullptr;
    }
    const size_t count = data.positions.size() / 3;
    if (count > 0x7FFFFFFF) {
        SetError(error, "mesh too large");
        return nullptr;
    }
    if (!data.normals.empty() && data.normals.size() != count * 3) {
        SetError(error, "normal count does not match the vertices");
        return nullptr;
    }
    if (!data.texCoords.empty() && data.texCoords.size() != count * 2) {
        SetError(error, "texture coordinate count does not match the vertices");
        return nullptr;
    }
    if (!data.colours.empty() && data.colours.size() != count) {
        SetError(error, "colour count does not match the vertices");
        return nullptr;
    }
    if (data.indices.size() % 3 != 0 || data.triangleMaterial.size() != data.indices.size() / 3) {
        SetError(error, "face list does not match the materials");
        return nullptr;
    }
    for (uint32_t index : data.indices) {
        if (index >= count) {
            SetError(error, "face refers to a missing vertex");
            return nullptr;
        }
    }
    for (uint32_t material : data.triangleMaterial) {
        if (material >= data.materials.size()) {
            SetError(error, "face refers to a missing material");
            return nullptr;
        }
    }

    uint32_t fvf = kFvfXyz;
    if (!data.normals.empty())
        fvf |= kFvfNormal;
    if (!data.colours.empty())
        fvf |= kFvfDiffuse;
    if (!data.texCoords.empty())
        fvf |= kFvfTex1;
    const VertexLayout layout = LayoutOfFormat(fvf);

    Mesh* mesh = new Mesh;
    mesh->fvf = fvf;
    mesh->vertexCount = static_cast<uint32_t>(count);
    mesh->vertices.assign(count * layout.stride, 0);
    for (size_t i = 0; i < count; ++i) {
        uint8_t* v = &mesh->vertices[i * layout.stride];
        std::memcpy(v, &data.positions[i * 3], 12);
        if (layout.normal >= 0)
            std::memcpy(v + layout.normal, &data.normals[i * 3], 12);
        if (layout.diffuse >= 0)
            std::memcpy(v + layout.diffuse, &data.colours[i], 4);
        if (layout.texCoord >= 0)
            std::memcpy(v + layout.texCoord, &data.texCoords[i * 2], 8);
    }
    mesh->indices = data.indices;
    mesh->faceAttributes = data.triangleMaterial;
    SortFaces(*mesh);
    return mesh;
}

Mesh* CreateSphereMesh(float radius, uint32_t slices, uint32_t stacks)
{
    if (!(radius > 0.0f) || slices < 2 || stacks < 2 || slices > 4096 || stacks > 4096)
        return nullptr;
    Mesh* mesh = new Mesh;
    mesh->fvf = kFvfXyz | kFvfNormal;
    const uint32_t stride = mesh->Stride();
    mesh->vertexCount = slices * (stacks - 1) + 2;
    mesh->vertices.assign(static_cast<size_t>(mesh->vertexCount) * stride, 0);
    const float pi = 3.14159265358979f;
    uint32_t n = 0;
    auto put = [&](float nx, float ny, float nz) {
        const float v[6] = {nx * radius, ny * radius, nz * radius, nx, ny, nz};
        std::memcpy(&mesh->vertices[static_cast<size_t>(n++) * stride], v, sizeof v);
    };
    put(0.0f, 1.0f, 0.0f); // top pole
    for (uint32_t stack = 1; stack < stacks; ++stack) {
        const float phi = pi * static_cast<float>(stack) / static_cast<float>(stacks);
        for (uint32_t slice = 0; slice < slices; ++slice) {
            const float theta = 2.0f * pi * static_cast<float>(slice) / static_cast<float>(slices);
            put(std::sin(phi) * std::cos(theta), std::cos(phi), std::sin(phi) * std::sin(theta));
        }
    }
    put(0.0f, -1.0f, 0.0f); // bottom pole
    const uint32_t bottom = n - 1;
    auto ring = [&](uint32_t stack, uint32_t slice) { return 1 + (stack - 1) * slices + slice % slices; };
    auto face = [&](uint32_t a, uint32_t b, uint32_t c) {
        mesh->indices.insert(mesh->indices.end(), {a, b, c});
        mesh->faceAttributes.push_back(0);
    };
    for (uint32_t s = 0; s < slices; ++s)
        face(0, ring(1, s + 1), ring(1, s));
    for (uint32_t stack = 1; stack + 1 < stacks; ++stack) {
        for (uint32_t s = 0; s < slices; ++s) {
            face(ring(stack, s), ring(stack, s + 1), ring(stack + 1, s));
            face(ring(stack, s + 1), ring(stack + 1, s + 1), ring(stack + 1, s));
        }
    }
    for (uint32_t s = 0; s < slices; ++s)
        face(bottom, ring(stacks - 1, s), ring(stacks - 1, s + 1));
    SortFaces(*mesh);
    return mesh;
}

Mesh* CloneMeshToFormat(const Mesh& mesh, uint32_t fvf)
{
    const VertexLayout to = LayoutOfFormat(fvf);
    const VertexLayout from = LayoutOfFormat(mesh.fvf);
    if (to.stride == 0 || to.pretransformed || from.stride == 0)
        return nullptr;
    Mesh* clone = new Mesh;
    clone->fvf = fvf;
    clone->options = mesh.options;
    clone->vertexCount = mesh.vertexCount;
    clone->vertices.assign(static_cast<size_t>(mesh.vertexCount) * to.stride, 0);
    const uint32_t white = 0xFFFFFFFFu;
    for (uint32_t i = 0; i < mesh.vertexCount; ++i) {
        const uint8_t* s = &mesh.vertices[static_cast<size_t>(i) * from.stride];
        uint8_t* d = &clone->vertices[static_cast<size_t>(i) * to.stride];
        std::memcpy(d, s, 12);
        if (to.normal >= 0 && from.normal >= 0)
            std::memcpy(d + to.normal, s + from.normal, 12);
        if (to.diffuse >= 0)
            std::memcpy(d + to.diffuse, from.diffuse >= 0 ? s + from.diffuse : reinterpret_cast<const uint8_t*>(&white),
                        4);
        if (to.texCoord >= 0 && from.texCoord >= 0)
            std::memcpy(d + to.texCoord, s + from.texCoord, 8);
    }
    clone->indices = mesh.indices;
    clone->faceAttributes = mesh.faceAttributes;
    clone->subsets = mesh.subsets;
    return clone;
}

Mesh* OptimizeMeshAttributeSort(const Mesh& mesh)
{
    Mesh* copy = new Mesh(mesh);
    SortFaces(*copy);
    return copy;
}

void ReleaseMesh(Mesh* mesh)
{
    delete mesh;
}

} // namespace plat
