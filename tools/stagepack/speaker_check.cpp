#include "speaker_check.h"

#include <algorithm>
#include <cstring>

#include "board/characters.h"
#include "board/event.h"
#include "board/piece.h"
#include "board/world.h"

namespace stagecheck {

namespace {

// The character whose face a portrait shows: the portraits are the characters' own face
// icons, so the row is found by its rectangle. -1 for a number that shows no face.
int CharacterOfFace(int face)
{
    if (face < 0 || face >= kPortraitCount)
        return -1;
    for (int row = 0; row < kCharacterCount; ++row)
        if (g_portraitRects[face] == g_characters[row].faceRect)
            return row;
    return -1;
}

bool IsTeamMember(int row)
{
    return row >= 0 && row < kPlayableCharacterCount;
}

std::string FacesOfNoTeam()
{
    std::string faces;
    for (int face = 0; face < kPortraitCount; ++face) {
        const int row = CharacterOfFace(face);
        if (row >= 0 && !IsTeamMember(row))
            faces += (faces.empty() ? "" : ", ") + std::to_string(face);
    }
    return faces;
}

} // namespace

std::vector<std::string> FindTeamFaces(const char* slot)
{
    std::vector<std::string> found;
    const int length = int(strnlen(slot, kEventScriptSlotBytes));
    // The dispatcher takes every '#' as a command, so every one is read here as it would.
    for (int at = 0; at < length; ++at) {
        if (slot[at] != '#')
            continue;
        int32_t cursor = at + 1;
        if (ReadScriptNumber(&cursor, slot) != kCmdPortrait)
            continue;
        const int face = ReadScriptNumber(&cursor, slot);
        const int row = CharacterOfFace(face);
        if (!IsTeamMember(row))
            continue;
        const int team = row / kPieceMembers; // the playable characters team by team
        found.push_back("#3 at byte " + std::to_string(at) + " shows face " + std::to_string(face) +
                        ", a member of team " + std::to_string(team) +
                        ", to whichever team arrives; show a face of no team (" + FacesOfNoTeam() + ") or none (99)");
    }
    return found;
}

} // namespace stagecheck
