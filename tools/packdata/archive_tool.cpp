#include "archive_tool.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "../modelgen/bmp.h"

namespace packdata {

namespace {

uint32_t Read32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }
uint16_t Read16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x)
{
    for (int i = 0; i < 4; ++i)
        v[at + i] = uint8_t(x >> (8 * i));
}

bool ReadFile(const std::string& path, std::vector<uint8_t>& out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
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

// The wave chunk walk the game's loader does, with every size held against the block.
bool CheckWave(const uint8_t* p, uint32_t n, std::string& detail)
{
    uint64_t end = std::min<uint64_t>(uint64_t(Read32(p + 4)) + 8, n);
    uint64_t pos = 12;
    bool haveFormat = false;
    uint32_t dataSize = 0;
    uint16_t format = 0, channels = 0, bits = 0, align = 0;
    uint32_t rate = 0;
    while (pos + 8 <= end) {
        uint32_t size = Read32(p + pos + 4);
        if (pos + 8 + size > end) {
            detail = "a chunk runs past the end";
            return false;
        }
        if (!haveFormat && std::memcmp(p + pos, "fmt ", 4) == 0) {
            if (size < 16) {
                detail = "format chunk too short";
                return false;
            }
            const uint8_t* f = p + pos + 8;
            format = Read16(f);
            channels = Read16(f + 2);
            rate = Read32(f + 4);
            align = Read16(f + 12);
            bits = Read16(f + 14);
            haveFormat = true;
        } else if (dataSize == 0 && std::memcmp(p + pos, "data", 4) == 0) {
            dataSize = size;
        }
        if (haveFormat && dataSize)
            break;
        pos += 8 + uint64_t(size) + (size & 1);
    }
    if (!haveFormat || dataSize == 0) {
        detail = haveFormat ? "no samples" : "no format chunk";
        return false;
    }
    if (format != 1 || (channels != 1 && channels != 2) || (bits != 8 && bits != 16) || rate == 0 ||
        align != channels * bits / 8) {
        detail = "not a PCM format the game plays";
        return false;
    }
    char buf[96];
    std::snprintf(buf, sizeof buf, "%u Hz, %u ch, %u bit, %.2f s", rate, channels, bits,
                  double(dataSize) / (double(rate) * align));
    detail = buf;
    return true;
}

bool CheckBmp(const uint8_t* p, uint32_t n, std::string& detail)
{
    if (n < 54) {
        detail = "truncated header";
        return false;
    }
    uint32_t offBits = Read32(p + 10);
    int32_t w = int32_t(Read32(p + 18)), h = int32_t(Read32(p + 22));
    uint16_t bpp = Read16(p + 28);
    if (w <= 0 || h == 0 || (bpp != 24 && bpp != 32 && bpp != 8)) {
        detail = "unsupported header";
        return false;
    }
    uint64_t stride = (uint64_t(w) * bpp / 8 + 3) & ~3ull;
    uint64_t rows = uint64_t(h < 0 ? -int64_t(h) : h);
    if (offBits + stride * rows > n) {
        detail = "pixels run past the end";
        return false;
    }
    detail = std::to_string(w) + " x " + std::to_string(rows) + ", " + std::to_string(bpp) + " bit";
    return true;
}

bool CheckX(const uint8_t* p, uint32_t n, std::string& detail)
{
    std::string head(reinterpret_cast<const char*>(p), std::min<uint32_t>(n, 16));
    if (head.compare(8, 3, "txt") != 0) {
        detail = "not the text form";
        return false;
    }
    std::string text(reinterpret_cast<const char*>(p), n);
    if (text.find("Mesh") == std::string::npos) {
        detail = "no mesh";
        return false;
    }
    detail = "text mesh";
    return true;
}

} // namespace

const char* KindName(BlockKind kind)
{
    switch (kind) {
    case BlockKind::Missing:
        return "missing";
    case BlockKind::Empty:
        return "empty";
    case BlockKind::Bmp:
        return "BMP";
    case BlockKind::Png:
        return "PNG";
    case BlockKind::Jpeg:
        return "JPEG";
    case BlockKind::XModel:
        return ".x model";
    case BlockKind::Wave:
        return "RIFF WAVE";
    case BlockKind::Unknown:
        break;
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
    bool seen[kBlocks] = {};
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
        if (block < 0 || block >= kBlocks) {
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

bool BuildArchive(const std::vector<ManifestEntry>& entries, const std::string& contentDir,
                  std::vector<uint8_t>& out, std::string& error)
{
    std::vector<std::vector<uint8_t>> data(kBlocks);
    std::vector<bool> present(kBlocks, false);
    for (const ManifestEntry& e : entries) {
        if (e.block < 0 || e.block >= kBlocks || present[e.block]) {
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
    out.assign(kTableBytes, 0);
    uint64_t pos = 0;
    for (int b = 0; b < kBlocks; ++b) {
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
    for (int b = 0; b < kBlocks; ++b)
        if (!present[b])
            Put32(out, 4 * b, uint32_t(pos));
    return true;
}

bool CheckArchive(const std::vector<uint8_t>& archive, std::vector<BlockReport>& reports, std::string& error)
{
    reports.clear();
    if (archive.size() < kTableBytes) {
        error = "shorter than the 600-byte offset table";
        return false;
    }
    const uint64_t body = archive.size() - kTableBytes;
    bool allOk = true;
    for (int b = 0; b < kBlocks; ++b) {
        BlockReport r;
        r.block = b;
        r.offset = Read32(archive.data() + 4 * b);
        if (uint64_t(r.offset) + 4 > body) {
            r.detail = "offset points outside the file";
            reports.push_back(r);
            allOk = false;
            continue;
        }
        r.size = Read32(archive.data() + kTableBytes + r.offset);
        if (uint64_t(r.size) > body - r.offset - 4) {
            r.detail = "length runs past the end of the file";
            reports.push_back(r);
            allOk = false;
            continue;
        }
        const uint8_t* p = archive.data() + kTableBytes + r.offset + 4;
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
                r.ok = CheckBmp(p, r.size, r.detail);
                break;
            case BlockKind::Png:
            case BlockKind::Jpeg:
                r.ok = true;
                r.detail = "not decoded";
                break;
            case BlockKind::XModel:
                r.ok = CheckX(p, r.size, r.detail);
                break;
            case BlockKind::Wave:
                r.ok = CheckWave(p, r.size, r.detail);
                break;
            default:
                break;
            }
        }
        allOk = allOk && r.ok;
        reports.push_back(r);
    }
    if (!allOk)
        error = "damaged or unexpected blocks";
    return allOk;
}

bool WritePlaceholders(const std::string& dir, std::string& error)
{
    auto write = [&](const std::string& name, uint32_t w, uint32_t h, uint32_t a, uint32_t b, uint32_t cell) {
        std::vector<uint32_t> px(size_t(w) * h);
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x)
                px[size_t(y) * w + x] = ((x / cell + y / cell) & 1) ? a : b;
        std::vector<uint8_t> bmp = modelgen::Bmp24(px.data(), w, h);
        std::ofstream out(dir + "/" + name, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bmp.data()), std::streamsize(bmp.size()));
        if (!out)
            error = "cannot write " + dir + "/" + name;
        return static_cast<bool>(out);
    };
    if (!write("atlas.bmp", 2048, 2048, 0xFF303040, 0xFF404858, 64) ||
        !write("font.bmp", 1024, 1024, 0xFF202020, 0xFF383838, 32))
        return false;
    for (int i = 0; i < 32; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "board_%02d.bmp", i);
        uint32_t colour = 0xFF000000u | ((i * 0x3A5F17u) & 0x00FFFFFFu);
        if (!write(name, 32, i == 9 ? 64 : 32, colour, colour | 0xFF404040u, 8))
            return false;
    }
    return true;
}

} // namespace packdata
