// The real data.dat built from content/manifest.txt: every block as its source file,
// models that stand on a board cell and show colours, waves the game can play; the
// generators and the builder repeating themselves, and the builder, lister and
// extractor behaving on bad input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sstream>

#include "engine/archive.h"
#include "engine/wave.h"
#include "platform/image_codec.h"
#include "platform/xfile.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using test_support::ReadFileBytes;
using test_support::WriteFileBytes;

const std::string kBuildDir = SUGOROKU_BUILD_DIR;
const std::string kSourceDir = SUGOROKU_SOURCE_DIR;

int RunTool(const std::string& tool, const std::string& args)
{
    return test_support::RunBuiltProgram("tools/" + tool + "/" + tool, args);
}

Bytes Block(int index)
{
    uint32_t size = 0;
    const uint8_t* p = GetDataBlock(index, &size);
    return p ? Bytes(p, p + size) : Bytes();
}

class ContentArchive : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(LoadDataFileFrom((kBuildDir + "/data.dat").c_str()), 1); }
    void TearDown() override { FreeDataFile(); }
};

// The build's own check of the archive sees that every block holds the kind the game
// reads there; here each listed block must hold its very source file.
TEST_F(ContentArchive, EveryListedBlockHoldsItsSourceFile)
{
    std::ifstream manifest(kSourceDir + "/content/manifest.txt");
    int block = -1, listed = 0;
    for (std::string line, path; std::getline(manifest, line);) {
        if (!(std::istringstream(line.substr(0, line.find('#'))) >> block >> path))
            continue;
        ++listed;
        const Bytes source = ReadFileBytes(kBuildDir + "/content/" + path);
        ASSERT_FALSE(source.empty()) << path;
        EXPECT_EQ(Block(block), source) << "block " << block << " (" << path << ")";
    }
    EXPECT_GE(listed, 34 + 19 + 25 + 24); // images, at least every character's face, models, sounds
}

// Models stand on a cell, show colours, face -z, and take their textures from block 34
// on in the order the loader meets them: one per textured material, named in that order,
// each of a power-of-two size (the build's check sees that every such block decodes).
TEST_F(ContentArchive, ModelsStandOnACellFaceMinusZShowColoursAndOwnTheirTextures)
{
    int textured = 0;
    std::vector<std::vector<uint32_t>> palettes;
    for (int model = 0; model < 25; ++model) {
        SCOPED_TRACE("model " + std::to_string(model));
        plat::XMeshData mesh;
        const std::vector<uint8_t> bytes = Block(101 + model);
        ASSERT_TRUE(plat::ParseXFile(bytes.data(), bytes.size(), mesh));
        ASSERT_TRUE(!mesh.indices.empty() && !mesh.materials.empty() &&
                    mesh.triangleMaterial.size() * 3 == mesh.indices.size());
        float lo[3] = {1e9f, 1e9f, 1e9f}, hi[3] = {-1e9f, -1e9f, -1e9f};
        for (size_t i = 0; i < mesh.positions.size(); ++i)
            lo[i % 3] = std::min(lo[i % 3], mesh.positions[i]), hi[i % 3] = std::max(hi[i % 3], mesh.positions[i]);
        // Feet on the floor (the figures and battle actors place the origin there), and a size that fits a cell.
        const float height = hi[1] - lo[1];
        EXPECT_NEAR(lo[1], 0.0f, 0.05f);
        EXPECT_TRUE(height >= (model < 18 ? 1.2f : 1.0f) && height <= (model < 18 ? 1.85f : 2.2f)) << height;
        EXPECT_TRUE(hi[0] - lo[0] < 2.0f && hi[2] - lo[2] < 2.5f) << hi[0] - lo[0] << " x " << hi[2] - lo[2];
        std::vector<uint32_t> palette;
        int face = -1;
        for (size_t m = 0; m < mesh.materials.size(); ++m) {
            const plat::XMaterial& mat = mesh.materials[m];
            EXPECT_FLOAT_EQ(mat.diffuse[3], 1.0f);
            EXPECT_GT(mat.emissive[0] + mat.emissive[1] + mat.emissive[2], 0.05f) << "a black material";
            palette.push_back(uint32_t(mat.emissive[0] * 255) << 16 | uint32_t(mat.emissive[1] * 255) << 8 |
                              uint32_t(mat.emissive[2] * 255));
            if (mat.textureFile.empty())
                continue;
            if (face < 0)
                face = int(m);
            char name[32];
            std::snprintf(name, sizeof name, "tex_%02d.bmp", textured);
            EXPECT_EQ(mat.textureFile, name);
            const std::vector<uint8_t> image = Block(34 + textured++);
            plat::Image decoded;
            ASSERT_TRUE(plat::DecodeImage(image.data(), image.size(), decoded)) << name;
            EXPECT_TRUE(decoded.width == decoded.imageWidth && decoded.height == decoded.imageHeight)
                << name << " is not a power of two";
        }
        for (uint32_t mat : mesh.triangleMaterial)
            ASSERT_LT(mat, mesh.materials.size());
        // The world-matrix builder turns the model's -z toward its facing, so the painted
        // face (the first textured material of every character) lies on the -z side.
        double faceZ = 0, allZ = 0;
        int faceCount = 0;
        for (size_t k = 0; k < mesh.indices.size(); ++k) {
            const float z = mesh.positions[3 * mesh.indices[k] + 2];
            allZ += z;
            if (int(mesh.triangleMaterial[k / 3]) == face)
                faceZ += z, ++faceCount;
        }
        if (model < 18)
            EXPECT_TRUE(faceCount > 0 && faceZ / faceCount < allZ / mesh.indices.size() - 0.1)
                << "no painted face on the -z side";
        std::sort(palette.begin(), palette.end());
        for (size_t other = 0; other < palettes.size(); ++other)
            EXPECT_NE(palettes[other], palette) << "shares every colour with model " << other;
        palettes.push_back(palette);
    }
    EXPECT_GT(textured, 18); // at least every character's face
}

TEST_F(ContentArchive, WavesPlayAndMusicLoopsWithoutAClick)
{
    for (int b = 126; b < 150; ++b) {
        SCOPED_TRACE(b < 146 ? "effect " + std::to_string(b - 126) : "track " + std::to_string(b - 146));
        const Bytes bytes = Block(b);
        WaveFormat format{};
        const uint8_t* samples = nullptr;
        uint32_t sampleBytes = 0;
        ASSERT_EQ(FindWaveChunks(bytes.data(), uint32_t(bytes.size()), &format, &samples, &sampleBytes), 1);
        ASSERT_EQ(format.bitsPerSample, 16);
        ASSERT_TRUE(format.samplesPerSec == 22050 || format.samplesPerSec == 44100);
        std::vector<int16_t> s(sampleBytes / 2);
        std::memcpy(s.data(), samples, 2 * s.size());
        const double seconds = double(sampleBytes) / format.blockAlign / format.samplesPerSec;
        int peak = 0;
        double sum = 0, stepSum = 0;
        for (size_t i = 0; i < s.size(); ++i)
            peak = std::max(peak, std::abs(int(s[i]))), sum += double(s[i]) * s[i],
            stepSum += i ? std::abs(s[i] - s[i - 1]) : 0;
        EXPECT_LT(peak, 32700) << "clips";
        EXPECT_GT(std::sqrt(sum / s.size()), 32768 * 0.02) << "nearly silent";
        if (b >= 146) {
            EXPECT_TRUE(seconds >= 15.0 && seconds <= 40.0) << seconds;
            // The jump from the last sample back to the first is no larger than an ordinary step of the music.
            EXPECT_LE(std::abs(int(s[0]) - int(s.back())), 4 * stepSum / (s.size() - 1) + 64);
        } else {
            // Cursor blips, knocks and reel clicks come in quick runs: they must be short.
            EXPECT_LT(seconds, (b == 126 || b == 130 || b == 139) ? 0.2 : 4.0);
            EXPECT_LT(std::abs(int(s[0])), 2000) << "starts with a click";
            EXPECT_LT(std::abs(int(s.back())), 200) << "ends with a click";
        }
    }
}

TEST(ContentBuilder, RefusesBadListsAndRepeatsTheRealArchive)
{
    test_support::TempDir s;
    for (const char* name : {"a.bin", "b.bin"})
        WriteFileBytes(s / name, {1, 2, 3});
    // A missing file, a block listed twice, a block past the table: refused, and no archive is left.
    for (const char* manifest : {"3 a.bin\n4 nowhere.bin\n", "3 a.bin\n3 b.bin\n", "150 a.bin\n"}) {
        std::ofstream(s / "bad.txt") << manifest;
        EXPECT_NE(RunTool("packdata", s / "bad.txt " + s.path() + " " + s / "bad.dat"), 0) << manifest;
        EXPECT_FALSE(fs::exists(s / "bad.dat")) << manifest;
    }
    // Models and sounds generated again, packed with the drawn images, give the real archive
    // byte for byte: the generators and the builder repeat themselves.
    for (const char* sub : {"/content/models", "/content/sounds"})
        fs::create_directories(s.path() + sub);
    for (const auto& e : fs::directory_iterator(kBuildDir + "/content"))
        if (e.is_regular_file())
            fs::create_symlink(e.path(), s / ("content/" + e.path().filename().string()));
    for (const auto& [tool, sub] : {std::pair{"modelgen", "content/models"}, {"soundgen", "content/sounds"}}) {
        ASSERT_EQ(RunTool(tool, s / sub), 0) << tool;
        EXPECT_NE(RunTool(tool, s / "no/such/dir"), 0) << tool;
    }
    ASSERT_EQ(RunTool("packdata", kSourceDir + "/content/manifest.txt " + s / "content " + s / "again.dat"), 0);
    EXPECT_TRUE(ReadFileBytes(s / "again.dat") == ReadFileBytes(kBuildDir + "/data.dat"));
}

TEST(ContentLister, FlagsDamagedArchives)
{
    const Bytes bytes = ReadFileBytes(kBuildDir + "/data.dat"); // which the build itself checks
    ASSERT_GT(bytes.size(), 600u);
    auto patched = [&](size_t at, Bytes with) {
        Bytes d = bytes;
        return std::copy(with.begin(), with.end(), d.begin() + at), d;
    };
    auto block = [&](int b) { return 600 + test_support::GetU32(bytes, 4 * size_t(b)); };
    const Bytes damaged[] = {
        Bytes(bytes.begin(), bytes.begin() + 599),                           // no whole table
        Bytes(bytes.begin(), bytes.end() - 10),                              // last block cut short
        patched(4 * 5 + 3, {0xFF}),                                          // block 5's offset far past the end
        patched(block(130) + 4 + 12, {'j', 'u', 'n', 'k'}),                  // the effect's "fmt " chunk renamed
        patched(block(110) + 4, {'Q'}),                                      // a model no longer an .x file
        patched(0, Bytes(bytes.begin() + 4 * 126, bytes.begin() + 4 * 127)), // the atlas's entry on a sound
    };
    test_support::TempDir s;
    for (size_t i = 0; i < std::size(damaged); ++i) {
        WriteFileBytes(s / "damaged.dat", damaged[i]);
        EXPECT_NE(RunTool("packdata", "--list " + s / "damaged.dat"), 0) << "damage " << i;
    }
}

// Any block written out to look at: images as PNG pictures at their own size, sounds as
// the wave files they are; a wrong kind, number or a damaged block writes nothing.
TEST(ContentExtractor, WritesImagesAsPngAndSoundsAsWavAndRefusesTheRest)
{
    test_support::TempDir s;
    // A 3 x 2 picture (padded to 4 x 2 as a texture) with the transparent key in it, and a real effect.
    const std::vector<uint32_t> picture = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu,
                                           0xFF123456u, 0xFFFFFFFFu, 0xFF000000u};
    const Bytes wave = ReadFileBytes(kBuildDir + "/content/sounds/se_00.wav");
    test_support::ArchiveImage image;
    image.Add(0, plat::EncodeBmp32(picture.data(), 3, 2));
    image.Add(101, std::string("xof 0303txt 0032\n"));
    image.Add(40, Bytes{});
    image.Add(126, wave);
    const std::string archive = s / "data.dat";
    WriteFileBytes(archive, image.Bytes());
    auto extract = [&](const std::string& from, const std::string& args) {
        return RunTool("packdata", "--extract " + from + " " + args);
    };
    plat::Image decoded;
    auto decodePng = [&](const std::string& path) {
        const Bytes png = ReadFileBytes(path);
        return png.size() > 8 && std::memcmp(png.data(), "\x89PNG", 4) == 0 &&
               plat::DecodeImage(png.data(), png.size(), decoded, false);
    };
    ASSERT_EQ(extract(archive, "0 " + s / "atlas.png"), 0);
    ASSERT_TRUE(decodePng(s / "atlas.png"));
    EXPECT_EQ((std::vector<uint32_t>{decoded.imageWidth, decoded.imageHeight}), (std::vector<uint32_t>{3, 2}));
    const std::vector<uint32_t>& px = decoded.pixels;
    EXPECT_EQ(
        (std::vector<uint32_t>{px[0], px[1], px[2], px[decoded.width], px[decoded.width + 1], px[decoded.width + 2]}),
        picture)
        << "colours as stored, the green key included";
    ASSERT_TRUE(wave.size() > 44 && extract(archive, "126 " + s / "effect.wav") == 0);
    EXPECT_EQ(ReadFileBytes(s / "effect.wav"), wave);
    // An image as a sound, a sound as an image, a model, an unused block, no such block.
    for (const std::string& args :
         {"0 " + s / "atlas.wav", "126 " + s / "effect.png", "101 " + s / "model.png", "40 " + s / "unused.png",
          "150 " + s / "none.png", "-1 " + s / "none.png", "1x " + s / "none.png"}) {
        EXPECT_NE(extract(archive, args), 0) << args;
        EXPECT_FALSE(fs::exists(args.substr(args.find(' ') + 1))) << args;
    }
    // A damaged block (its length past the end) writes nothing and leaves an older file.
    Bytes cut = image.Bytes();
    cut.resize(cut.size() - 10);
    WriteFileBytes(s / "cut.dat", cut);
    WriteFileBytes(s / "old.wav", Bytes{9});
    EXPECT_NE(extract(s / "cut.dat", "126 " + s / "old.wav"), 0);
    EXPECT_EQ(ReadFileBytes(s / "old.wav"), Bytes{9});
    // The real atlas comes out at its full size.
    ASSERT_EQ(extract(kBuildDir + "/data.dat", "0 " + s / "real.png"), 0);
    ASSERT_TRUE(decodePng(s / "real.png"));
    EXPECT_EQ((std::vector<uint32_t>{decoded.imageWidth, decoded.imageHeight}), (std::vector<uint32_t>{2048, 2048}));
}

} // namespace
