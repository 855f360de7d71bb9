// packdata: builds "data.dat" from a manifest of content files, or lists and checks one.
//   packdata <manifest> <content dir> <output>   build
//   packdata --list <archive>                    list every block; exit 1 if any is bad
//   packdata --check <archive>                   the same, printing only the bad blocks
//   packdata --extract <archive> <block> <out>   one block as a .png (images) or .wav (sounds)
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "archive_tool.h"
#include "engine/archive.h"
#include "engine/startup_note.h"
#include "platform/files.h"

using namespace packdata;

namespace {

// Reads an archive as the game does, whole, saying why when it cannot.
bool Load(const char* path)
{
    ClearStartupFailureNote();
    if (LoadDataFileFrom(path))
        return true;
    std::fprintf(stderr, "packdata: %s\n", StartupFailureNote());
    return false;
}

int List(const char* path, bool all)
{
    if (!Load(path))
        return 1;
    std::vector<BlockReport> reports;
    std::string error;
    const bool ok = CheckArchive(reports, error);
    const uint64_t size = g_dataFileSize;
    FreeDataFile();
    for (const BlockReport& r : reports)
        if (all || !r.ok)
            std::printf("%3d  %-9s %10u bytes  %-4s %s\n", r.block, KindName(r.kind), r.size, r.ok ? "ok" : "BAD",
                        r.detail.c_str());
    if (!ok) {
        std::fprintf(stderr, "packdata: %s: %s\n", path, error.c_str());
        return 1;
    }
    std::printf("%s: %llu bytes, all %d blocks usable\n", path, static_cast<unsigned long long>(size), kDataBlockCount);
    return 0;
}

int Extract(const char* path, const char* blockText, const char* outPath)
{
    char* end = nullptr;
    const long block = std::strtol(blockText, &end, 10);
    if (*blockText == '\0' || *end != '\0' || block < 0 || block >= kDataBlockCount) {
        std::fprintf(stderr, "packdata: %s is not a block number (0 to 149)\n", blockText);
        return 1;
    }
    if (!Load(path))
        return 1;
    std::string error;
    const bool written = ExtractBlock(static_cast<int>(block), outPath, error);
    FreeDataFile();
    if (!written) {
        std::fprintf(stderr, "packdata: %s: %s\n", path, error.c_str());
        return 1;
    }
    std::printf("packdata: block %ld written to %s\n", block, outPath);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--list") == 0)
        return List(argv[2], true);
    if (argc == 3 && std::strcmp(argv[1], "--check") == 0)
        return List(argv[2], false);
    if (argc == 5 && std::strcmp(argv[1], "--extract") == 0)
        return Extract(argv[2], argv[3], argv[4]);
    if (argc != 4) {
        std::fprintf(stderr, "usage: packdata <manifest> <content dir> <output>\n"
                             "       packdata --list <archive>\n"
                             "       packdata --check <archive>\n"
                             "       packdata --extract <archive> <block> <out.png|out.wav>\n");
        return 2;
    }
    std::vector<ManifestEntry> entries;
    std::vector<uint8_t> archive;
    std::string error;
    if (!ReadManifest(argv[1], entries, error) || !BuildArchive(entries, argv[2], archive, error)) {
        std::fprintf(stderr, "packdata: %s\n", error.c_str());
        return 1;
    }
    // Written beside the target and renamed, so a failed run never leaves half an archive.
    if (!plat::WriteFileAtomically(argv[3], archive.data(), archive.size())) {
        std::fprintf(stderr, "packdata: cannot write %s\n", argv[3]);
        return 1;
    }
    std::printf("packdata: %s, %zu blocks, %zu bytes\n", argv[3], entries.size(), archive.size());
    return 0;
}
