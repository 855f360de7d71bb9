// Character models are .x text files out of the data archive; any byte of them may be
// wrong. The target parses a file as the model loader does, then builds the model
// through the loader on the recording device and checks what drawing relies on.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/assets.h"
#include "engine/draw3d.h"
#include "engine/graphics.h"
#include "platform/gfx_device.h"
#include "platform/mesh.h"
#include "platform/xfile.h"

namespace {

void CheckParsed(const plat::XMeshData& mesh)
{
    const size_t vertices = mesh.positions.size() / 3;
    if (mesh.positions.size() % 3 != 0)
        __builtin_trap();
    if (!mesh.normals.empty() && mesh.normals.size() != mesh.positions.size())
        __builtin_trap();
    if (!mesh.texCoords.empty() && mesh.texCoords.size() != vertices * 2)
        __builtin_trap();
    if (!mesh.colours.empty() && mesh.colours.size() != vertices)
        __builtin_trap();
    if (mesh.indices.size() % 3 != 0)
        __builtin_trap();
    for (uint32_t index : mesh.indices)
        if (index >= vertices)
            __builtin_trap();
    if (mesh.triangleMaterial.size() != mesh.indices.size() / 3)
        __builtin_trap();
    if (!mesh.indices.empty() && mesh.materials.empty())
        __builtin_trap();
    for (uint32_t material : mesh.triangleMaterial)
        if (material >= mesh.materials.size())
            __builtin_trap();
}

// What the OpenGL back end reads when it draws each subset of a loaded model.
void CheckLoaded(const ModelRecord& model)
{
    const plat::Mesh& mesh = *model.mesh;
    const uint32_t stride = mesh.Stride();
    if (stride == 0 || mesh.vertices.size() != static_cast<size_t>(mesh.vertexCount) * stride)
        __builtin_trap();
    if (mesh.indices.size() != static_cast<size_t>(mesh.FaceCount()) * 3)
        __builtin_trap();
    for (uint32_t index : mesh.indices)
        if (index >= mesh.vertexCount)
            __builtin_trap();
    for (uint32_t i = 0; i < model.materialCount; ++i) {
        const plat::MeshSubset* subset = mesh.FindSubset(i);
        if (!subset)
            continue;
        if (static_cast<uint64_t>(subset->faceStart) + subset->faceCount > mesh.FaceCount())
            __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    plat::XMeshData mesh;
    std::string error;
    if (!plat::ParseXFile(data, size, mesh, &error))
        return 0;
    CheckParsed(mesh);

    // No archive is loaded, so textured materials stay untextured, as for a missing block.
    if (!g_d3dDevice)
        g_d3dDevice = plat::CreateRecordingDevice();
    g_meshTextureCounter = 0;
    ModelRecord model{};
    if (LoadModelFromMeshData(&model, mesh)) {
        CheckLoaded(model);
        const plat::Matrix4 world = plat::MatrixIdentity();
        g_d3dDevice->BeginScene();
        DrawModel(&model, &world);
        g_d3dDevice->EndScene();
        g_d3dDevice->Present();
    }
    ReleaseModelRecord(&model);
    return 0;
}
