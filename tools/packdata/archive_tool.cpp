#include "archive_tool.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "engine/wave.h"
#include "platform/byte_order.h"
#include "platform/files.h"
#include "platform/image_codec.h"
#include "platform/xfile.h"

namespace packdata {

namespace {

void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x)
{
    plat::StoreLE32(&v[at], x);
}

bool ReadFile(const std::string& path, std::vector<uint8_t>& out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// The game's reason for not finding a block, in words.
const char* FaultText(int32_t fault)
{
    switch (fault) {
    case kDataBlockOffsetOutside: return "offset points outside the file";
    case kDataBlockLengthOutside: return "length runs past the end of the file";
    default: return "no archive loaded";
    }
}

BlockKind Sniff(const uint8_t* p, uint32_t n)
{
    if (n == 0)
        return BlockKind::Empty;
    if (n >= 2 && p[0] == 'B' && p[1] == 'M')
        return BlockKind::Bmp;
    if (n >= 8 && std::memcmp(p, "\x89PNG\r\n\x1a\n", 8) == 0)
        return BlockKind::Png;
    if (n >= 3 && p[0] == 0xFF && p[1] == 0xD8 && p[2] == 0xFF)
        return BlockKind::Jpeg;
    if (n >= 16 && std::memcmp(p, "xof ", 4) == 0)
        return BlockKind::XModel;
    if (n >= 12 && std::memcmp(p, "RIFF", 4) == 0 && std::memcmp(p + 8, "WAVE", 4) == 0)
        return BlockKind::Wave;
    return BlockKind::Unknown;
}

// The kind of data the game reads from a block number.
BlockKind Expected(int block)
{
    if (block <= 100)
        return BlockKind::Bmp; // any image kind will do; see KindFits
    if (block <= 125)
        return BlockKind::XModel;
    return BlockKind::Wave;
}

bool KindFits(int block, BlockKind kind)
{
    if (block >= 34 && block <= 100 && kind == BlockKind::Empty)
        return true; // material-texture numbers beyond the models' textures are unused
    BlockKind want = Expected(block);
    if (want == BlockKind::Bmp)
        return kind == BlockKind::Bmp || kind == BlockKind::Png || kind == BlockKind::Jpeg;
    return kind == want;
}

bool CheckWave(const uint8_t* p, uint32_t n, std::string& detail)
{
    WaveFormat format{};
    const uint8_t* samples = nullptr;
    uint32_t bytes = 0;
    if (!FindWaveChunks(p, n, &format, &samples, &bytes)) {
        detail = "the game's wave reader refuses it";
        return false;
    }
    char buf[96];
    std::snprintf(buf, sizeof buf, "%u Hz, %u ch, %u bit, %.2f s", format.samplesPerSec, format.channels,
                  format.bitsPerSample, double(bytes) / (double(format.samplesPerSec) * format.blockAlign));
    detail = buf;
    return true;
}

// The texture size the game's sprite and glyph rectangles assume, 0 x 0 where any will do.
void ExpectedImageSize(int block, uint32_t& w, uint32_t& h)
{
    w = h = 0;
    if (block == 0)
        w = h = 2048;
    else if (block == 1)
        w = h = 1024;
    else if (block >= 2 && block <= 33) {
        w = 32;
        h = block == 2 + 9 ? 64 : 32; // board texture 9 is the wall
    }
}

bool CheckImage(int block, const uint8_t* p, uint32_t n, std::string& detail)
{
    plat::Image image;
    std::string error;
    if (!plat::DecodeImage(p, n, image, true, &error)) {
        detail = "does not decode: " + error;
        return false;
    }
    detail = std::to_string(image.imageWidth) + " x " + std::to_string(image.imageHeight);
    uint32_t w, h;
    ExpectedImageSize(block, w, h);
    if (w && (image.width != w || image.height != h)) {
        detail += ", expected " + std::to_string(w) + " x " + std::to_string(h);
        return false;
    }
    return true;
}

bool CheckX(const uint8_t* p, uint32_t n, std::string& detail, int& texturedMaterials)
{
    plat::XMeshData mesh;
    std::string error;
    if (!plat::ParseXFile(p, n, mesh, &error)) {
        detail = "does not parse: " + error;
        return false;
    }
    if (mesh.indices.empty() || mesh.materials.empty()) {
        detail = "no triangles or no materials";
        return false;
    }
    int textured = 0;
    for (const plat::XMaterial& m : mesh.materials)
        textured += m.textureFile.empty() ? 0 : 1;
    texturedMaterials += textured;
    float lo = 1e30f, hi = -1e30f;
    for (size_t i = 1; i < mesh.positions.size(); i += 3) {
        lo = std::min(lo, mesh.positions[i]);
        hi = std::max(hi, mesh.positions[i]);
    }
    char buf[128];
    std::snprintf(buf, sizeof buf, "%zu triangles, %zu materials (%d textured), height %.2f", mesh.indices.size() / 3,
                  mesh.materials.size(), textured, double(hi - lo));
    detail = buf;
    return true;
}

} // namespace

const char* KindName(BlockKind kind)
{
    switch (kind) {
    case BlockKind::Missing: return "missing";
    case BlockKind::Empty: return "empty";
    case BlockKind::Bmp: return "BMP";
    case BlockKind::Png: return "PNG";
    case BlockKind::Jpeg: return "JPEG";
    case BlockKind::XModel: return ".x model";
    case BlockKind::Wave: return "RIFF WAVE";
    case BlockKind::Unknown: break;
    }
    return "unknown";
}

bool ReadManifest(const std::string& manifestPath, std::vector<ManifestEntry>& out, std::string& error)
{
    std::ifstream in(manifestPath);
    if (!in) {
        error = "cannot open manifest " + manifestPath;
        return false;
    }
    out.clear();
    bool seen[kDataBlockCount] = {};
    std::string line;
    for (int lineNo = 1; std::getline(in, line); ++lineNo) {
        size_t hash = line.find('#');
        if (hash != std::string::npos)
            line.erase(hash);
        std::istringstream ls(line);
        std::string blockText, path, extra;
        if (!(ls >> blockText))
            continue;
        char* endp = nullptr;
        long block = std::strtol(blockText.c_str(), &endp, 10);
        std::string where = manifestPath + ":" + std::to_string(lineNo) + ": ";
        if (*endp != '\0' || !(ls >> path) || (ls >> extra)) {
            error = where + "expected 'block path'";
            return false;
        }
        if (block < 0 || block >= kDataBlockCount) {
            error = where + "block " + blockText + " is outside 0..149";
            return false;
        }
        if (seen[block]) {
            error = where + "block " + blockText + " is listed twice";
            return false;
        }
        seen[block] = true;
        out.push_back(ManifestEntry{int(block), path, lineNo});
    }
    return true;
}

bool BuildArchive(const std::vector<ManifestEntry>& entries, const std::string& contentDir, std::vector<uint8_t>& out,
                  std::string& error)
{
    std::vector<std::vector<uint8_t>> data(kDataBlockCount);
    std::vector<bool> present(kDataBlockCount, false);
    for (const ManifestEntry& e : entries) {
        if (e.block < 0 || e.block >= kDataBlockCount || present[e.block]) {
            error = "block " + std::to_string(e.block) + " is outside 0..149 or listed twice";
            return false;
        }
        std::string path = contentDir + "/" + e.path;
        if (!ReadFile(path, data[e.block])) {
            error = "cannot read " + path + " for block " + std::to_string(e.block);
            return false;
        }
        if (data[e.block].size() > 0xFFFFFFFFull - 8) {
            error = path + " is too large for the archive";
            return false;
        }
        present[e.block] = true;
    }
    out.assign(kDataTableBytes, 0);
    uint64_t pos = 0;
    for (int b = 0; b < kDataBlockCount; ++b) {
        if (!present[b])
            continue;
        Put32(out, 4 * b, uint32_t(pos));
        out.resize(out.size() + 4);
        Put32(out, out.size() - 4, uint32_t(data[b].size()));
        out.insert(out.end(), data[b].begin(), data[b].end());
        pos += 4 + data[b].size();
        if (pos > 0xFFFFFFFFull - 4) {
            error = "the archive outgrows 32-bit offsets";
            return false;
        }
    }
    // One empty block for every number the manifest leaves out.
    out.resize(out.size() + 4, 0);
    for (int b = 0; b < kDataBlockCount; ++b)
        if (!present[b])
            Put32(out, 4 * b, uint32_t(pos));
    return true;
}

bool CheckArchive(std::vector<BlockReport>& reports, std::string& error)
{
    reports.clear();
    if (g_dataFile == nullptr) {
        error = "no archive loaded";
        return false;
    }
    bool allOk = true;
    int texturedMaterials = 0;
    for (int b = 0; b < kDataBlockCount; ++b) {
        BlockReport r;
        r.block = b;
        int32_t fault = kDataBlockFound;
        const uint8_t* p = FindDataBlock(b, &r.size, &fault);
        if (p == nullptr) {
            r.detail = FaultText(fault);
            reports.push_back(r);
            allOk = false;
            continue;
        }
        r.kind = Sniff(p, r.size);
        if (!KindFits(b, r.kind)) {
            r.detail = std::string("expected ") + (b <= 100 ? "an image" : KindName(Expected(b)));
        } else {
            switch (r.kind) {
            case BlockKind::Empty:
                r.ok = true;
                r.detail = "unused";
                break;
            case BlockKind::Bmp:
            case BlockKind::Png:
            case BlockKind::Jpeg: r.ok = CheckImage(b, p, r.size, r.detail); break;
            case BlockKind::XModel: r.ok = CheckX(p, r.size, r.detail, texturedMaterials); break;
            case BlockKind::Wave: r.ok = CheckWave(p, r.size, r.detail); break;
            default: break;
            }
        }
        allOk = allOk && r.ok;
        reports.push_back(r);
    }
    if (!allOk) {
        error = "damaged or unexpected blocks";
        return false;
    }
    // The models' textured materials take blocks 34 onward one by one: each of those
    // blocks must hold an image and the rest stay unused.
    for (int b = 34; b <= 100; ++b) {
        bool used = b - 34 < texturedMaterials;
        BlockReport& r = reports[b];
        if (used != (r.kind != BlockKind::Empty)) {
            r.ok = false;
            r.detail += used ? " (a textured material expects an image here)" : " (no material uses it)";
            allOk = false;
        }
    }
    if (texturedMaterials > 67) {
        error = "the models have more textured materials than blocks 34..100";
        return false;
    }
    if (!allOk)
        error = "material textures and models do not match";
    return allOk;
}

namespace {

bool EndsWith(const std::string& text, const char* suffix)
{
    const size_t n = std::strlen(suffix);
    if (text.size() < n)
        return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(text[text.size() - n + i])) != suffix[i])
            return false;
    return true;
}

} // namespace

bool ExtractBlock(int block, const std::string& outPath, std::string& error)
{
    if (block < 0 || block >= kDataBlockCount) {
        error = "block numbers run from 0 to 149";
        return false;
    }
    uint32_t size = 0;
    int32_t fault = kDataBlockFound;
    const uint8_t* p = FindDataBlock(block, &size, &fault);
    if (p == nullptr) {
        error = "block " + std::to_string(block) + ": " + FaultText(fault);
        return false;
    }
    const std::string name = "block " + std::to_string(block);
    std::vector<uint8_t> file;
    switch (Sniff(p, size)) {
    case BlockKind::Bmp:
    case BlockKind::Png:
    case BlockKind::Jpeg: {
        if (!EndsWith(outPath, ".png")) {
            error = name + " is an image: write it to a .png file";
            return false;
        }
        // The colours as stored: the transparent key (pure green) stays visible.
        plat::Image image;
        std::string why;
        if (!plat::DecodeImage(p, size, image, false, &why)) {
            error = name + ": " + why;
            return false;
        }
        // The texture is padded to powers of two; the file holds the picture's own size.
        std::vector<uint32_t> pixels(size_t(image.imageWidth) * image.imageHeight);
        for (uint32_t y = 0; y < image.imageHeight; ++y)
            std::copy_n(image.pixels.begin() + long(size_t(y) * image.width), image.imageWidth,
                        pixels.begin() + long(size_t(y) * image.imageWidth));
        file = plat::EncodePng(pixels.data(), image.imageWidth, image.imageHeight);
        if (file.empty()) {
            error = name + ": the picture cannot be encoded as PNG";
            return false;
        }
        break;
    }
    case BlockKind::Wave: {
        if (!EndsWith(outPath, ".wav")) {
            error = name + " is a sound: write it to a .wav file";
            return false;
        }
        std::string detail;
        if (!CheckWave(p, size, detail)) {
            error = name + ": " + detail;
            return false;
        }
        file.assign(p, p + size); // the block is the whole wave file
        break;
    }
    case BlockKind::Empty: error = name + " is unused (empty)"; return false;
    case BlockKind::XModel:
        error = name + " is a model; only images (PNG) and sounds (WAV) are written out";
        return false;
    default: error = name + " holds neither an image nor a sound"; return false;
    }
    if (!plat::WriteFileAtomically(outPath.c_str(), file.data(), file.size())) {
        error = "cannot write " + outPath;
        return false;
    }
    return true;
}

} // namespace packdata
