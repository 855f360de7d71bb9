// Every task of the game, by slot and by kind, with the file that owns it.
//
// The slot is where a task sits in the pool: it fixes its turn in the update and draw
// passes (game objects before screens, screens over the board in slot order) and it is
// how tasks find each other. The kind is what a task is: the mode and kill commands
// reach tasks by kind. The two numberings are unrelated (the title menu sits in slot
// 160 but is kind 150), so they are two enums, and the compiler warns where one is
// compared with or added to the other. The scheduler knows neither: it only knows how
// many slots the pool has.
#pragma once
#include <cstdint>

// Slots, in pass order. A range is given by its first slot and the slot after its last.
enum TaskSlot : int {
    kBoardViewSlot = 2,   // board view                          board/board_view.cpp
    kPieceFirstSlot = 10, // board pieces, 10..19                board/piece.cpp
    kPieceSlotEnd = 20,
    kBattleObjectFirstSlot = 80, // battle actors, shots, hit effects   battle/battle_actor.cpp
    kBattleObjectSlotEnd = 100,  //   (80..99)
    kRisingFigureSlot = 99,      // rising team member                  board/figure.cpp
    kTurnControllerSlot = 100,   // turn controller                     board/turn.cpp
    kBattleTaskSlot = 149,       // battle                              battle/battle.cpp
    kEventSlot = 150,            // running square event                board/event.cpp
    kBattleSceneSlot = 151,      // 3D battle scene                     battle/battle_scene.cpp
    kTeamSelectSlot = 152,       // team select                         frontend/team_select.cpp
    kTitleSlot = 160,            // title menu                          frontend/title.cpp
    kConfirmDialogSlot = 161,    // two-answer confirm dialog           frontend/title.cpp
    kOptionsSlot = 162,          // options                             frontend/options.cpp
    kCommandMenuSlot = 163,      // in-game command menu                frontend/command_menu.cpp
    kGallerySlot = 164,          // model gallery                       frontend/gallery.cpp
    kStatusScreenSlot = 165,     // team status screen                  frontend/team_status.cpp
    kSaveMenuSlot = 166,         // save and load slots                 frontend/save_menu.cpp
    kPopupSlot = 167,            // rising popup sprite                 board/event_action.cpp
    kRankingSlot = 168,          // ranking screen                      board/ranking.cpp
    kHistoryScreenSlot = 169,    // race history screen                 frontend/history_screen.cpp
    kPictureSlot = 170,          // picture screen                      frontend/picture_stage.cpp
    kStageSelectSlot = 171,      // stage select                        frontend/picture_stage.cpp
};
// Slot 99 is both the last battle-object slot and the rising member's: whichever is
// created first holds it. A loaded save rebuilds the pieces and the turn controller
// in their slots (persist/save_slot.cpp).

// Kinds, each unique to its task type.
enum TaskKind : int32_t {
    kTurnControllerKind = 0,  // slot 100
    kPieceKind = 1,           // slots 10..19
    kBoardViewKind = 3,       // slot 2
    kRisingFigureKind = 4,    // slot 99
    kBattleTaskKind = 99,     // slot 149
    kEventKind = 100,         // slot 150
    kBattleSceneKind = 101,   // slot 151
    kBattleActorKind = 102,   // slots 80..99
    kShotKind = 103,          // slots 80..99
    kHitEffectKind = 104,     // slots 80..99
    kTitleKind = 150,         // slot 160
    kConfirmDialogKind = 151, // slot 161
    kOptionsKind = 152,       // slot 162
    kCommandMenuKind = 153,   // slot 163
    kGalleryKind = 154,       // slot 164
    kTeamSelectKind = 155,    // slot 152
    kStatusScreenKind = 156,  // slot 165
    kSaveMenuKind = 157,      // slot 166
    kPopupKind = 158,         // slot 167
    kRankingKind = 159,       // slot 168
    kHistoryScreenKind = 160, // slot 169
    kPictureKind = 161,       // slot 170
    kStageSelectKind = 162,   // slot 171
};
