// The 25 character models: rows 0-17 three teams of six, rows 18-24 the monsters.
// Every model stands with its feet at y = 0, faces -z (the world-matrix builder turns
// -z toward the facing) and fits on one 2-unit board cell.
#pragma once
#include "mesh.h"

namespace modelgen {

constexpr int kModelCount = 25;
extern const char* const kModelAssetNames[kModelCount];

Mesh BuildModel(int row);

} // namespace modelgen
