#include "persist/history.h"

#include <cstring>

#include "platform/files.h"
#include "platform/byte_order.h"

HistoryEntry g_history[kHistoryEntries];

static void PutI32(uint8_t* at, int32_t value) { plat::StoreLE32(at, static_cast<uint32_t>(value)); }

static int32_t GetI32(const uint8_t* at) { return static_cast<int32_t>(plat::LoadLE32(at)); }

void EncodeHistory(uint8_t out[kHistoryFileBytes])
{
    for (int i = 0; i < kHistoryEntries; ++i) {
        const HistoryEntry& e = g_history[i];
        uint8_t* r = out + kHistoryRecordBytes * i;
        PutI32(r + 0, e.time.tm_year);
        PutI32(r + 4, e.time.tm_mon);
        PutI32(r + 8, e.time.tm_mday);
        PutI32(r + 12, e.time.tm_hour);
        PutI32(r + 16, e.time.tm_min);
        PutI32(r + 20, e.stage);
        PutI32(r + 24, e.playerTeam);
        for (int p = 0; p < 3; ++p) {
            PutI32(r + 28 + 4 * p, e.placeTeam[p]);
            PutI32(r + 40 + 4 * p, e.placeLeader[p]);
        }
    }
}

void DecodeHistory(const uint8_t* bytes, size_t size)
{
    // Work on a zeroed full-size image so that a short file never reads past its end and
    // leaves what it does not hold as empty entries.
    uint8_t image[kHistoryFileBytes] = {};
    if (bytes)
        std::memcpy(image, bytes, size < sizeof(image) ? size : sizeof(image));
    for (int i = 0; i < kHistoryEntries; ++i) {
        HistoryEntry& e = g_history[i];
        const uint8_t* r = image + kHistoryRecordBytes * i;
        e.time.tm_year = GetI32(r + 0);
        e.time.tm_mon = GetI32(r + 4);
        e.time.tm_mday = GetI32(r + 8);
        e.time.tm_hour = GetI32(r + 12);
        e.time.tm_min = GetI32(r + 16);
        e.stage = GetI32(r + 20);
        e.playerTeam = GetI32(r + 24);
        for (int p = 0; p < 3; ++p) {
            e.placeTeam[p] = GetI32(r + 28 + 4 * p);
            e.placeLeader[p] = GetI32(r + 40 + 4 * p);
        }
    }
}

void LoadHistory()
{
    std::memset(static_cast<void*>(g_history), 0, sizeof(g_history));
    ReadSaveFile();
}

void ReadHistoryFile(const char* path)
{
    uint8_t image[kHistoryFileBytes];
    long got = plat::ReadFilePrefix(path, image, sizeof(image));
    if (got < 0)
        return; // no file: the history stays empty
    DecodeHistory(image, static_cast<size_t>(got));
}

bool WriteHistoryFile(const char* path)
{
    uint8_t image[kHistoryFileBytes];
    EncodeHistory(image);
    return plat::WriteFileAtomically(path, image, sizeof(image));
}

void ReadSaveFile()
{
    ReadHistoryFile("save.dat");
}

void WriteSaveFile()
{
    WriteHistoryFile("save.dat"); // a failure keeps the previous file; there is no one to tell
}
