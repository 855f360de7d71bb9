// The fuzz seeds are small valid files of every kind the game reads from outside. A seed
// that the game refuses gives the fuzzer nothing to mutate from, and a seed that loads
// wrongly is a parser fault: each kind is checked here through the game's own readers.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/headless.h"
#include "engine/assets.h"
#include "engine/graphics.h"
#include "engine/wave.h"
#include "platform/gfx_device.h"
#include "platform/image_codec.h"
#include "platform/xfile.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> ReadAll(const fs::path& path) { return test_support::ReadFileBytes(path.string()); }

std::vector<fs::path> Seeds(const char* target)
{
    std::vector<fs::path> files;
    const fs::path dir = fs::path(SUGOROKU_SOURCE_DIR) / "fuzz" / "corpus" / target;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

// Seeds stay small so that the fuzzer mutates quickly and the repository stays light.
TEST(QualityCorpus, EveryTargetHasSmallSeeds)
{
    for (const char* target : {"archive", "wave", "image", "xfile", "history"}) {
        const auto seeds = Seeds(target);
        EXPECT_FALSE(seeds.empty()) << target;
        for (const auto& seed : seeds) EXPECT_LE(fs::file_size(seed), 4096u) << seed;
    }
}

// Image seeds are named <kind>_<width>x<height>; all decode at their stored size.
TEST(QualityCorpus, ImageSeedsDecodeAtTheirSize)
{
    for (const auto& seed : Seeds("image")) {
        const std::string name = seed.stem().string();
        const auto bytes = ReadAll(seed);
        plat::Image image;
        std::string error;
        ASSERT_TRUE(plat::DecodeImage(bytes.data(), bytes.size(), image, true, &error)) << name << ": " << error;
        unsigned w = 0, h = 0;
        if (std::sscanf(name.substr(name.rfind('_') + 1).c_str(), "%ux%u", &w, &h) == 2) {
            EXPECT_EQ(image.imageWidth, w) << name;
            EXPECT_EQ(image.imageHeight, h) << name;
        }
        EXPECT_EQ(image.pixels.size(), size_t(image.width) * image.height) << name;
    }
}

TEST(QualityCorpus, MeshSeedsParseAndLoadAsModels)
{
    plat::GfxDevice* saved = g_d3dDevice;
    g_d3dDevice = plat::CreateRecordingDevice();
    for (const auto& seed : Seeds("xfile")) {
        const auto bytes = ReadAll(seed);
        plat::XMeshData mesh;
        std::string error;
        ASSERT_TRUE(plat::ParseXFile(bytes.data(), bytes.size(), mesh, &error)) << seed << ": " << error;
        EXPECT_FALSE(mesh.indices.empty()) << seed;
        ModelRecord model{};
        EXPECT_EQ(LoadModelFromMeshData(&model, mesh), 1) << seed;
        EXPECT_GT(model.radius, 0.0f) << seed;
        ReleaseModelRecord(&model);
    }
    delete g_d3dDevice;
    g_d3dDevice = saved;
}

TEST(QualityCorpus, WaveSeedsGiveTheirFormatAndSamples)
{
    for (const auto& seed : Seeds("wave")) {
        const auto bytes = ReadAll(seed);
        WaveFormat format{};
        const uint8_t* samples = nullptr;
        uint32_t sampleBytes = 0;
        ASSERT_EQ(FindWaveChunks(bytes.data(), uint32_t(bytes.size()), &format, &samples, &sampleBytes), 1) << seed;
        EXPECT_EQ(format.formatTag, kWaveFormatPcm);
        EXPECT_GE(samples, bytes.data());
        EXPECT_LE(samples + sampleBytes, bytes.data() + bytes.size());
    }
}

// The smallest archive that starts the game: every image block shares one 5 x 3 bitmap,
// every model one quad, every sound one short wave. Blocks may share their bytes.
TEST(QualityCorpus, ArchiveOfSharedBlocksStartsTheGame)
{
    test_support::TempDir dir;
    fs::copy_file(fs::path(SUGOROKU_SOURCE_DIR) / "fuzz/corpus/archive/shared_blocks_full.dat", dir / "data.dat");
    EXPECT_EQ(HeadlessStart(dir.path().c_str()), 1) << HeadlessLastMessage();
    HeadlessRunFrames(3);
    EXPECT_EQ(HeadlessIsRunning(), 1);
    HeadlessStop();
}

} // namespace
