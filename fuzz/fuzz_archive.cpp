// The data archive "data.dat": an offset table and length-prefixed blocks, all bytes from
// outside. The target loads an archive image and checks every block lookup: a block is
// either refused with size 0 or lies wholly inside the archive. The loaders that read the
// blocks have their own target (fuzz_loaders).
#include <cstddef>
#include <cstdint>

#include "engine/archive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!LoadDataFromMemory(data, size))
        return 0;
    // Every index the loaders may ask for, and the ones just outside the table.
    for (int index = -1; index <= kDataBlockCount; ++index) {
        uint32_t blockSize = 12345;
        const uint8_t* block = GetDataBlock(index, &blockSize);
        if (!block) {
            if (blockSize != 0)
                __builtin_trap();
            continue;
        }
        if (index < 0 || index >= kDataBlockCount)
            __builtin_trap();
        // The whole range a loader may read lies inside the archive.
        if (block < g_dataFile || block + blockSize > g_dataFile + g_dataFileSize)
            __builtin_trap();
    }
    FreeDataFile();
    if (g_dataFile != nullptr)
        __builtin_trap();
    return 0;
}
