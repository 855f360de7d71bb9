// The data archive "data.dat": an offset table and length-prefixed blocks, all bytes from
// outside. The target loads an archive image, checks every block lookup, then runs the
// start-up loaders over it (sounds, textures, models) on the silent and recording back
// ends, as the game does at start-up and at every device rebuild.
#include <cstddef>
#include <cstdint>

#include "engine/archive.h"
#include "engine/graphics.h"
#include "engine/sound.h"
#include "platform/backends.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    plat::SelectGfxBackend(plat::GfxBackend::Recording);
    plat::SelectAudioBackend(plat::AudioBackend::Silent);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!LoadDataFromMemory(data, size)) return 0;
    // Every index the loaders may ask for, and the ones just outside the table.
    for (int index = -1; index <= kDataBlockCount; ++index) {
        uint32_t blockSize = 12345;
        const uint8_t* block = GetDataBlock(index, &blockSize);
        if (!block) {
            if (blockSize != 0) __builtin_trap();
            continue;
        }
        if (index < 0 || index >= kDataBlockCount) __builtin_trap();
        // The whole range a loader may read lies inside the archive.
        if (block < g_dataFile || block + blockSize > g_dataFile + g_dataFileSize) __builtin_trap();
    }

    if (InitSound(nullptr)) {
        ReleaseSound();
        if (InitGraphics(nullptr)) {
            // The rebuild after a lost device or a display change reloads from memory.
            ReleaseGraphics();
            InitGraphics(nullptr);
        }
        ReleaseGraphics();
    }
    ReleaseSound();
    FreeDataFile();
    if (g_dataFile != nullptr) __builtin_trap();
    return 0;
}
