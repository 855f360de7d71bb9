#include "engine/archive.h"
#include "platform/byte_order.h"

#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include "engine/task.h"

uint8_t* g_dataFile = nullptr;
uint64_t g_dataFileSize = 0;

int LoadDataFile()
{
    return LoadDataFileFrom("data.dat");
}

int LoadDataFileFrom(const char* path)
{
    FreeDataFile();
    std::FILE* file = std::fopen(path, "rb");
    if (!file)
        return 0;
    // Only a regular file has a size to read (a directory or a device opens as well).
    struct stat info;
    if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) {
        std::fclose(file);
        return 0;
    }
    long size = -1;
    if (std::fseek(file, 0, SEEK_END) == 0)
        size = std::ftell(file);
    if (size < 0 || std::fseek(file, 0, SEEK_SET) != 0) {
        std::fclose(file);
        return 0;
    }
    // Shorter than the offset table: nothing in it could be found.
    if (static_cast<uint64_t>(size) < kDataTableBytes) {
        std::fclose(file);
        return 0;
    }
    uint8_t* block = static_cast<uint8_t*>(AllocMemory(static_cast<size_t>(size)));
    if (!block) {
        std::fclose(file);
        return 0;
    }
    size_t got = std::fread(block, 1, static_cast<size_t>(size), file);
    std::fclose(file);
    // A short read would leave part of the archive as garbage: refuse it.
    if (got != static_cast<size_t>(size)) {
        FreeMemory(block);
        return 0;
    }
    g_dataFile = block;
    g_dataFileSize = static_cast<uint64_t>(size);
    return 1;
}

int LoadDataFromMemory(const uint8_t* bytes, uint64_t size)
{
    FreeDataFile();
    if (!bytes || size < kDataTableBytes || size > SIZE_MAX)
        return 0;
    uint8_t* block = static_cast<uint8_t*>(AllocMemory(static_cast<size_t>(size)));
    if (!block)
        return 0;
    std::memcpy(block, bytes, static_cast<size_t>(size));
    g_dataFile = block;
    g_dataFileSize = size;
    return 1;
}

const uint8_t* GetDataBlock(int index, uint32_t* size)
{
    if (size)
        *size = 0;
    if (!g_dataFile || index < 0 || index >= kDataBlockCount || g_dataFileSize < kDataTableBytes)
        return nullptr;
    // Every block is checked when it is asked for, not at load: entries of block
    // numbers that the game never reads may hold anything.
    uint64_t offset = plat::LoadLE32(g_dataFile + 4u * static_cast<uint32_t>(index));
    uint64_t header = static_cast<uint64_t>(kDataTableBytes) + offset; // where L lies
    if (header + 4u > g_dataFileSize)
        return nullptr;
    uint64_t length = plat::LoadLE32(g_dataFile + header);
    if (length > g_dataFileSize - header - 4u)
        return nullptr;
    if (size)
        *size = static_cast<uint32_t>(length);
    return g_dataFile + header + 4u;
}

void FreeDataFile()
{
    FreeMemory(g_dataFile);
    g_dataFile = nullptr;
    g_dataFileSize = 0;
}
