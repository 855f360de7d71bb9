// The race history file: its byte layout, and short or oversized files.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "persist/history.h"
#include "test_support.h"

namespace {

using test_support::ReadFileBytes;

int32_t LittleI32(const std::vector<uint8_t>& b, size_t at)
{
    return static_cast<int32_t>(test_support::GetU32(b, at));
}

void FillEntry(HistoryEntry& e, int seed)
{
    e = {{0, 5 + seed, 9 + seed, 1 + seed, seed % 12, 126 + seed, 0, 0, 0},
         1 + seed % 3,
         seed % 3,
         {seed % 3, (seed + 1) % 3, (seed + 2) % 3},
         {seed * 3, seed * 3 + 1, seed * 3 + 2},
         0,
         0,
         0,
         0};
}

// Start-up clears the history, then reads the file over it.
void ReadBack(const std::string& path)
{
    std::memset(static_cast<void*>(g_history), 0, sizeof(g_history));
    ReadHistoryFile(path.c_str());
}

class HistoryFile : public ::testing::Test {
protected:
    void SetUp() override { std::memset(static_cast<void*>(g_history), 0, sizeof(g_history)); }
    test_support::TempDir dir;
};

TEST_F(HistoryFile, FileLayoutIsFieldByFieldLittleEndianAndReadsBackTheSame)
{
    FillEntry(g_history[0], 0);
    FillEntry(g_history[9], 9);
    g_history[9].placeLeader[2] = -2; // any stored value survives a round trip
    g_history[0].rowX = 23.0f;        // row animation is never stored
    g_history[0].time.tm_sec = 59;    // nor are the seconds
    const std::string path = dir / "save.dat";
    ASSERT_TRUE(WriteHistoryFile(path.c_str()));

    const std::vector<uint8_t> bytes = ReadFileBytes(path);
    ASSERT_EQ(bytes.size(), 520u);
    // Years since 1900, month, day, hour, minute, stage, player's team, place 2's team, place 3's leader.
    std::vector<int32_t> first;
    for (size_t at : {0, 4, 8, 12, 16, 20, 24, 28 + 4, 40 + 8})
        first.push_back(LittleI32(bytes, at));
    EXPECT_EQ(first, (std::vector<int32_t>{126, 0, 1, 9, 5, 1, 0, 1, 2}));
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 52, bytes.begin() + 52 * 9), std::vector<uint8_t>(52 * 8, 0))
        << "empty entries are all-zero records";
    EXPECT_EQ(LittleI32(bytes, 52 * 9 + 48), -2);

    ReadBack(path);
    uint8_t again[520];
    EncodeHistory(again);
    EXPECT_EQ(std::vector<uint8_t>(again, again + sizeof(again)), bytes);
    EXPECT_EQ(g_history[0].time.tm_sec, 0);
}

TEST_F(HistoryFile, ShortAndOversizedFilesLoadWhatTheyHold)
{
    for (int i = 0; i < 10; ++i)
        FillEntry(g_history[i], i);
    const std::string path = dir / "save.dat";
    ASSERT_TRUE(WriteHistoryFile(path.c_str()));
    std::vector<uint8_t> bytes = ReadFileBytes(path);

    // Two and a half records: the third keeps the fields it has (its stage only the low
    // half), the rest are empty.
    test_support::WriteFileBytes(path, std::vector<uint8_t>(bytes.begin(), bytes.begin() + 52 * 2 + 22));
    ReadBack(path);
    EXPECT_EQ((std::vector<int32_t>{g_history[1].placeLeader[2], g_history[2].time.tm_min, g_history[2].stage,
                                    g_history[2].playerTeam, g_history[3].time.tm_year, g_history[9].time.tm_year}),
              (std::vector<int32_t>{5, 7, 3 & 0xFFFF, 0, 0, 0}));
    // Trailing bytes past the ten records are ignored.
    bytes.resize(2000, 0xAB);
    test_support::WriteFileBytes(path, bytes);
    ReadBack(path);
    EXPECT_EQ(g_history[9].placeLeader[2], 29);
}

} // namespace
