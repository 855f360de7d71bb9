// Adding a finished race to the history, newest first.
#pragma once
#include <ctime>

// Shifts the history down by one (the oldest of ten is dropped) and records the race
// of g_raceResult, g_stageLayers.stageNumber and g_playerTeam at the current local time.
void AddHistoryEntry();
// The same at a given local time.
void AddHistoryEntryAt(const std::tm& localTime);
