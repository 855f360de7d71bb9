// The data archive "data.dat": 150 numbered blocks, read whole at start-up.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr int kDataBlockCount = 150;
constexpr uint32_t kDataTableBytes = 600;

extern uint8_t* g_dataFile;
extern uint64_t g_dataFileSize;

int LoadDataFile();                                          // reads "data.dat" from the working directory
int LoadDataFileFrom(const char* path);                      // the same from a given path
int LoadDataFromMemory(const uint8_t* bytes, uint64_t size); // copies an archive image
const uint8_t* GetDataBlock(int index, uint32_t* size);      // NULL and size 0 when the block is unusable
void FreeDataFile();

// Why GetDataBlock finds no block.
enum : int32_t {
    kDataBlockFound = 0,
    kNoDataBlock = 1,            // no archive loaded, or a number outside 0..149
    kDataBlockOffsetOutside = 2, // the table's entry points outside the file
    kDataBlockLengthOutside = 3, // the block's length runs past the end of the file
};
// GetDataBlock, saying in *fault (may be null) why a block is not found.
const uint8_t* FindDataBlock(int index, uint32_t* size, int32_t* fault);
