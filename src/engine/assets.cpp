// Textures and models from the data archive into the graphics device.
#include "engine/assets.h"

#include <cstring>
#include <new>
#include <string>

#include "engine/archive.h"
#include "engine/graphics.h"
#include "engine/startup_note.h"
#include "platform/gfx_device.h"
#include "platform/image_codec.h"
#include "platform/mesh.h"
#include "platform/xfile.h"

plat::Texture* g_uiAtlas = nullptr;
plat::Texture* g_fontTexture = nullptr;
plat::Texture* g_textures[kBoardTextureCount] = {};
int32_t g_meshTextureCounter = 0;
ModelRecord g_modelTable[kModelCount] = {};
ModelRecord g_effectModels[kEffectModelCount] = {};

namespace {

// Why the last texture or model block did not load, for the start-up failure note.
std::string s_blockError;

struct SphereShape {
    float radius;
    uint32_t segments;
    uint32_t colour;
};

constexpr SphereShape kEffectSpheres[kEffectModelCount] = {
    {0.4f, 8, 0xFFFFFF00u},  // yellow
    {0.4f, 8, 0xFFFFA500u},  // orange
    {3.4f, 16, 0xFFFF0000u}, // red
};

plat::Material MaterialFromX(const plat::XMaterial& x)
{
    plat::Material m{};
    for (int i = 0; i < 4; ++i)
        m.diffuse[i] = x.diffuse[i];
    for (int i = 0; i < 3; ++i) {
        m.specular[i] = x.specular[i];
        m.emissive[i] = x.emissive[i];
    }
    m.specular[3] = 1.0f;
    m.emissive[3] = 1.0f;
    m.power = x.power;
    return m;
}

} // namespace

ModelRecord* ModelById(int32_t id)
{
    if (id < 0 || id >= kModelCount)
        return nullptr;
    return &g_modelTable[id];
}

int LoadTextureFromDataBlock(plat::Texture** out, int block)
{
    if (!out)
        return 0;
    *out = nullptr;
    if (!g_d3dDevice)
        return 0;
    uint32_t size = 0;
    const uint8_t* bytes = GetDataBlock(block, &size);
    s_blockError = "the block is empty or lies outside data.dat";
    if (!bytes || size == 0)
        return 0;
    plat::Image image;
    if (!plat::DecodeImage(bytes, size, image, true, &s_blockError))
        return 0;
    *out = g_d3dDevice->CreateTexture(image);
    s_blockError = "the device refused the texture";
    return *out ? 1 : 0;
}

static int LoadStartupTexture(plat::Texture** out, int block)
{
    if (LoadTextureFromDataBlock(out, block))
        return 1;
    NoteStartupFailure("texture (data.dat block %d): %s", block, s_blockError.c_str());
    return 0;
}

int LoadTexturesFromData()
{
    if (!LoadStartupTexture(&g_uiAtlas, kAtlasBlock))
        return 0;
    if (!LoadStartupTexture(&g_fontTexture, kFontBlock))
        return 0;
    for (int i = 0; i < kBoardTextureCount; ++i)
        if (!LoadStartupTexture(&g_textures[i], kBoardTextureFirstBlock + i))
            return 0;
    return 1;
}

void ReleaseModelRecord(ModelRecord* record)
{
    if (!record)
        return;
    if (record->mesh)
        plat::ReleaseMesh(record->mesh);
    if (record->textures) {
        for (uint32_t i = 0; i < record->materialCount; ++i)
            if (record->textures[i] && g_d3dDevice)
                g_d3dDevice->ReleaseTexture(record->textures[i]);
        delete[] record->textures;
    }
    delete[] record->materials;
    *record = ModelRecord{};
}

int LoadModelFromDataBlock(ModelRecord* record, int block)
{
    *record = ModelRecord{};
    uint32_t size = 0;
    const uint8_t* bytes = GetDataBlock(block, &size);
    s_blockError = "the block is empty or lies outside data.dat";
    if (!bytes || size == 0)
        return 0;
    plat::XMeshData data;
    if (!plat::ParseXFile(bytes, size, data, &s_blockError))
        return 0;
    if (LoadModelFromMeshData(record, data))
        return 1;
    s_blockError = "the mesh could not be built";
    return 0;
}

int LoadModelFromMeshData(ModelRecord* record, const plat::XMeshData& data)
{
    *record = ModelRecord{};
    record->mesh = plat::CreateMeshFromXData(data);
    if (!record->mesh)
        return 0;
    const uint32_t count = static_cast<uint32_t>(data.materials.size());
    record->materialCount = count;
    if (count > 0) { // a model without materials draws nothing but loads
        record->materials = new (std::nothrow) plat::Material[count];
        record->textures = new (std::nothrow) plat::Texture*[count];
        if (!record->materials || !record->textures) {
            delete[] record->materials;
            delete[] record->textures;
            record->materials = nullptr;
            record->textures = nullptr;
            return 0;
        }
    }
    for (uint32_t i = 0; i < count; ++i) {
        record->textures[i] = nullptr;
        record->materials[i] = MaterialFromX(data.materials[i]);
        if (data.materials[i].textureFile.empty())
            continue;
        // The archive holds material textures in the order textured materials are met,
        // model by model; the file name is not used. Past the range the material stays
        // untextured, but the count still moves on so later materials keep their blocks.
        const int textureBlock = kMaterialTextureFirstBlock + g_meshTextureCounter;
        if (textureBlock <= kMaterialTextureLastBlock)
            LoadTextureFromDataBlock(&record->textures[i], textureBlock); // failure: untextured
        ++g_meshTextureCounter;
    }
    return ComputeModelBounds(record);
}

int CreateColouredSphereModel(ModelRecord* record, uint32_t segments, float radius, uint32_t colour)
{
    *record = ModelRecord{};
    plat::Mesh* sphere = plat::CreateSphereMesh(radius, segments, segments);
    if (!sphere)
        return 0;
    if (sphere->fvf != plat::kFvfColoured) {
        plat::Mesh* clone = plat::CloneMeshToFormat(*sphere, plat::kFvfColoured);
        plat::ReleaseMesh(sphere);
        if (!clone)
            return 0;
        sphere = plat::OptimizeMeshAttributeSort(*clone);
        plat::ReleaseMesh(clone);
        if (!sphere)
            return 0;
    }
    record->mesh = sphere;
    const uint32_t stride = sphere->Stride();
    uint8_t* vertices = sphere->LockVertices();
    for (uint32_t i = 0; i < sphere->vertexCount; ++i)
        std::memcpy(vertices + static_cast<size_t>(i) * stride + 12, &colour, 4);
    return ComputeModelBounds(record);
}

int ComputeModelBounds(ModelRecord* record)
{
    for (int i = 0; i < 3; ++i)
        record->boundsMin[i] = record->boundsMax[i] = 0.0f;
    if (!record->mesh)
        return 0;
    const plat::Mesh& mesh = *record->mesh;
    const uint32_t stride = plat::VertexSizeOfFormat(mesh.fvf);
    plat::Vec3 lo, hi, centre;
    float radius = 0.0f;
    if (stride == 0 || !plat::ComputeBoundingBox(mesh.vertices.data(), mesh.vertexCount, stride, &lo, &hi) ||
        !plat::ComputeBoundingSphere(mesh.vertices.data(), mesh.vertexCount, stride, &centre, &radius))
        return 0;
    record->boundsMin[0] = lo.x;
    record->boundsMin[1] = lo.y;
    record->boundsMin[2] = lo.z;
    record->boundsMax[0] = hi.x;
    record->boundsMax[1] = hi.y;
    record->boundsMax[2] = hi.z;
    record->height = hi.y - lo.y;
    record->width = hi.x - lo.x;
    record->depth = hi.z - lo.z;
    record->radius = radius;
    return 1;
}

int LoadModelsFromData()
{
    g_meshTextureCounter = 0;
    for (int i = 0; i < kModelCount; ++i)
        g_modelTable[i] = ModelRecord{};
    for (int i = 0; i < kModelCount; ++i) {
        if (!LoadModelFromDataBlock(&g_modelTable[i], kModelFirstBlock + i)) {
            NoteStartupFailure("model %d (data.dat block %d): %s", i, kModelFirstBlock + i, s_blockError.c_str());
            return 0;
        }
    }
    for (int i = 0; i < kEffectModelCount; ++i)
        if (!CreateColouredSphereModel(&g_effectModels[i], kEffectSpheres[i].segments, kEffectSpheres[i].radius,
                                       kEffectSpheres[i].colour))
            return 0;
    return 1;
}
