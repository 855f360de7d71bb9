// The fuzz seeds are small valid files of every kind the game reads from outside. A seed
// that the game refuses gives the fuzzer nothing to mutate from, and a seed that loads
// wrongly is a parser fault: each kind is checked here through the game's own readers.
#include <gtest/gtest.h>

#include <cstdio>

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
const fs::path kCorpus = fs::path(SUGOROKU_SOURCE_DIR) / "fuzz" / "corpus";

// Seeds stay small so that the fuzzer mutates quickly and the repository stays light.
// Image seeds are named <kind>_<width>x<height> and decode at that size.
TEST(FuzzSeeds, EverySeedIsSmallAndLoadsThroughTheGamesReaders)
{
    struct Restore {
        plat::GfxDevice* saved = g_d3dDevice;
        ~Restore() { delete g_d3dDevice, g_d3dDevice = saved; }
    } restore;
    g_d3dDevice = plat::CreateRecordingDevice();
    for (const std::string target : {"archive", "wave", "image", "xfile", "history"}) {
        int seeds = 0;
        for (const auto& entry : fs::directory_iterator(kCorpus / target)) {
            const std::string name = entry.path().filename().string();
            SCOPED_TRACE(target + "/" + name);
            EXPECT_LE(entry.file_size(), 4096u);
            ++seeds;
            const auto bytes = test_support::ReadFileBytes(entry.path().string());
            std::string error;
            if (target == "image") {
                plat::Image image;
                unsigned w = 0, h = 0;
                ASSERT_TRUE(plat::DecodeImage(bytes.data(), bytes.size(), image, true, &error)) << error;
                if (std::sscanf(name.substr(name.rfind('_') + 1).c_str(), "%ux%u", &w, &h) == 2)
                    EXPECT_EQ(std::make_pair(image.imageWidth, image.imageHeight), std::make_pair(w, h));
                EXPECT_EQ(image.pixels.size(), size_t(image.width) * image.height);
            } else if (target == "xfile") {
                plat::XMeshData mesh;
                ASSERT_TRUE(plat::ParseXFile(bytes.data(), bytes.size(), mesh, &error)) << error;
                ModelRecord model{};
                EXPECT_EQ(LoadModelFromMeshData(&model, mesh), 1);
                EXPECT_GT(model.radius, 0.0f);
                ReleaseModelRecord(&model);
            } else if (target == "wave") {
                WaveFormat format{};
                const uint8_t* samples = nullptr;
                uint32_t sampleBytes = 0;
                ASSERT_EQ(FindWaveChunks(bytes.data(), uint32_t(bytes.size()), &format, &samples, &sampleBytes), 1);
                EXPECT_EQ(format.formatTag, kWaveFormatPcm);
                EXPECT_TRUE(samples >= bytes.data() && samples + sampleBytes <= bytes.data() + bytes.size());
            }
        }
        EXPECT_GT(seeds, 0) << target;
    }
}

// The smallest archive that starts the game: every image block shares one 5 x 3 bitmap,
// every model one quad, every sound one short wave. Blocks may share their bytes.
TEST(FuzzSeeds, ArchiveOfSharedBlocksStartsTheGame)
{
    test_support::TempDir dir;
    fs::copy_file(kCorpus / "archive/shared_blocks_full.dat", dir / "data.dat");
    EXPECT_EQ(HeadlessStart(dir.path().c_str()), 1) << HeadlessLastMessage();
    HeadlessRunFrames(3);
    EXPECT_EQ(HeadlessIsRunning(), 1);
    HeadlessStop();
}

} // namespace
