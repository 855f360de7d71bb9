// Battles: a team's party against up to six enemies, fought in rounds with two card
// reels and two bouncing gauges. One task in slot 149 whose work area is a BattleWork;
// started when a team and an enemy group meet on a square, or by event command 6.
#pragma once
#include <cstdint>

#include "board/characters.h"
#include "engine/task.h"

struct BoardPiece;
struct EventTask;
struct BattleWork;
using BattleProc = void (*)(BattleWork*);

constexpr int kBattleSideMax = 6;
constexpr int kBattleLines = 3;
constexpr int kBattleLineBytes = 48; // 47 bytes of text and the NUL

// How the last clash ended (BattleWork::outcome). In a tie nobody falls; the side
// named attacked and did no harm.
enum ClashOutcome : int32_t {
    kClashPartyWins = 0,
    kClashEnemyWins = 1,
    kClashTiePartyAttacks = 2,
    kClashTieEnemyAttacks = 3,
};

// Where a card reel is in its round (BattleWork::partyReelState, enemyReelState).
enum ReelState : int32_t {
    kReelSpinning = 0,
    kReelStopping = 1, // until a card sits at the window's top
    kReelStopped = 2,
};

struct BattleWork {
    int32_t alive;       // 0 ends the battle at the end of its update
    int32_t outcome;     // a ClashOutcome: the last clash
    int32_t gameDecided; // 1 when this battle ends the game
    BoardPiece* partyPiece;
    BoardPiece* groupPiece; // null in an event battle
    float partyGauge;
    float partyGaugeMax;
    float partyGaugeSpeed;
    float cpuStopTarget;  // a computer party stops at or above this gauge value
    int32_t cpuStopDelay; // frames before a computer party may stop
    int32_t waitFrames;   // the computer's countdown for proceeding and paging
    float enemyGauge;
    float enemyGaugeMax;
    float enemyGaugeSpeed;
    int32_t enemyRunFrames; // frames the enemy reel spins this round
    int32_t partyCardY[kBattleSideMax];
    int32_t enemyCardY[kBattleSideMax];
    int32_t partySelected;
    int32_t enemySelected;
    int32_t partyCount;
    int32_t enemyCount;
    int32_t partyLive;
    int32_t enemyLive;
    CharacterRecord party[kBattleSideMax];   // standing ones first
    CharacterRecord enemies[kBattleSideMax]; // standing ones first
    int32_t partyReelState;                  // a ReelState
    int32_t enemyReelState;
    int32_t clashPause;
    BattleProc battleProc;
    int32_t messageLine; // the line on show, 0..2
    char messageText[kBattleLines][kBattleLineBytes];
    int32_t messageGlyphs[kBattleLines][24];
};
CHECK_TASK_WORK(BattleWork);

// Entries.
void RunEventBattleCommand(EventTask* event);
void EventWaitBattleState(EventTask* event);
void StartEventBattle(EventTask* event);
void StartEnemyGroupBattle(BoardPiece* party, BoardPiece* group);

// The running battle, or null.
BattleWork* RunningBattle();

void UpdateBattleTask(Task* task);
void DrawBattleTask(Task* task);

// States (one is stored in battleProc).
void WaitRoundStart(BattleWork* battle);
void RunReels(BattleWork* battle);
void WaitClashResult(BattleWork* battle);
void WaitBattleScene(BattleWork* battle);
void ShowBattleMessages(BattleWork* battle);

// Rules.
void ResetReelPositions(BattleWork* battle);
void SetUpRound(BattleWork* battle);
void ResetGauges(BattleWork* battle);
int CheckProceed(BattleWork* battle);
int SpinPartyReel(BattleWork* battle);
int StopPartyReel(BattleWork* battle);
int SpinEnemyReel(BattleWork* battle);
int StopEnemyReel(BattleWork* battle);
int ReportReelDone(BattleWork* battle);
void ResolveClash(BattleWork* battle);
void SelectAfterClash(BattleWork* battle);
void FormatClashMessages(BattleWork* battle);
void SortCharactersByHp(CharacterRecord* records);
void ClearBattleMessages(BattleWork* battle);
void SetBattleMessageLine(BattleWork* battle, int line, const char* text);
void EndRound(BattleWork* battle);
void WinBattle(BattleWork* battle);
void LoseBattle(BattleWork* battle);

// Message lines: every line is kept within 47 bytes, cut before a character that
// would not fit whole.
void FormatEncounterMessage(char* line, int32_t count);
void FormatBattleLine(char* line, const char* pattern, const char* first, const char* second);
void AppendFullWidthNumber(char* line, int32_t value);
void AppendText(char* line, const char* text);
int32_t MeasureText(const char* text);

// The battle screen.
void DrawBattleFrame();
void DrawBattleCards(const BattleWork* battle);
void DrawCombatantPlates(const BattleWork* battle);
void DrawNamePlate(float x, float y, const CharacterRecord* records, int32_t index);
void DrawCountPair(float x, float y, int32_t a, int32_t b);
void DrawGauges(const BattleWork* battle);
void DrawPartyGauge(float value, float max);
void DrawEnemyGauge(float value, float max);
void DrawReelBanner();
void DrawClashOutcome(const BattleWork* battle);
// The message box: the translucent panel and the message line on show.
void DrawTextBox(const BattleWork* battle);
