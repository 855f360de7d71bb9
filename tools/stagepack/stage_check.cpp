#include "stage_check.h"

#include <cstring>

#include "board/event.h"
#include "board/stage.h"
#include "board/stage_rules.h"
#include "board/world.h"
#include "platform/msgbox.h"
#include "speaker_check.h"

namespace stagecheck {

namespace {

constexpr int kStages = 3;

// One stage, read as the game reads it: the map, then the scripts against it, with the
// game's rules; then the builder's own checks of what our stages keep to, each said as
// such, so that an author can tell them from what the game itself would refuse. Both
// refuse the stage. This adds plainer words for packs too damaged to read at all, and
// the figures of the listing.
class StageChecker {
public:
    StageChecker(int stage, StageReport& report, std::vector<std::string>& errors)
        : stage_(stage), report_(report), errors_(errors)
    {}

    void Check(const std::vector<uint8_t>& mapPack, const std::vector<uint8_t>& eventPack)
    {
        report_.stage = stage_;
        if (!LoadMap(mapPack))
            return;
        const bool scriptsRead = LoadScripts(eventPack);
        CheckStageAuthoring(&rules_, scriptsRead);
        for (const std::string& own : rules_.authoring)
            errors_.push_back(std::string(kOwnCheck) + "stage " + std::to_string(stage_) + ": " + own);
        Summarise();
    }

private:
    static constexpr const char* kOwnCheck = "builder's own check: ";

    void Error(const std::string& what) { errors_.push_back("stage " + std::to_string(stage_) + ": " + what); }

    bool LoadMap(const std::vector<uint8_t>& pack)
    {
        // The entry found as the game finds it; its size in plainer words before the
        // game's rules are asked.
        MapEntryHeader header{};
        const char* why = nullptr;
        if (!ReadMapEntryHeader(pack.data(), pack.size(), stage_, &header, &why)) {
            Error(std::string("the map pack: ") + why);
            return false;
        }
        const uint32_t w = header.width;
        const uint32_t h = header.height;
        if (w < 1 || w > kMaxBoardSide || h < 1 || h > kMaxBoardSide) {
            Error("board size " + std::to_string(w) + " x " + std::to_string(h) + "; each side must be 1.." +
                  std::to_string(kMaxBoardSide));
            return false;
        }
        if (header.at + header.bytes > pack.size()) {
            Error("the map entry is cut short");
            return false;
        }
        g_stageLayers.stageNumber = stage_;
        std::vector<std::string> problems;
        if (!LoadStageMapForPlay(pack.data(), pack.size(), &problems)) {
            for (const std::string& p : problems)
                Error(p);
            return false;
        }
        report_.width = g_stageLayers.boardWidth;
        report_.height = g_stageLayers.boardHeight;
        report_.trackLength = g_stageLayers.trackLength;
        return true;
    }

    // Whether the game takes the scripts, so that the builder's checks of the whole
    // stage can go on from its reading of them.
    bool LoadScripts(const std::vector<uint8_t>& pack)
    {
        plat::RecordMessageBoxes(true);
        std::vector<std::string> problems;
        const bool taken = LoadEventScriptsForPlay(pack.data(), pack.size(), &problems, &rules_) != 0;
        for (const std::string& p : problems)
            Error(p);
        for (int32_t n = 1; n <= rules_.events; ++n)
            for (const std::string& face : FindTeamFaces(g_eventScripts + size_t(n - 1) * kEventScriptSlotBytes))
                Error("event " + std::to_string(n) + ": " + face);
        for (const std::string& n : rules_.notes)
            report_.notes.push_back("stage " + std::to_string(stage_) + ": " + n);
        return taken;
    }

    void Summarise()
    {
        const int32_t start = FindTrackStart();
        if (start >= 0) {
            report_.startColumn = start % g_stageLayers.boardWidth;
            report_.startRow = start / g_stageLayers.boardWidth;
        }
        for (int32_t cell = 0; cell < g_stageLayers.boardWidth * g_stageLayers.boardHeight; ++cell) {
            const int32_t kind = CellKindOf(cell);
            if (kind >= kFirstSquareKind && kind <= kLastSquareKind)
                ++report_.squaresByKind[kind - kFirstSquareKind];
            else if (kind < kFirstSquareKind)
                ++report_.corridorCells;
        }
        report_.forks = rules_.forks;
        report_.pieces = rules_.pieces;
        report_.textBytes = rules_.textBytes;
        for (int32_t n = 1; n <= rules_.events; ++n) {
            const EventScriptInfo& s = rules_.scripts[n - 1];
            EventReport e;
            e.number = n;
            e.cells = s.cells;
            e.scriptBytes = s.bytes;
            e.commands = s.commands;
            e.pieceKind = s.pieceKind;
            e.pieceId = s.pieceId;
            e.members = s.members;
            e.nameCp932 = s.name;
            e.sendsBack = s.sendsBack;
            report_.events.push_back(e);
        }
    }

    int stage_;
    StageReport& report_;
    std::vector<std::string>& errors_;
    StageRuleReport rules_;
};

} // namespace

bool CheckPacks(const std::vector<uint8_t>& mapPack, const std::vector<uint8_t>& eventPack,
                std::vector<StageReport>& reports, std::vector<std::string>& errors)
{
    reports.clear();
    errors.clear();
    if (!AllocStageBuffers()) {
        errors.push_back("out of memory for the stage buffers");
        return false;
    }
    const int keptStage = g_stageLayers.stageNumber;
    for (int stage = 1; stage <= kStages; ++stage) {
        reports.emplace_back();
        StageChecker(stage, reports.back(), errors).Check(mapPack, eventPack);
    }
    g_stageLayers.stageNumber = keptStage;
    FreeStageBuffers();
    return errors.empty();
}

} // namespace stagecheck
