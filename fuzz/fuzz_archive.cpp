// The data archive "data.dat": an offset table and length-prefixed blocks, all trusted bytes.
#include <cstddef>
#include <cstdint>

#include "engine/archive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!LoadDataFromMemory(data, size)) return 0;
    volatile uint8_t sink = 0;
    // Every index the loaders may ask for, and the ones just outside the table.
    for (int index = -1; index <= kDataBlockCount; ++index) {
        uint32_t blockSize = 12345;
        const uint8_t* block = GetDataBlock(index, &blockSize);
        if (!block) {
            if (blockSize != 0) __builtin_trap();
            continue;
        }
        if (index < 0 || index >= kDataBlockCount) __builtin_trap();
        if (block < g_dataFile || block + blockSize > g_dataFile + g_dataFileSize) __builtin_trap();
        // Touch each byte so that the sanitizer checks the whole range a loader would read.
        for (uint32_t i = 0; i < blockSize; ++i) sink = sink ^ block[i];
    }
    FreeDataFile();
    if (g_dataFile != nullptr) __builtin_trap();
    return 0;
}
