// stagepack: builds "mappack.dat" and "epack.dat" from the stage sources, or checks and
// lists built packs.
//   stagepack <source dir> <mappack out> <epack out>   build (checked before writing)
//   stagepack --check <mappack> <epack>                 print only what is wrong
//   stagepack --list <mappack> <epack>                  every stage and event, then the check
// Each prints a note where a script lets a team leave the race (#42) without a place
// (#43 before it): allowed, since such a team simply races no more, but worth a look.
// Each refuses what the game would refuse, and what our stages do not do though the game
// would play it ("builder's own check: ...").
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "board/piece.h"
#include "board/stage.h"
#include "platform/files.h"
#include "platform/text_encoding.h"
#include "stage_check.h"
#include "stage_source.h"

namespace {

bool ReadWhole(const char* path, std::vector<uint8_t>& out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

void PrintNotes(const std::vector<stagecheck::StageReport>& reports)
{
    for (const auto& r : reports)
        for (const std::string& n : r.notes)
            std::printf("stagepack: note: %s\n", n.c_str());
}

void PrintReport(const stagecheck::StageReport& s)
{
    std::printf("stage %d: %d x %d cells, track %d squares from column %d row %d, %d forks, %d pieces, "
                "script text %d bytes\n",
                s.stage, s.width, s.height, s.trackLength, s.startColumn, s.startRow, s.forks, s.pieces, s.textBytes);
    std::printf("  squares of kind %d..%d: %d %d %d %d %d, corridor cells %d\n", int(kFirstSquareKind),
                int(kLastSquareKind), s.squaresByKind[0], s.squaresByKind[1], s.squaresByKind[2], s.squaresByKind[3],
                s.squaresByKind[4], s.corridorCells);
    for (const auto& e : s.events) {
        std::printf("  event %2d: %2d cells, %4d bytes, %2d commands", e.number, e.cells, e.scriptBytes, e.commands);
        if (e.pieceKind == 1)
            std::printf(", team %d", e.pieceId);
        else if (e.pieceKind == 2)
            std::printf(", %s group %d", e.pieceId == kRoamingGroupId ? "roaming" : "enemy", e.pieceId);
        if (e.pieceKind != 0)
            std::printf(" of %d \"%s\"", e.members, plat::Cp932ToUtf8(e.nameCp932.c_str()).c_str());
        if (e.sendsBack)
            std::printf(", sends back");
        std::printf("\n");
    }
}

int Check(const char* mapPath, const char* eventPath, bool list)
{
    std::vector<uint8_t> maps, events;
    if (!ReadWhole(mapPath, maps) || !ReadWhole(eventPath, events)) {
        std::fprintf(stderr, "stagepack: cannot read %s or %s\n", mapPath, eventPath);
        return 1;
    }
    std::vector<stagecheck::StageReport> reports;
    std::vector<std::string> errors;
    const bool ok = stagecheck::CheckPacks(maps, events, reports, errors);
    if (list)
        for (const auto& r : reports)
            PrintReport(r);
    PrintNotes(reports);
    for (const std::string& e : errors)
        std::fprintf(stderr, "stagepack: %s\n", e.c_str());
    if (!ok)
        return 1;
    std::printf("%s, %s: all three stages usable\n", mapPath, eventPath);
    return 0;
}

int Build(const char* sourceDir, const char* mapPath, const char* eventPath)
{
    stagepack::StageSource stages[stagepack::kStages];
    std::string error;
    if (!stagepack::ReadStageSources(sourceDir, stages, error)) {
        std::fprintf(stderr, "stagepack: %s\n", error.c_str());
        return 1;
    }
    const std::vector<uint8_t> maps = stagepack::BuildMapPack(stages);
    const std::vector<uint8_t> events = stagepack::BuildEventPack(stages);
    std::vector<stagecheck::StageReport> reports;
    std::vector<std::string> errors;
    const bool ok = stagecheck::CheckPacks(maps, events, reports, errors);
    PrintNotes(reports);
    if (!ok) {
        for (const std::string& e : errors)
            std::fprintf(stderr, "stagepack: %s\n", e.c_str());
        return 1;
    }
    // Written beside the targets and renamed, so a failed run never leaves half a pack.
    if (!plat::WriteFileAtomically(mapPath, maps.data(), maps.size()) ||
        !plat::WriteFileAtomically(eventPath, events.data(), events.size())) {
        std::fprintf(stderr, "stagepack: cannot write %s and %s\n", mapPath, eventPath);
        return 1;
    }
    std::printf("stagepack: %s (%zu bytes), %s (%zu bytes)\n", mapPath, maps.size(), eventPath, events.size());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--list") == 0)
        return Check(argv[2], argv[3], true);
    if (argc == 4 && std::strcmp(argv[1], "--check") == 0)
        return Check(argv[2], argv[3], false);
    if (argc == 4 && argv[1][0] != '-')
        return Build(argv[1], argv[2], argv[3]);
    std::fprintf(stderr, "usage: stagepack <source dir> <mappack out> <epack out>\n"
                         "       stagepack --check <mappack> <epack>\n"
                         "       stagepack --list <mappack> <epack>\n");
    return 2;
}
