// Building and checking "data.dat": a 600-byte table of 150 u32 offsets counted from
// byte 600, then each block as a u32 length and its bytes. Archives are read back with
// the game's own reader (engine/archive.h).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "engine/archive.h"

namespace packdata {

struct ManifestEntry {
    int block = 0;
    std::string path; // relative to the content directory
    int line = 0;
};

// Reads "block path" lines ('#' starts a comment). Refuses block numbers outside
// 0..149, a block named twice and malformed lines.
bool ReadManifest(const std::string& manifestPath, std::vector<ManifestEntry>& out, std::string& error);

// Lays the blocks out in block order. Blocks the manifest leaves out all point at one
// shared empty block at the end, so even a reader that follows them finds a valid
// length (0) inside the file. Refuses a file that cannot be read.
bool BuildArchive(const std::vector<ManifestEntry>& entries, const std::string& contentDir, std::vector<uint8_t>& out,
                  std::string& error);

enum class BlockKind { Missing, Empty, Bmp, Png, Jpeg, XModel, Wave, Unknown };
const char* KindName(BlockKind kind);

struct BlockReport {
    int block = 0;
    BlockKind kind = BlockKind::Missing;
    uint32_t size = 0;
    bool ok = false;
    std::string detail; // dimensions, counts or what is wrong
};

// Checks every block of the loaded archive (LoadDataFileFrom): that the game finds it
// inside the file, that it is the kind of data its number calls for and that it
// decodes. Returns false when anything is wrong.
bool CheckArchive(std::vector<BlockReport>& reports, std::string& error);

// Writes one block of the loaded archive as a file a person can open: an image block
// as a PNG of the picture (its own size, colours as stored), a sound block as the wave
// file it holds. The output's extension must fit the block (.png or .wav); nothing is
// written on failure.
bool ExtractBlock(int block, const std::string& outPath, std::string& error);

} // namespace packdata
