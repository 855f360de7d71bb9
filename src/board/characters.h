// The game's characters: 25 fixed records (18 playable, six a team, then 7 monsters),
// the status screen's profiles of the playable ones, and the message portraits.
// Read-only at run time; pieces and battles carry copies.
#pragma once
#include <cstdint>

#include "engine/sprite.h"

constexpr int kCharacterCount = 25;
constexpr int kPlayableCharacterCount = 18;
constexpr int kPortraitCount = 14;

// Field order and sizes are kept: save slots store the first twelve fields (84 bytes)
// and the first 30 bytes of the name, field by field.
struct CharacterRecord {
    int32_t id;               // row of g_characters
    int32_t modelId;          // row of g_modelTable
    float hitPoints;          // 100.0 standing, 0.0 fallen
    float maxHitPoints;       // 100.0
    float spareValue1;        // 30.0, kept in saves
    float spareValue2;        // 30.0, kept in saves
    SpriteRect portraitRect;  // 200 x 260 card portrait in the atlas
    SpriteRect faceRect;      // face icon; all zero for rows 19..24
    SpriteRect namePlateRect; // the name as a sprite
    int32_t attackStyle;      // 0 or 1
    int32_t moneyReward;      // 0
    int32_t expReward;        // 0
    char name[32];            // CP932, NUL-terminated
};
static_assert(sizeof(CharacterRecord) == 116, "CharacterRecord is 84 bytes of fields and a 32-byte name");

struct CharacterProfile {
    int32_t id;       // 0..17
    int32_t value;    // shown on the status screen's detail panel
    int32_t category; // 0..3: which icon the detail panel shows
    SpriteRect nameRect;
};

extern const CharacterRecord g_characters[kCharacterCount];
extern const CharacterProfile g_characterProfiles[kPlayableCharacterCount];
extern const SpriteRect g_portraitRects[kPortraitCount];
