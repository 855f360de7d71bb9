#include "race.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "app/headless.h"
#include "board/event.h"
#include "board/race_result.h"
#include "board/stage.h"
#include "board/task_table.h"
#include "board/turn.h"
#include "board/world.h"
#include "engine/input.h"
#include "frontend/command_menu.h"
#include "frontend/picture_stage.h"
#include "frontend/team_select.h"
#include "frontend/title.h"

namespace fs = std::filesystem;

namespace {

// Screens open within a few frames; a ring turn of team select takes 12.
constexpr int kScreenWaitFrames = 60;

bool SlotAlive(int slot)
{
    return g_tasks != nullptr && g_tasks[slot].alive != 0;
}

int SetError(RaceReport* report, const char* format, ...) __attribute__((format(printf, 2, 3)));
int SetError(RaceReport* report, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vsnprintf(report->error, sizeof(report->error), format, args);
    va_end(args);
    return 0;
}

// Runs frames without keys until the slot is alive (1) or the wait is over (0).
int WaitForSlot(int slot)
{
    for (int i = 0; i < kScreenWaitFrames && HeadlessIsRunning(); ++i) {
        if (SlotAlive(slot))
            return 1;
        HeadlessRunFrames(1);
    }
    return SlotAlive(slot) ? 1 : 0;
}

// The title, ready for keys: a reopened title installs its input state in its first update.
int WaitForTitleInput()
{
    for (int i = 0; i < kScreenWaitFrames && HeadlessIsRunning(); ++i) {
        if (SlotAlive(kTitleSlot) && TaskWork<TitleMenu>(&g_tasks[kTitleSlot])->stateProc == HandleTitleMenuInput)
            return 1;
        HeadlessRunFrames(1);
    }
    return 0;
}

int WaitForTeamSelectInput()
{
    for (int i = 0; i < kScreenWaitFrames && HeadlessIsRunning(); ++i) {
        if (SlotAlive(kTeamSelectSlot) &&
            TaskWork<TeamSelectWork>(&g_tasks[kTeamSelectSlot])->stateProc == RunTeamSelectIdle)
            return 1;
        HeadlessRunFrames(1);
    }
    return 0;
}

// The player's team while it waits for a key, or null.
BoardPiece* PlayerPieceAwaitingKey()
{
    for (int slot = kPieceFirstSlot; slot < kPieceSlotEnd; ++slot) {
        BoardPiece* piece = LivePieceInSlot(slot);
        if (piece == nullptr || piece->teamId != g_playerTeam || piece->controller != kControllerPlayer)
            continue;
        if (piece->stateProc == PlayerRollDie || piece->stateProc == PlayerChooseDirection)
            return piece;
    }
    return nullptr;
}

// The key of the first direction that the piece's square opens and that leads onto
// walkable ground, in the order the game reads the keys; 0 when none does.
uint32_t FirstOpenDirectionKey(const BoardPiece* piece)
{
    const int column = static_cast<int>(std::floor((piece->x + static_cast<float>(g_stageLayers.boardWidth)) / 2.0f));
    const int row = static_cast<int>(std::floor((static_cast<float>(g_stageLayers.boardHeight) - piece->z) / 2.0f));
    if (column < 0 || row < 0 || column >= g_stageLayers.boardWidth || row >= g_stageLayers.boardHeight)
        return 0;
    const int route = RouteAt(column, row);
    struct Way {
        int key, bit, dc, dr;
    };
    const Way ways[] = {
        {kKeyRight, kLinkHeading0, 1, 0},
        {kKeyLeft, kLinkHeading180, -1, 0},
        {kKeyDown, kLinkHeading270, 0, 1},
        {kKeyUp, kLinkHeading90, 0, -1},
    };
    for (const Way& way : ways)
        if ((route & way.bit) && CellKindAt(column + way.dc, row + way.dr) < kBlockedKind)
            return 1u << way.key;
    return 0;
}

// What a player at the keyboard would press now: Return on the die, the first open
// way at a choice, Return to page an event's or a battle's messages.
uint32_t KeysForPlayer()
{
    if (const BoardPiece* piece = PlayerPieceAwaitingKey())
        return piece->stateProc == PlayerRollDie ? 1u << kKeyReturn : FirstOpenDirectionKey(piece);
    if (SlotAlive(kEventSlot) || SlotAlive(kBattleTaskSlot) || SlotAlive(kBattleSceneSlot))
        return 1u << kKeyReturn;
    return 0;
}

// One watched frame with these keys held; 0, with the reason, once an invariant
// breaks or the game ends.
int WatchedFrame(uint32_t keys, RaceReport* report)
{
    HeadlessSetKeys(keys);
    HeadlessRunFrames(1);
    if (!HeadlessIsRunning())
        return SetError(report, "the game ended before automatic play was on");
    if (!WatchRaceFrame(&report->watch))
        return SetError(report, "before automatic play was on: %s", report->watch.fault);
    return 1;
}

// Automatic play is switched on as a player does it: once the team's die spins,
// Shift opens the command menu, its fifth row (automatic play) is confirmed, then
// the second row (yes) of its question page. Each key is down for one frame and up
// for the next, and every frame is watched.
int SwitchOnAutomaticPlay(const RaceSettings& settings, RaceReport* report)
{
    // The opening camera runs a few seconds before the first die spins.
    constexpr int kSpinWaitFrames = 1200;
    for (int i = 0; i < kSpinWaitFrames && !CanPlayerSave(); ++i)
        if (!WatchedFrame(0, report))
            return 0;
    const BoardPiece* player = PlayerPieceAwaitingKey();
    if (!CanPlayerSave() || player == nullptr)
        return SetError(report, "the player's die did not spin within %d frames", kSpinWaitFrames);
    const int keys[] = {kKeyShift, kKeyDown, kKeyDown, kKeyDown, kKeyDown, kKeyReturn, kKeyDown, kKeyReturn};
    for (const int key : keys)
        if (!WatchedFrame(1u << key, report) || !WatchedFrame(0, report))
            return 0;
    if (SlotAlive(kCommandMenuSlot) || player->controller != kControllerComputer)
        return SetError(report, "the command menu did not switch on automatic play for team %d", settings.team);
    return 1;
}

// From the title through stage select and team select to the confirmation; the
// confirmation frame itself is left to the caller.
int NavigateToTeamConfirm(const RaceSettings& settings, RaceReport* report)
{
    if (!WaitForTitleInput())
        return SetError(report, "the title did not come up");
    // Stage select is the last title entry: right column, bottom row (Up wraps to it).
    HeadlessPressKey(kKeyRight);
    HeadlessPressKey(kKeyUp);
    HeadlessPressKey(kKeyReturn);
    if (!WaitForSlot(kStageSelectSlot))
        return SetError(report, "stage select did not open");
    HeadlessRunFrames(1);
    for (int guard = 0; g_stageLayers.stageNumber != settings.stage && guard < 3; ++guard)
        HeadlessPressKey(kKeyRight);
    HeadlessPressKey(kKeyReturn);
    if (!WaitForTitleInput())
        return SetError(report, "stage select did not return to the title");
    if (g_stageLayers.stageNumber != settings.stage)
        return SetError(report, "stage select shows stage %d, not %d", g_stageLayers.stageNumber, settings.stage);

    // The first entry, a new race, opens team select.
    HeadlessPressKey(kKeyReturn);
    if (!WaitForTeamSelectInput())
        return SetError(report, "the title's new race entry did not open team select");
    for (int i = 0; i < settings.team; ++i) {
        HeadlessPressKey(kKeyRight);
        if (!WaitForTeamSelectInput())
            return SetError(report, "team select's ring did not come to rest");
    }
    if (TaskWork<TeamSelectWork>(&g_tasks[kTeamSelectSlot])->selection != settings.team)
        return SetError(report, "team select shows team %d, not %d",
                        TaskWork<TeamSelectWork>(&g_tasks[kTeamSelectSlot])->selection, settings.team);
    return 1;
}

void RecordPlaces(RaceReport* report)
{
    const RaceResult& result = g_raceResult;
    for (int i = 0; i < 3; ++i) {
        const bool taken = i < result.nextPlaceFromTop || i > result.nextPlaceFromBottom;
        report->places[i] = taken ? result.placeTeam[i] : -1;
    }
}

// Race frames: the automatic player's keys, one frame, the checks, until the race ends.
int RunRaceFrames(const RaceSettings& settings, RaceReport* report)
{
    RaceWatch& watch = report->watch;
    uint32_t held = 1u << kKeyReturn; // the confirmation is still down
    for (;;) {
        if (watch.frame >= settings.maxFrames) {
            report->overran = 1;
            return 0;
        }
        // A key goes down for one frame and up for the next, so every press is seen.
        const uint32_t keys = held != 0 ? 0 : KeysForPlayer();
        HeadlessSetKeys(keys);
        held = keys;
        HeadlessRunFrames(1);
        if (!WatchRaceFrame(&watch))
            return 0;
        if (SlotAlive(kRankingSlot)) {
            report->finished = 1;
            return 1;
        }
        if (SlotAlive(kTitleSlot)) {
            report->backAtTitle = 1;
            return 1;
        }
        if (settings.maxTurns > 0 && watch.turns > settings.maxTurns) {
            watch.turns = settings.maxTurns; // the hand-over after the last counted turn ends the run
            return 1;
        }
    }
}

int RunRaceInDirectory(const std::string& work, const RaceSettings& settings, RaceReport* report)
{
    if (!HeadlessStart(work.c_str()))
        return SetError(report, "start-up failed: %s", HeadlessLastMessage());
    SeedRandom(settings.seed);
    if (!NavigateToTeamConfirm(settings, report))
        return 0;

    HeadlessSetKeys(1u << kKeyReturn);
    HeadlessRunFrames(1);
    WatchRaceFrame(&report->watch);
    if (!SlotAlive(kTurnControllerSlot))
        return SetError(report, "stage %d did not start for team %d (%s)", settings.stage, settings.team,
                        SlotAlive(kTitleSlot) ? "back at the title: are mappack.dat and epack.dat there?"
                                              : "no turn controller");
    if (g_playerTeam != settings.team)
        return SetError(report, "the race started for team %d, not %d", g_playerTeam, settings.team);
    // A race counts as started once the player's team plays itself.
    if (!SwitchOnAutomaticPlay(settings, report))
        return 0;
    report->started = 1;
    const int ok = RunRaceFrames(settings, report);
    report->frames = report->watch.frame;
    RecordPlaces(report);
    return ok;
}

} // namespace

int RunRace(const char* dataDir, const RaceSettings& settings, RaceReport* report)
{
    std::memset(report, 0, sizeof(*report));
    ResetRaceWatch(&report->watch);
    for (int& place : report->places)
        place = -1;

    std::error_code error;
    const fs::path data = fs::absolute(dataDir, error);
    if (error || !fs::exists(data / "data.dat", error))
        return SetError(report, "no data.dat in %s", dataDir);
    const fs::path tmp = fs::temp_directory_path(error);
    std::string pattern = ((error ? fs::path("/tmp") : tmp) / "racesim_XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        return SetError(report, "cannot make a scratch directory");
    const fs::path work = pattern;
    // The inputs are only read; shutdown writes the race history into the scratch directory.
    for (const char* name : {"data.dat", "mappack.dat", "epack.dat"})
        if (fs::exists(data / name, error))
            fs::create_symlink(data / name, work / name, error);

    const int ok = RunRaceInDirectory(work.string(), settings, report);
    HeadlessStop();
    fs::remove_all(work, error);
    return ok;
}
