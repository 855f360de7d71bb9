#include "persist/history_entry.h"

#include <cstring>

#include "board/race_result.h"
#include "board/world.h"
#include "persist/history.h"

namespace {

// Copies what a history entry stores; the row animation fields stay with their row.
void CopyStoredFields(HistoryEntry& to, const HistoryEntry& from)
{
    to.time = from.time;
    to.stage = from.stage;
    to.playerTeam = from.playerTeam;
    std::memcpy(to.placeTeam, from.placeTeam, sizeof to.placeTeam);
    std::memcpy(to.placeLeader, from.placeLeader, sizeof to.placeLeader);
}

} // namespace

void AddHistoryEntryAt(const std::tm& localTime)
{
    for (int i = kHistoryEntries - 2; i >= 0; --i)
        CopyStoredFields(g_history[i + 1], g_history[i]);
    HistoryEntry& entry = g_history[0];
    entry.time = HistoryTime{};
    entry.time.tm_min = localTime.tm_min;
    entry.time.tm_hour = localTime.tm_hour;
    entry.time.tm_mday = localTime.tm_mday;
    entry.time.tm_mon = localTime.tm_mon;
    entry.time.tm_year = localTime.tm_year;
    entry.stage = g_stageLayers.stageNumber;
    entry.playerTeam = g_playerTeam;
    for (int p = 0; p < 3; ++p) {
        entry.placeTeam[p] = g_raceResult.placeTeam[p];
        entry.placeLeader[p] = g_raceResult.placeLeader[p];
    }
}

void AddHistoryEntry()
{
    // A clock that cannot be read leaves the date at zero rather than at garbage.
    std::tm local{};
    const std::time_t now = std::time(nullptr);
    if (now == static_cast<std::time_t>(-1) || localtime_r(&now, &local) == nullptr)
        local = std::tm{};
    AddHistoryEntryAt(local);
}
