#include "persist/history.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/byte_order.h"
#include "platform/files.h"

HistoryEntry g_history[kHistoryEntries];

static void PutI32(uint8_t* at, int32_t value)
{
    plat::StoreLE32(at, static_cast<uint32_t>(value));
}

static int32_t GetI32(const uint8_t* at)
{
    return static_cast<int32_t>(plat::LoadLE32(at));
}

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

int ReadHistoryFile(const char* path)
{
    uint8_t image[kHistoryFileBytes];
    int error = 0;
    long got = plat::ReadFilePrefix(path, image, sizeof(image), &error);
    if (got < 0)
        return error != 0 ? error : EIO;
    DecodeHistory(image, static_cast<size_t>(got));
    return 0;
}

bool WriteHistoryFile(const char* path, int* error)
{
    uint8_t image[kHistoryFileBytes];
    EncodeHistory(image);
    return plat::WriteFileAtomically(path, image, sizeof(image), error);
}

// Set when "save.dat" was there at start but could not be read: writing the history of
// this run over it would throw away every race it holds.
static bool s_saveFileUnread = false;

void ReadSaveFile()
{
    s_saveFileUnread = false;
    int error = ReadHistoryFile("save.dat");
    if (error == 0 || error == ENOENT)
        return; // read, or no races yet
    s_saveFileUnread = true;
    std::fprintf(stderr, "save.dat: the race history was not read: %s\n", plat::FileErrorText(error));
}

void WriteSaveFile()
{
    if (s_saveFileUnread) {
        std::fprintf(stderr, "save.dat: the race history was not written: the file could not be read at start, "
                             "and writing over it would lose the races it holds\n");
        return;
    }
    int error = 0;
    if (!WriteHistoryFile("save.dat", &error))
        std::fprintf(stderr, "save.dat: the race history was not written: %s; the previous file is kept\n",
                     plat::FileErrorText(error));
}
