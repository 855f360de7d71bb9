// Textures and models loaded from the data archive; tables are fetched at each use
// because a device rebuild replaces them.
#pragma once
#include <cstdint>

namespace plat {
struct Texture;
struct Mesh;
} // namespace plat

constexpr int kBoardTextureCount = 32;
constexpr int kModelCount = 25;
constexpr int kEffectModelCount = 3;

extern plat::Texture* g_uiAtlas;                      // block 0, 2048 x 2048
extern plat::Texture* g_fontTexture;                  // block 1, 1024 x 1024
extern plat::Texture* g_textures[kBoardTextureCount]; // blocks 2..33
extern int32_t g_meshTextureCounter;

int LoadTexturesFromData();
int LoadModelsFromData();

namespace plat {
struct Material;
}

// One loaded model: its mesh, one material and one texture per subset, and its bounds.
struct ModelRecord {
    plat::Mesh* mesh;          // NULL when not loaded
    uint32_t materialCount;    // materials, and subsets drawn
    plat::Material* materials; // materialCount entries, owned
    plat::Texture** textures;  // materialCount entries, owned; NULL where untextured
    float boundsMin[3];
    float boundsMax[3];
    float height; // boundsMax y - boundsMin y
    float width;  // x extent
    float depth;  // z extent
    float radius; // of the vertices' enclosing sphere
};

extern ModelRecord g_modelTable[kModelCount];         // model i from block 101 + i
extern ModelRecord g_effectModels[kEffectModelCount]; // coloured spheres for battle effects

// The model of a character row, or NULL for a number outside 0..24 (the draw
// operations skip NULL), so that a bad number from a file or script is never used.
ModelRecord* ModelById(int32_t id);

constexpr int kAtlasBlock = 0;
constexpr int kFontBlock = 1;
constexpr int kBoardTextureFirstBlock = 2;
constexpr int kMaterialTextureFirstBlock = 34;
constexpr int kMaterialTextureLastBlock = 100;
constexpr int kModelFirstBlock = 101;

int LoadTextureFromDataBlock(plat::Texture** out, int block);
int LoadModelFromDataBlock(ModelRecord* record, int block);
namespace plat {
struct XMeshData;
}
int LoadModelFromMeshData(ModelRecord* record, const plat::XMeshData& data); // the part after reading the file
int CreateColouredSphereModel(ModelRecord* record, uint32_t segments, float radius, uint32_t colour);
int ComputeModelBounds(ModelRecord* record);
void ReleaseModelRecord(ModelRecord* record); // frees everything of the record and zeroes it
