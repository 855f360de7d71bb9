// The data archive: good archives load, damaged ones are refused block by block.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/archive.h"
#include "test_support.h"

namespace {

using namespace test_support;

Bytes Text(const char* text)
{
    return Bytes(text, text + std::strlen(text));
}

// A block's bytes as text; "<none>" when refused (its size then 0).
std::string BlockText(int index)
{
    uint32_t size = 12345;
    const uint8_t* data = GetDataBlock(index, &size);
    if (!data)
        return size == 0 ? "<none>" : "<none but size set>";
    return std::string(reinterpret_cast<const char*>(data), size);
}

class DataArchive : public ::testing::Test {
protected:
    void TearDown() override { FreeDataFile(); }
    std::string WriteTemp(const Bytes& image)
    {
        WriteFileBytes(dir_ / std::to_string(++temps_), image);
        return dir_ / std::to_string(temps_);
    }
    TempDir dir_;
    int temps_ = 0;
};

TEST_F(DataArchive, BlocksInAnyOrderLoadAndAnEmptyLastBlockIsStillABlock)
{
    const char* names[3] = {"atlas", "font", "board"};
    Bytes shuffled, tail(600, 0);
    for (int i : {2, 0, 1})
        AddBlock(shuffled, i, Text(names[i]));
    ASSERT_EQ(LoadDataFileFrom(WriteTemp(shuffled).c_str()), 1);
    EXPECT_EQ(g_dataFileSize, shuffled.size());
    for (int i : {0, 1, 2})
        EXPECT_EQ(BlockText(i), names[i]);
    AddBlock(tail, 149, {});
    ASSERT_EQ(LoadDataFromMemory(tail.data(), tail.size()), 1);
    EXPECT_EQ(BlockText(149), "");
}

TEST_F(DataArchive, BlocksOutsideTheFileAreRefused)
{
    Bytes image;
    AddBlock(image, 0, Text("good"));
    AddBlock(image, 6, Text("x"));
    PutU32(image, image.size() - 5, 0xFFFFFFFFu); // block 6: length near 2^32
    AddBlock(image, 5, Text("ok"));
    PutU32(image, image.size() - 6, 3); // block 5 claims 3 bytes, 2 remain
    const uint32_t end = static_cast<uint32_t>(image.size() - 600);
    PutU32(image, 4 * 1, end);         // length field past the end
    PutU32(image, 4 * 2, end - 2);     // length field straddles the end
    PutU32(image, 4 * 3, 0xFFFFFFFFu); // offset near 2^32
    PutU32(image, 4 * 4, 0xFFFFFFFCu); // 600 + offset wraps a 32-bit sum
    ASSERT_EQ(LoadDataFromMemory(image.data(), image.size()), 1);
    EXPECT_EQ(BlockText(0), "good");
    for (int index : {1, 2, 3, 4, 5, 6, -1, 150, 1000})
        EXPECT_EQ(BlockText(index), "<none>") << "block " << index;

    // Block 150 would take its entry from the first four bytes after the table: here the
    // length 8 of block 0, an offset that leads to an empty block. It is still refused.
    Bytes past;
    AddBlock(past, 0, {'z', 'e', 'r', 'o', 0, 0, 0, 0});
    ASSERT_EQ(LoadDataFromMemory(past.data(), past.size()), 1);
    EXPECT_EQ(std::make_pair(BlockText(0), BlockText(150)),
              std::make_pair(std::string("zero\0\0\0\0", 8), std::string("<none>")));
}

TEST_F(DataArchive, ShortMissingOrFailedLoadsLeaveNoArchive)
{
    EXPECT_EQ(BlockText(0), "<none>"); // nothing loaded
    const Bytes table(600, 0);         // a table alone is a valid (empty) archive whose blocks are all unusable
    ASSERT_EQ(LoadDataFromMemory(table.data(), table.size()), 1);
    EXPECT_EQ(BlockText(0), "<none>");
    Bytes old;
    AddBlock(old, 7, Text("old"));
    for (const std::string& path : {WriteTemp({0}), WriteTemp({}), std::string("/nonexistent/data.dat"), dir_.path()}) {
        ASSERT_EQ(LoadDataFromMemory(old.data(), old.size()), 1);
        EXPECT_EQ(LoadDataFileFrom(path.c_str()), 0) << path;
        EXPECT_TRUE(g_dataFile == nullptr && g_dataFileSize == 0u && BlockText(7) == "<none>")
            << path << ": a failed load leaves no archive behind rather than a stale one";
    }
    FreeDataFile(); // twice is harmless
    EXPECT_EQ(g_dataFile, nullptr);
}

} // namespace
