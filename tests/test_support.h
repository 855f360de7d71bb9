// Support shared by the tests: little-endian byte writers, archive images, solid
// textures, whole-file reads and writes, and a scratch directory.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "platform/image_codec.h"

namespace test_support {

using Bytes = std::vector<uint8_t>;

// Appends the low `bytes` bytes of x, least significant first.
inline void PutLE(Bytes& v, uint32_t x, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        v.push_back(uint8_t(x >> (8 * i)));
}

// Writes x at `at`, growing the image when it is shorter.
inline void PutU32(Bytes& image, size_t at, uint32_t value)
{
    image.resize(std::max(image.size(), at + 4));
    for (int i = 0; i < 4; ++i)
        image[at + i] = uint8_t(value >> (8 * i));
}

inline uint32_t GetU32(const Bytes& b, size_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

// Archive images: a 600-byte table of u32 offsets, then [u32 length][bytes] blocks.
// Appends a block and points table entry `index` at it.
inline void AddBlock(Bytes& image, int index, const Bytes& bytes)
{
    if (image.size() < 600)
        image.resize(600);
    PutU32(image, 4 * size_t(index), uint32_t(image.size() - 600));
    PutU32(image, image.size(), uint32_t(bytes.size()));
    image.insert(image.end(), bytes.begin(), bytes.end());
}

struct ArchiveImage {
    std::vector<uint8_t> m_image = std::vector<uint8_t>(600, 0);
    void Add(int index, const std::vector<uint8_t>& bytes) { AddBlock(m_image, index, bytes); }
    void Add(int index, const std::string& text) { Add(index, std::vector<uint8_t>(text.begin(), text.end())); }
    const std::vector<uint8_t>& Bytes() const { return m_image; }
};

// A BMP of one colour.
inline Bytes SolidBmp(uint32_t width, uint32_t height, uint32_t colour)
{
    std::vector<uint32_t> pixels(size_t(width) * height, colour);
    return plat::EncodeBmp32(pixels.data(), width, height);
}

inline Bytes ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteFileBytes(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// The names in a directory.
inline std::set<std::string> Listing(const std::string& dir)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.insert(entry.path().filename());
    return names;
}

// Runs a program of the build (path below the build directory) with its output
// silenced; returns its exit code, or -1 when it did not exit.
inline int RunBuiltProgram(const std::string& path, const std::string& args)
{
    const int status =
        std::system((std::string(SUGOROKU_BUILD_DIR) + "/" + path + " " + args + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A scratch directory, removed with everything in it (write-protected files too).
class TempDir {
public:
    TempDir()
        : path_([] {
              char pattern[] = "/tmp/game_test_XXXXXX";
              return std::string(mkdtemp(pattern) ? pattern : "");
          }())
    {}
    ~TempDir()
    {
        if (!path_.empty())
            std::system(("chmod -R u+w '" + path_ + "' 2>/dev/null; rm -rf '" + path_ + "'").c_str());
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

} // namespace test_support
