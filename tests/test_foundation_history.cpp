// The race history file: its byte layout, damaged files, and never losing it on a bad write.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <set>
#include <sys/stat.h>
#include <tuple>
#include <vector>

#include "persist/history.h"
#include "platform/files.h"
#include "test_support.h"

using test_support::TempDir;

namespace {

using test_support::ReadFileBytes;
using test_support::WriteFileBytes;

int32_t LittleI32(const std::vector<uint8_t>& b, size_t at) { return static_cast<int32_t>(test_support::GetU32(b, at)); }

void FillEntry(HistoryEntry& e, int seed)
{
    e.time.tm_year = 126 + seed;
    e.time.tm_mon = seed % 12;
    e.time.tm_mday = 1 + seed;
    e.time.tm_hour = 9 + seed;
    e.time.tm_min = 5 + seed;
    e.stage = 1 + seed % 3;
    e.playerTeam = seed % 3;
    for (int p = 0; p < 3; ++p) {
        e.placeTeam[p] = (seed + p) % 3;
        e.placeLeader[p] = seed * 3 + p;
    }
}

class FoundationHistory : public ::testing::Test {
protected:
    void SetUp() override { std::memset(static_cast<void*>(g_history), 0, sizeof(g_history)); }
    TempDir dir;
};

TEST_F(FoundationHistory, FileLayoutIsFieldByFieldLittleEndian)
{
    FillEntry(g_history[0], 0);
    FillEntry(g_history[9], 9);
    g_history[9].placeLeader[2] = -2; // any stored value survives a round trip
    g_history[0].rowX = 23.0f;        // row animation is never stored
    g_history[0].time.tm_sec = 59;    // nor are the seconds
    std::string path = dir / "save.dat";
    ASSERT_TRUE(WriteHistoryFile(path.c_str()));

    std::vector<uint8_t> bytes = ReadFileBytes(path);
    ASSERT_EQ(bytes.size(), 520u);
    // Years since 1900, month, day, hour, minute, stage, player's team, place 2's team, place 3's leader.
    std::vector<int32_t> first;
    for (size_t at : {0, 4, 8, 12, 16, 20, 24, 28 + 4, 40 + 8}) first.push_back(LittleI32(bytes, at));
    EXPECT_EQ(first, (std::vector<int32_t>{126, 0, 1, 9, 5, 1, 0, 1, 2}));
    for (size_t i = 52; i < 52 * 9; ++i)
        ASSERT_EQ(bytes[i], 0) << i; // empty entries are all-zero records
    EXPECT_EQ(LittleI32(bytes, 52 * 9 + 48), -2);

    // Reading it back and writing again gives the same bytes; unstored fields come back 0.
    std::memset(static_cast<void*>(g_history), 0, sizeof(g_history)); // what start-up does: clear, then read
    ReadHistoryFile(path.c_str());
    uint8_t again[kHistoryFileBytes];
    EncodeHistory(again);
    EXPECT_EQ(std::vector<uint8_t>(again, again + sizeof(again)), bytes);
    EXPECT_EQ(g_history[0].time.tm_sec, 0);
}

TEST_F(FoundationHistory, ShortAndOversizedFilesLoadWhatTheyHold)
{
    for (int i = 0; i < kHistoryEntries; ++i)
        FillEntry(g_history[i], i);
    std::string full = dir / "full.dat";
    ASSERT_TRUE(WriteHistoryFile(full.c_str()));
    std::vector<uint8_t> bytes = ReadFileBytes(full);
    // Start-up clears the history, then reads the file over it.
    const auto readBack = [&](const std::vector<uint8_t>& file) {
        WriteFileBytes(dir / "other.dat", file);
        std::memset(static_cast<void*>(g_history), 0, sizeof(g_history));
        ReadHistoryFile((dir / "other.dat").c_str());
    };

    // Two and a half records: the third keeps the fields it has, the rest are empty.
    readBack(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 52 * 2 + 22));
    // Record 2's stage is half there: its low bytes.
    EXPECT_EQ((std::vector<int32_t>{g_history[1].placeLeader[2], g_history[2].time.tm_min, g_history[2].stage,
                                    g_history[2].playerTeam}),
              (std::vector<int32_t>{5, 7, 3 & 0xFFFF, 0}));
    for (int i = 3; i < kHistoryEntries; ++i)
        EXPECT_EQ(g_history[i].time.tm_year, 0) << i;

    // Trailing bytes past the ten records are ignored.
    bytes.resize(2000, 0xAB);
    readBack(bytes);
    EXPECT_EQ(g_history[9].placeLeader[2], 29);
}

TEST_F(FoundationHistory, MissingFileLeavesAnEmptyHistory)
{
    FillEntry(g_history[3], 3);
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof(cwd)), nullptr);
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    LoadHistory(); // no save.dat here
    ASSERT_EQ(chdir(cwd), 0);
    for (int i = 0; i < kHistoryEntries; ++i)
        EXPECT_EQ(g_history[i].time.tm_year, 0);
}

TEST_F(FoundationHistory, AFailedWriteKeepsTheOldFile)
{
    FillEntry(g_history[0], 4);
    std::string path = dir / "save.dat";
    ASSERT_TRUE(WriteHistoryFile(path.c_str()));
    std::vector<uint8_t> old = ReadFileBytes(path);

    // A directory stands where the file was: it is not replaced, and says why.
    std::string taken = dir / "taken.dat";
    ASSERT_EQ(mkdir(taken.c_str(), 0755), 0);
    int error = 0;
    EXPECT_FALSE(WriteHistoryFile(taken.c_str(), &error));
    EXPECT_EQ(error, plat::kNotARegularFile);
    struct stat st;
    ASSERT_EQ(stat(taken.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));

    // A path in a directory that does not exist fails cleanly.
    EXPECT_FALSE(WriteHistoryFile((dir / "missing/save.dat").c_str(), &error));
    EXPECT_EQ(error, ENOENT);
    EXPECT_EQ(ReadFileBytes(path), old);

    // Nothing was left beside them.
    EXPECT_EQ(test_support::Listing(dir.path()), (std::set<std::string>{"save.dat", "taken.dat"}));
}

} // namespace
