// Textures and models loaded from the data archive; tables are fetched at each use
// because a device rebuild replaces them.
#pragma once
#include <cstdint>

namespace plat { struct Texture; struct Mesh; }

constexpr int kBoardTextureCount = 32;
constexpr int kModelCount = 25;
constexpr int kEffectModelCount = 3;

extern plat::Texture* g_uiAtlas;     // block 0, 2048 x 2048
extern plat::Texture* g_fontTexture; // block 1, 1024 x 1024
extern plat::Texture* g_textures[kBoardTextureCount]; // blocks 2..33
extern int32_t g_meshTextureCounter;

int LoadTexturesFromData();
int LoadModelsFromData();
