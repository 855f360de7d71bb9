// Reading the stage sources under content/stages (a text map and a script file per
// stage) and laying them out as the game's two packs, "mappack.dat" and "epack.dat".
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace stagepack {

constexpr int kStages = 3;
constexpr int kLayers = 5; // in file order: square, route, back-move, event, enemy-move

struct StageSource {
    int width = 0;
    int height = 0;
    // Layers in file order, width x height bytes each, row-major.
    std::vector<uint8_t> layers[kLayers];
    std::string script; // CP932, as the game reads it (before the inversion)
};

// Reads "stageN.map" (see content/stages/README.md). Refuses a size outside 1..100,
// grids of the wrong shape, unknown cell characters, and start or goal lines that
// name a cell off the board. error says the file, line and what is wrong.
bool ReadStageMap(const std::string& path, StageSource& stage, std::string& error);

// Reads "stageN.txt" (UTF-8) into CP932. Refuses characters that CP932 lacks, a text
// over 16,000 bytes, and double-byte characters whose second byte is '@' outside a
// comment (the game would end the event in the middle of them).
bool ReadStageScript(const std::string& path, StageSource& stage, std::string& error);

// Reads the three stages from a source directory.
bool ReadStageSources(const std::string& dir, StageSource (&stages)[kStages], std::string& error);

// The two packs: a table of three u32 entry offsets counted from byte 12, then the
// entries. Map entry: W, H, two reserved words, the five layers. Script entry: the text
// length and the text with every byte inverted.
std::vector<uint8_t> BuildMapPack(const StageSource (&stages)[kStages]);
std::vector<uint8_t> BuildEventPack(const StageSource (&stages)[kStages]);

} // namespace stagepack
