// Character models are .x text files out of the data archive; any byte of them may be wrong.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/xfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    plat::XMeshData mesh;
    std::string error;
    if (!plat::ParseXFile(data, size, mesh, &error)) return 0;
    // What the model loader relies on when it builds vertex and index buffers.
    const size_t vertices = mesh.positions.size() / 3;
    if (mesh.positions.size() % 3 != 0) __builtin_trap();
    if (!mesh.normals.empty() && mesh.normals.size() != mesh.positions.size()) __builtin_trap();
    if (!mesh.texCoords.empty() && mesh.texCoords.size() != vertices * 2) __builtin_trap();
    if (!mesh.colours.empty() && mesh.colours.size() != vertices) __builtin_trap();
    if (mesh.indices.size() % 3 != 0) __builtin_trap();
    for (uint32_t index : mesh.indices)
        if (index >= vertices) __builtin_trap();
    if (mesh.triangleMaterial.size() != mesh.indices.size() / 3) __builtin_trap();
    if (!mesh.indices.empty() && mesh.materials.empty()) __builtin_trap();
    for (uint32_t material : mesh.triangleMaterial)
        if (material >= mesh.materials.size()) __builtin_trap();
    return 0;
}
