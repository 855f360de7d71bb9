// The real data.dat built from content/manifest.txt: every block as its source file,
// models that stand on a board cell and show colours, waves the game can play, and
// the builder and lister behaving on bad input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/archive.h"
#include "engine/wave.h"
#include "platform/image_codec.h"
#include "platform/xfile.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

const std::string kBuildDir = SUGOROKU_BUILD_DIR;
const std::string kSourceDir = SUGOROKU_SOURCE_DIR;

using test_support::ReadFileBytes;
using test_support::WriteFileBytes;

struct Entry { int block; std::string path; };

std::vector<Entry> ReadManifest()
{
    std::ifstream in(kSourceDir + "/content/manifest.txt");
    std::vector<Entry> entries;
    Entry e;
    for (std::string line; std::getline(in, line);)
        if (std::istringstream(line.substr(0, line.find('#'))) >> e.block >> e.path) entries.push_back(e);
    return entries;
}

int RunTool(const std::string& tool, const std::string& args)
{
    return test_support::RunBuiltProgram("tools/" + tool + "/" + tool, args);
}

int RunPackdata(const std::string& args) { return RunTool("packdata", args); }

bool ParseModel(const std::vector<uint8_t>& bytes, plat::XMeshData& mesh)
{
    return plat::ParseXFile(bytes.data(), bytes.size(), mesh);
}

std::vector<uint8_t> Block(int index)
{
    uint32_t size = 0;
    const uint8_t* p = GetDataBlock(index, &size);
    return p ? std::vector<uint8_t>(p, p + size) : std::vector<uint8_t>();
}

class ContentArchive : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(LoadDataFileFrom((kBuildDir + "/data.dat").c_str()), 1); }
    void TearDown() override { FreeDataFile(); }
};

TEST_F(ContentArchive, EveryBlockHoldsItsSourceFileAndUnlistedBlocksAreEmpty)
{
    std::vector<Entry> entries = ReadManifest();
    ASSERT_FALSE(entries.empty());
    std::vector<bool> listed(kDataBlockCount, false);
    for (const Entry& e : entries) {
        ASSERT_GE(e.block, 0);
        ASSERT_LT(e.block, kDataBlockCount);
        listed[e.block] = true;
        std::vector<uint8_t> source = ReadFileBytes(kBuildDir + "/content/" + e.path);
        ASSERT_FALSE(source.empty()) << e.path;
        EXPECT_EQ(Block(e.block), source) << "block " << e.block << " (" << e.path << ")";
    }
    // Everything the game reads unconditionally is listed: images 0-33, models, sounds.
    for (int b = 0; b < kDataBlockCount; ++b) {
        uint32_t size = 99;
        if (b < 34 || b > 100)
            EXPECT_TRUE(listed[b]) << "block " << b << " is not in the manifest";
        else if (!listed[b])
            EXPECT_TRUE(GetDataBlock(b, &size) != nullptr && size == 0) << "unused block " << b;
    }
}

TEST_F(ContentArchive, ModelsStandOnACellFaceMinusZShowColoursAndOwnTheirTextures)
{
    int texturedMaterials = 0;
    std::vector<std::vector<uint32_t>> palettes;
    for (int model = 0; model < 25; ++model) {
        SCOPED_TRACE("model " + std::to_string(model));
        plat::XMeshData mesh;
        ASSERT_TRUE(ParseModel(Block(101 + model), mesh));
        ASSERT_FALSE(mesh.indices.empty());
        float lo[3] = {1e9f, 1e9f, 1e9f}, hi[3] = {-1e9f, -1e9f, -1e9f};
        for (size_t i = 0; i < mesh.positions.size(); ++i) {
            lo[i % 3] = std::min(lo[i % 3], mesh.positions[i]);
            hi[i % 3] = std::max(hi[i % 3], mesh.positions[i]);
        }
        const float height = hi[1] - lo[1];
        // Feet on the floor (the figures and battle actors place the origin there), and a size that fits a cell.
        EXPECT_NEAR(lo[1], 0.0f, 0.05f);
        EXPECT_TRUE(height >= (model < 18 ? 1.2f : 1.0f) && height <= (model < 18 ? 1.85f : 2.2f)) << height;
        EXPECT_TRUE(hi[0] - lo[0] < 2.0f && hi[2] - lo[2] < 2.5f) << hi[0] - lo[0] << " x " << hi[2] - lo[2];
        ASSERT_FALSE(mesh.materials.empty());
        std::vector<uint32_t> palette;
        int face = -1;
        for (size_t m = 0; m < mesh.materials.size(); ++m) {
            const plat::XMaterial& mat = mesh.materials[m];
            EXPECT_FLOAT_EQ(mat.diffuse[3], 1.0f);
            EXPECT_GT(mat.emissive[0] + mat.emissive[1] + mat.emissive[2], 0.05f) << "a black material";
            palette.push_back(uint32_t(mat.emissive[0] * 255) << 16 | uint32_t(mat.emissive[1] * 255) << 8 |
                              uint32_t(mat.emissive[2] * 255));
            if (!mat.textureFile.empty()) {
                ++texturedMaterials;
                if (face < 0) face = int(m);
            }
        }
        for (uint32_t mat : mesh.triangleMaterial)
            ASSERT_LT(mat, mesh.materials.size());
        // The world-matrix builder turns the model's -z toward its facing, so the painted
        // face (the first textured material of every character) lies on the -z side.
        if (model < 18) {
            ASSERT_GE(face, 0) << "no painted face";
            double faceZ = 0, allZ = 0;
            int faceCount = 0;
            for (size_t t = 0; t < mesh.triangleMaterial.size(); ++t)
                for (int k = 0; k < 3; ++k) {
                    const float z = mesh.positions[3 * mesh.indices[3 * t + k] + 2];
                    allZ += z;
                    if (int(mesh.triangleMaterial[t]) == face) faceZ += z, ++faceCount;
                }
            ASSERT_GT(faceCount, 0);
            EXPECT_LT(faceZ / faceCount, allZ / (3.0 * mesh.triangleMaterial.size()) - 0.1);
        }
        std::sort(palette.begin(), palette.end());
        for (size_t other = 0; other < palettes.size(); ++other)
            EXPECT_NE(palettes[other], palette) << "shares every colour with model " << other;
        palettes.push_back(palette);
    }
    // Material textures are taken from block 34 on, one per textured material met.
    ASSERT_LE(texturedMaterials, 67);
    for (int n = 0; n < 67; ++n) {
        std::vector<uint8_t> image = Block(34 + n);
        if (n < texturedMaterials)
            EXPECT_TRUE(image.size() > 2 && image[0] == 'B' && image[1] == 'M') << "texture block " << 34 + n;
        else
            EXPECT_TRUE(image.empty()) << "block " << 34 + n << " holds a texture no material uses";
    }
}

TEST_F(ContentArchive, WavesPlayAndMusicLoopsWithoutAClick)
{
    for (int b = 126; b < 150; ++b) {
        std::vector<uint8_t> bytes = Block(b);
        WaveFormat format{};
        const uint8_t* samples = nullptr;
        uint32_t sampleBytes = 0;
        ASSERT_EQ(FindWaveChunks(bytes.data(), uint32_t(bytes.size()), &format, &samples, &sampleBytes), 1)
            << "block " << b;
        ASSERT_EQ(format.bitsPerSample, 16);
        ASSERT_TRUE(format.samplesPerSec == 22050 || format.samplesPerSec == 44100);
        const size_t count = sampleBytes / 2;
        std::vector<int16_t> s(count);
        std::memcpy(s.data(), samples, 2 * count);
        double seconds = double(sampleBytes) / format.blockAlign / format.samplesPerSec;
        int peak = 0;
        double sum = 0, stepSum = 0;
        for (size_t i = 0; i < count; ++i) {
            peak = std::max(peak, std::abs(int(s[i])));
            sum += double(s[i]) * s[i];
            if (i) stepSum += std::abs(int(s[i]) - int(s[i - 1]));
        }
        double rms = std::sqrt(sum / count);
        EXPECT_LT(peak, 32700) << "block " << b << " clips";
        EXPECT_GT(rms, 32768 * 0.02) << "block " << b << " is nearly silent";
        if (b >= 146) {
            EXPECT_TRUE(seconds >= 15.0 && seconds <= 40.0) << "track " << b - 146 << " lasts " << seconds;
            // The jump from the last sample back to the first is no larger than an
            // ordinary step of the music.
            EXPECT_LE(std::abs(int(s[0]) - int(s[count - 1])), 4 * stepSum / (count - 1) + 64) << "track " << b - 146;
        } else {
            // Cursor blips, knocks and reel clicks come in quick runs: they must be short.
            const int id = b - 126;
            EXPECT_LT(seconds, (id == 0 || id == 4 || id == 13) ? 0.2 : 4.0) << "effect " << id;
            EXPECT_LT(std::abs(int(s[0])), 2000) << "effect " << id << " starts with a click";
            EXPECT_LT(std::abs(int(s[count - 1])), 200) << "effect " << id << " ends with a click";
        }
    }
}

TEST(ContentBuilder, RefusesMissingFilesAndDuplicateBlocksAndRepeatsItsBytes)
{
    test_support::TempDir s;
    WriteFileBytes(s / "a.bin", {1, 2, 3});
    WriteFileBytes(s / "b.bin", {4, 5, 6, 7, 8});
    std::ofstream(s / "good.txt") << "# two blocks\n7 b.bin\n3 a.bin\n";
    ASSERT_EQ(RunPackdata(s / "good.txt " + s.path() + " " + s / "one.dat"), 0);
    ASSERT_EQ(RunPackdata(s / "good.txt " + s.path() + " " + s / "two.dat"), 0);
    std::vector<uint8_t> one = ReadFileBytes(s / "one.dat");
    EXPECT_EQ(one, ReadFileBytes(s / "two.dat"));
    ASSERT_EQ(LoadDataFromMemory(one.data(), one.size()), 1);
    EXPECT_EQ(Block(3), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_TRUE(Block(7) == (std::vector<uint8_t>{4, 5, 6, 7, 8}) && Block(100).empty());
    FreeDataFile();

    // A missing file, a block listed twice, a block past the table: refused, and no archive is left.
    for (const char* manifest : {"3 a.bin\n4 nowhere.bin\n", "3 a.bin\n3 b.bin\n", "150 a.bin\n"}) {
        std::ofstream(s / "bad.txt") << manifest;
        EXPECT_NE(RunPackdata(s / "bad.txt " + s.path() + " " + s / "bad.dat"), 0) << manifest;
        EXPECT_FALSE(fs::exists(s / "bad.dat")) << manifest;
    }

    // The real archive comes out the same when built again from the same sources.
    ASSERT_EQ(RunPackdata(kSourceDir + "/content/manifest.txt " + kBuildDir + "/content " + s / "again.dat"), 0);
    EXPECT_TRUE(ReadFileBytes(s / "again.dat") == ReadFileBytes(kBuildDir + "/data.dat"));
}

TEST(ContentLister, AcceptsTheRealArchiveAndFlagsDamage)
{
    const std::string real = kBuildDir + "/data.dat";
    EXPECT_EQ(RunPackdata("--list " + real), 0);
    std::vector<uint8_t> bytes = ReadFileBytes(real);
    ASSERT_GT(bytes.size(), 600u);
    test_support::TempDir s;
    auto flagged = [&](std::vector<uint8_t> damaged) {
        WriteFileBytes(s / "damaged.dat", damaged);
        return RunPackdata("--list " + s / "damaged.dat") != 0;
    };
    EXPECT_TRUE(flagged(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 599))); // no whole table
    EXPECT_TRUE(flagged(std::vector<uint8_t>(bytes.begin(), bytes.end() - 10)));   // last block cut short
    auto offsetOf = [&](int block) { return test_support::GetU32(bytes, 4 * size_t(block)); };
    std::vector<uint8_t> d = bytes;
    d[4 * 5 + 3] = 0xFF; // block 5's offset far past the end
    EXPECT_TRUE(flagged(d));
    d = bytes;
    std::memcpy(&d[600 + offsetOf(130) + 4 + 12], "junk", 4); // the effect's "fmt " chunk renamed
    EXPECT_TRUE(flagged(d));
    d = bytes;
    d[600 + offsetOf(110) + 4] = 'Q'; // a model no longer an .x file
    EXPECT_TRUE(flagged(d));
    // Block 0's entry pointing at a sound: the wrong kind for the atlas.
    d = bytes;
    test_support::PutU32(d, 0, offsetOf(126));
    EXPECT_TRUE(flagged(d));
}

// Any block written out to look at: images as PNG pictures at their own size, sounds as
// the wave files they are; a wrong kind, number or a damaged block writes nothing.
using Bytes = std::vector<uint8_t>;

TEST(ContentExtractor, WritesImagesAsPngAndSoundsAsWavAndRefusesTheRest)
{
    test_support::TempDir s;
    // A 3 x 2 picture (padded to 4 x 2 as a texture) with the transparent key in it.
    const std::vector<uint32_t> picture = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu,
                                           0xFF123456u, 0xFFFFFFFFu, 0xFF000000u};
    const Bytes wave = {'R', 'I', 'F', 'F', 40, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0,
                        1, 0, 1, 0, 0x44, 0xAC, 0, 0, 0x88, 0x58, 1, 0, 2, 0, 16, 0,
                        'd', 'a', 't', 'a', 4, 0, 0, 0, 0x10, 0x00, 0xF0, 0xFF};
    test_support::ArchiveImage image;
    image.Add(0, plat::EncodeBmp32(picture.data(), 3, 2));
    image.Add(126, wave);
    image.Add(101, std::string("xof 0303txt 0032\n"));
    image.Add(40, Bytes{});
    const std::string archive = s / "data.dat";
    WriteFileBytes(archive, image.Bytes());

    ASSERT_EQ(RunPackdata("--extract " + archive + " 0 " + s / "atlas.png"), 0);
    const Bytes png = ReadFileBytes(s / "atlas.png");
    ASSERT_TRUE(png.size() > 8 && std::memcmp(png.data(), "\x89PNG", 4) == 0);
    plat::Image decoded;
    ASSERT_TRUE(plat::DecodeImage(png.data(), png.size(), decoded, false));
    EXPECT_EQ((std::vector<uint32_t>{decoded.imageWidth, decoded.imageHeight}), (std::vector<uint32_t>{3, 2}));
    const std::vector<uint32_t> rows = {decoded.pixels[0], decoded.pixels[1], decoded.pixels[2],
                                        decoded.pixels[decoded.width], decoded.pixels[decoded.width + 1],
                                        decoded.pixels[decoded.width + 2]};
    EXPECT_EQ(rows, picture) << "colours as stored, the green key included";

    ASSERT_EQ(RunPackdata("--extract " + archive + " 126 " + s / "effect.wav"), 0);
    EXPECT_EQ(ReadFileBytes(s / "effect.wav"), wave);

    const std::string refused[] = {
        "0 " + s / "atlas.wav",     // an image as a sound
        "126 " + s / "effect.png",  // a sound as an image
        "101 " + s / "model.png",   // a model
        "40 " + s / "unused.png",   // an unused block
        "150 " + s / "none.png",    // no such block
        "-1 " + s / "none.png",
        "1x " + s / "none.png",
    };
    for (const std::string& args : refused) {
        EXPECT_NE(RunPackdata("--extract " + archive + " " + args), 0) << args;
        EXPECT_FALSE(std::filesystem::exists(args.substr(args.find(' ') + 1))) << args;
    }
    // A damaged block (its length past the end) writes nothing and leaves an older file.
    test_support::ArchiveImage waveOnly;
    waveOnly.Add(126, wave);
    Bytes cut = waveOnly.Bytes();
    cut.resize(cut.size() - 10);
    WriteFileBytes(s / "cut.dat", cut);
    WriteFileBytes(s / "old.wav", Bytes{9});
    EXPECT_NE(RunPackdata("--extract " + s / "cut.dat 126 " + s / "old.wav"), 0);
    EXPECT_EQ(ReadFileBytes(s / "old.wav"), Bytes{9});

    // The real atlas comes out at its full size.
    const std::string real = kBuildDir + "/data.dat";
    ASSERT_EQ(RunPackdata("--extract " + real + " 0 " + s / "real.png"), 0);
    const Bytes realPng = ReadFileBytes(s / "real.png");
    ASSERT_TRUE(plat::DecodeImage(realPng.data(), realPng.size(), decoded, false));
    EXPECT_EQ((std::vector<uint32_t>{decoded.imageWidth, decoded.imageHeight}), (std::vector<uint32_t>{2048, 2048}));
}

TEST(ContentGenerators, WriteTheSameFilesEveryRun)
{
    test_support::TempDir s;
    fs::create_directories(s / "models");
    fs::create_directories(s / "sounds");
    ASSERT_EQ(RunTool("modelgen", s / "models"), 0);
    ASSERT_EQ(RunTool("soundgen", s / "sounds"), 0);
    int files = 0;
    for (const char* sub : {"models", "sounds"})
        for (const auto& entry : fs::directory_iterator(s / sub)) {
            std::string name = entry.path().filename().string();
            EXPECT_EQ(ReadFileBytes(entry.path().string()), ReadFileBytes(kBuildDir + "/content/" + sub + "/" + name))
                << sub << "/" << name;
            ++files;
        }
    EXPECT_GE(files, 25 + 24);
    for (const char* tool : {"modelgen", "soundgen"}) EXPECT_NE(RunTool(tool, s / "no/such/dir"), 0) << tool;
}

TEST(ContentGenerators, MaterialTexturesAreNamedInLoadOrderAndDecode)
{
    int next = 0;
    for (int model = 0; model < 25; ++model) {
        char name[32];
        std::snprintf(name, sizeof name, "/content/models/model_%02d.x", model);
        plat::XMeshData mesh;
        ASSERT_TRUE(ParseModel(ReadFileBytes(kBuildDir + name), mesh));
        for (const plat::XMaterial& m : mesh.materials) {
            if (m.textureFile.empty())
                continue;
            std::snprintf(name, sizeof name, "tex_%02d.bmp", next++);
            EXPECT_EQ(m.textureFile, name) << "model " << model;
            std::vector<uint8_t> bytes = ReadFileBytes(kBuildDir + "/content/models/" + name);
            plat::Image image;
            ASSERT_TRUE(plat::DecodeImage(bytes.data(), bytes.size(), image)) << name;
            EXPECT_TRUE(image.width == image.imageWidth && image.height == image.imageHeight) << name << " is not a power of two";
        }
    }
    EXPECT_GT(next, 18); // at least every character's face
}

} // namespace
