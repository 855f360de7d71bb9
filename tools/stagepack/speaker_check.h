// Which faces an event may show. Every event stands on a square, and a square's event
// runs for whichever team ends its move there, so a face that belongs to one team would
// speak to all three as if it were theirs: an event shows a face of no team (a monster)
// or none at all.
#pragma once
#include <string>
#include <vector>

namespace stagecheck {

// One line for every portrait command of a stored script slot (the game's 2,000 bytes,
// as the loader cut them out) that shows a team member's face; empty when there is none.
std::vector<std::string> FindTeamFaces(const char* slot);

} // namespace stagecheck
