// The ten most recent finished races, newest first, kept in "save.dat".
#pragma once
#include <cstddef>
#include <cstdint>

constexpr int kHistoryEntries = 10;
constexpr int kHistoryRecordBytes = 52;
constexpr int kHistoryFileBytes = kHistoryEntries * kHistoryRecordBytes; // 520

// The calendar record of a race, in the order of the C library's tm (same field names).
// Only minutes, hours, day of the month, month (0..11) and years since 1900 are set.
struct HistoryTime {
    int32_t tm_sec;
    int32_t tm_min;
    int32_t tm_hour;
    int32_t tm_mday;
    int32_t tm_mon;
    int32_t tm_year;
    int32_t tm_wday;
    int32_t tm_yday;
    int32_t tm_isdst;
};

struct HistoryEntry {
    HistoryTime time;
    int32_t stage;          // 1..3
    int32_t playerTeam;     // 0..2
    int32_t placeTeam[3];   // team id of places 1, 2, 3
    int32_t placeLeader[3]; // leader character id of places 1, 2, 3 (as stored: may be any value)
    // The history screen's row animation; neither stored nor shifted.
    float rowX;
    float rowY;
    int32_t rowDelay;
    int32_t rowArrived;
};

extern HistoryEntry g_history[kHistoryEntries];

void LoadHistory(); // zero the history, then ReadSaveFile
// "save.dat" in the working directory; missing: the history stays as it is. A file that
// is there but cannot be read is left alone for the rest of the run (stderr says why).
void ReadSaveFile();
// Replaces "save.dat" atomically, through a symlink to its target; on failure the old
// file stays and stderr says why. Writes nothing when ReadSaveFile could not read it.
void WriteSaveFile();

// The same with a given path: the read returns 0 on success, else why it failed (an
// errno value, ENOENT for a missing file, or plat::kNotARegularFile); the write returns
// whether the file now holds the history, with why not in *error.
int ReadHistoryFile(const char* path);
bool WriteHistoryFile(const char* path, int* error = nullptr);

// The file image, field by field, little-endian.
void EncodeHistory(uint8_t out[kHistoryFileBytes]);
void DecodeHistory(const uint8_t* bytes, size_t size); // a short image leaves the rest zero
