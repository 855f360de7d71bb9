#include "engine/archive.h"
#include "platform/byte_order.h"

#include <cstdint>
#include <cstring>
#include <unistd.h>

#include "engine/startup_note.h"
#include "engine/task.h"
#include "platform/files.h"

uint8_t* g_dataFile = nullptr;
uint64_t g_dataFileSize = 0;

int LoadDataFile()
{
    return LoadDataFileFrom("data.dat");
}

int LoadDataFileFrom(const char* path)
{
    FreeDataFile();
    // Never blocks: a FIFO or device in the archive's place is refused at once.
    int error = 0;
    uint64_t size = 0;
    int fd = plat::OpenRegularFileForReading(path, &size, &error);
    if (fd < 0) {
        NoteStartupFailure("%s: %s", path, plat::FileErrorText(error));
        return 0;
    }
    // Shorter than the offset table: nothing in it could be found.
    if (size < kDataTableBytes) {
        NoteStartupFailure("%s: %llu bytes, shorter than its %u-byte offset table", path,
                           static_cast<unsigned long long>(size), kDataTableBytes);
        close(fd);
        return 0;
    }
    uint8_t* block = size <= SIZE_MAX ? static_cast<uint8_t*>(AllocMemory(static_cast<size_t>(size))) : nullptr;
    if (!block) {
        NoteStartupFailure("%s: no memory for its %llu bytes", path, static_cast<unsigned long long>(size));
        close(fd);
        return 0;
    }
    long got = plat::ReadUpTo(fd, block, static_cast<size_t>(size), &error);
    close(fd);
    // A short read would leave part of the archive as garbage: refuse it.
    if (got < 0 || static_cast<uint64_t>(got) != size) {
        if (got < 0)
            NoteStartupFailure("%s: %s", path, plat::FileErrorText(error));
        else
            NoteStartupFailure("%s: read %ld of its %llu bytes", path, got, static_cast<unsigned long long>(size));
        FreeMemory(block);
        return 0;
    }
    g_dataFile = block;
    g_dataFileSize = size;
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
    return FindDataBlock(index, size, nullptr);
}

const uint8_t* FindDataBlock(int index, uint32_t* size, int32_t* fault)
{
    int32_t unused = 0;
    int32_t& why = fault != nullptr ? *fault : unused;
    if (size)
        *size = 0;
    why = kNoDataBlock;
    if (!g_dataFile || index < 0 || index >= kDataBlockCount || g_dataFileSize < kDataTableBytes)
        return nullptr;
    // Every block is checked when it is asked for, not at load: entries of block
    // numbers that the game never reads may hold anything.
    uint64_t offset = plat::LoadLE32(g_dataFile + 4u * static_cast<uint32_t>(index));
    uint64_t header = static_cast<uint64_t>(kDataTableBytes) + offset; // where L lies
    why = kDataBlockOffsetOutside;
    if (header + 4u > g_dataFileSize)
        return nullptr;
    uint64_t length = plat::LoadLE32(g_dataFile + header);
    why = kDataBlockLengthOutside;
    if (length > g_dataFileSize - header - 4u)
        return nullptr;
    why = kDataBlockFound;
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
