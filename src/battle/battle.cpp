// Battle rules and flow: the two entries, the rounds with their reels and gauges, the
// clash, the message lines and what a battle leaves behind on the board.
#include "battle/battle.h"

#include <cstring>

#include "battle/battle_scene.h"
#include "board/board_view.h"
#include "board/event.h"
#include "board/piece.h"
#include "board/race_result.h"
#include "board/ranking.h"
#include "board/task_table.h"
#include "board/turn.h"
#include "board/world.h"
#include "engine/config.h"
#include "engine/draw3d.h"
#include "engine/input.h"
#include "engine/sound.h"
#include "engine/text.h"
#include "frontend/title.h"

namespace {

constexpr float kGaugeFull = 30.0f;
constexpr float kPartyGaugeStep = 2.0f;
constexpr float kEnemyGaugeStep = 1.5f;
constexpr int32_t kRunTable[12] = {20, 50, 30, 40, 60, 70, 25, 55, 35, 45, 65, 75};
constexpr float kStopTargetTable[6] = {25.0f, 30.0f, 27.0f, 29.0f, 28.0f, 26.0f};
constexpr int32_t kReelStep = 13;
constexpr int32_t kCardPitch = 260;
constexpr int32_t kReelTop = 64;
constexpr int32_t kReelBottom = 324; // excluded
constexpr int32_t kClashPauseFrames = 60;
constexpr int32_t kComputerWait = 70;
constexpr int32_t kFirstMonsterRow = 18;
constexpr int32_t kMonsterRows = 7;
constexpr int kTextLimit = kBattleLineBytes - 1;

// The lines, CP932 as the font knows them.
constexpr const char* kEncounterHead = "\x93\x47\x82\xAA";                                 // 敵が
constexpr const char* kEncounterTail = "\x91\xCC\x82\xA0\x82\xE7\x82\xED\x82\xEA\x82\xBD"; // 体あらわれた
// 敵の集団と戦いになった
constexpr const char* kGroupEncounter =
    "\x93\x47\x82\xCC\x8F\x57\x92\x63\x82\xC6\x90\xED\x82\xA2\x82\xC9\x82\xC8\x82\xC1\x82\xBD";
// (member)の攻撃で(enemy)が倒れた
constexpr const char* kPartyWins = "%s\x82\xCC\x8D\x55\x8C\x82\x82\xC5%s\x82\xAA\x93\x7C\x82\xEA\x82\xBD";
// 敵は全滅、味方の勝利だ
constexpr const char* kEnemiesWipedOut =
    "\x93\x47\x82\xCD\x91\x53\x96\xC5\x81\x41\x96\xA1\x95\xFB\x82\xCC\x8F\x9F\x97\x98\x82\xBE";
// (member)は(enemy)の攻撃に倒れた
constexpr const char* kEnemyWins = "%s\x82\xCD%s\x82\xCC\x8D\x55\x8C\x82\x82\xC9\x93\x7C\x82\xEA\x82\xBD";
// 味方は全滅してしまった
constexpr const char* kPartyWipedOut =
    "\x96\xA1\x95\xFB\x82\xCD\x91\x53\x96\xC5\x82\xB5\x82\xC4\x82\xB5\x82\xDC\x82\xC1\x82\xBD";
constexpr const char* kGameOver = "\x83\x51\x81\x5B\x83\x80\x83\x49\x81\x5B\x83\x6F\x81\x5B"; // ゲームオーバー
// (attacker)の攻撃を(defender)がかわした
constexpr const char* kDodged = "%s\x82\xCC\x8D\x55\x8C\x82\x82\xF0%s\x82\xAA\x82\xA9\x82\xED\x82\xB5\x82\xBD";
constexpr const char* kNoHarm = "\x82\xC7\x82\xBF\x82\xE7\x82\xE0\x96\xB3\x8F\x9D\x82\xBE"; // どちらも無傷だ
constexpr const char* kFightGoesOn = "\x90\xED\x82\xA2\x82\xCD\x82\xDC\x82\xBE\x91\xB1\x82\xAD"; // 戦いはまだ続く

int32_t Clamp(int32_t value, int32_t low, int32_t high)
{
    return value < low ? low : (value > high ? high : value);
}

// A piece's counts may come from a file; the reels and card arrays hold six.
void CopySide(CharacterRecord* records, int32_t* count, int32_t* live, const BoardPiece* piece)
{
    std::memset(records, 0, sizeof(CharacterRecord) * kBattleSideMax);
    *count = Clamp(piece->memberCount, 0, kBattleSideMax);
    *live = Clamp(piece->liveCount, 0, *count);
    for (int32_t i = 0; i < *count; ++i)
        records[i] = piece->members[i];
}

// Only the player's own controller waits for keys; any other number is played by
// the computer, so that a battle always moves on.
bool PlayerControls(const BattleWork* battle)
{
    return battle->partyPiece->controller == kControllerPlayer;
}

bool ConfirmPressed()
{
    return IsKeyPressed(kKeyReturn) || IsKeyPressed(kKeyZ);
}

void StepGauge(float* value, float* speed, float max, float step)
{
    *value += *speed;
    if (*value <= 0.0f) {
        *value = 0.0f;
        *speed = step;
    }
    if (*value >= max) {
        *value = max;
        *speed = -step;
    }
    *value = RoundToNearest(*value);
}

void MovePartyCard(BattleWork* battle, int i)
{
    battle->partyCardY[i] -= kReelStep;
    if (battle->partyCardY[i] + kCardPitch < kReelTop)
        battle->partyCardY[i] = kReelTop + (battle->partyLive - 1) * kCardPitch;
}

void MoveEnemyCard(BattleWork* battle, int i)
{
    battle->enemyCardY[i] += kReelStep;
    if (battle->enemyCardY[i] >= kReelBottom)
        battle->enemyCardY[i] = kReelTop - (battle->enemyLive - 1) * kCardPitch;
}

// The name of a record as a NUL-terminated copy: names from files may fill all 32 bytes.
void CopyName(char (&out)[32], const CharacterRecord& record)
{
    std::memcpy(out, record.name, sizeof out - 1);
    out[sizeof out - 1] = '\0';
}

void ConvertLine(BattleWork* battle, int line)
{
    ConvertTextToGlyphs(battle->messageGlyphs[line], battle->messageText[line], kBattleLineBytes);
}

void WriteLine(BattleWork* battle, int line, const char* pattern, const char* first, const char* second)
{
    FormatBattleLine(battle->messageText[line], pattern, first, second);
    ConvertLine(battle, line);
}

// Steps 1 to 4 shared by both entries; null when a battle already runs.
BattleWork* OpenBattle(BoardPiece* party, BoardPiece* group)
{
    if (g_tasks == nullptr || party == nullptr)
        return nullptr;
    Task* task = CreateTask(kBattleTaskSlot);
    if (task == nullptr)
        return nullptr;
    SetTasksModeOfKind(kTurnControllerKind, kModeSuspend);
    SetTasksModeOfKind(kBoardViewKind, kModeHide);
    SetTasksModeOfKind(kPieceKind, kModeHide);
    StartTask(task, kBattleTaskKind, UpdateBattleTask, DrawBattleTask);
    BattleWork* battle = TaskWork<BattleWork>(task);
    battle->alive = 1;
    battle->gameDecided = 0;
    battle->partyPiece = party;
    battle->groupPiece = group;
    battle->clashPause = 0;
    ResetReelPositions(battle);
    return battle;
}

// Steps 5 (the common tail) to 9.
void FinishOpening(BattleWork* battle, const char* firstLine, int track)
{
    battle->enemySelected = 0;
    battle->enemyGauge = battle->enemyGaugeMax = kGaugeFull;
    battle->enemyRunFrames = 0;
    CopySide(battle->party, &battle->partyCount, &battle->partyLive, battle->partyPiece);
    battle->partySelected = 0;
    battle->partyGauge = battle->partyGaugeMax = kGaugeFull;
    battle->cpuStopDelay = 0;
    battle->waitFrames = kComputerWait;
    ResetGauges(battle);
    ClearBattleMessages(battle);
    SetBattleMessageLine(battle, 0, firstLine);
    battle->battleProc = WaitRoundStart;
    PlayMusic(track);
}

} // namespace

BattleWork* RunningBattle()
{
    if (g_tasks == nullptr || g_tasks[kBattleTaskSlot].alive == 0 || g_tasks[kBattleTaskSlot].kind != kBattleTaskKind)
        return nullptr;
    return TaskWork<BattleWork>(&g_tasks[kBattleTaskSlot]);
}

void RunEventBattleCommand(EventTask* event)
{
    StartEventBattle(event);
    event->stateProc = EventWaitBattleState;
}

void EventWaitBattleState(EventTask* event)
{
    if (g_tasks[kBattleTaskSlot].alive != 0)
        return;
    event->stateProc = EventRunState;
}

void StartEventBattle(EventTask* event)
{
    BattleWork* battle = OpenBattle(event->piece, nullptr);
    if (battle == nullptr)
        return;
    // n possible counts follow; one of them is drawn. Every count is read so that the
    // script goes on behind the command, but a list longer than six, a count of none
    // or more than six, or no list at all never reaches past the six enemy records.
    const char* script = GetEventScript(event);
    const int32_t n = ReadScriptNumber(&event->cursor, script);
    const int32_t pick = RollRandom(n > 1 ? n : 1);
    int32_t count = 0;
    for (int32_t i = 0; i < n && event->cursor < kEventScriptSlotBytes; ++i) {
        const int32_t c = ReadScriptNumber(&event->cursor, script);
        if (i == pick)
            count = c;
    }
    battle->enemyCount = Clamp(count, 1, kBattleSideMax);
    battle->enemyLive = battle->enemyCount;
    for (int32_t i = 0; i < battle->enemyCount; ++i)
        battle->enemies[i] = g_characters[kFirstMonsterRow + RollRandom(kMonsterRows)];
    char line[kBattleLineBytes] = {};
    FormatEncounterMessage(line, battle->enemyCount);
    FinishOpening(battle, line, kMusicBattle);
}

void StartEnemyGroupBattle(BoardPiece* party, BoardPiece* group)
{
    if (group == nullptr)
        return;
    BattleWork* battle = OpenBattle(party, group);
    if (battle == nullptr)
        return;
    CopySide(battle->enemies, &battle->enemyCount, &battle->enemyLive, group);
    FinishOpening(battle, kGroupEncounter, kMusicSecondBattle);
}

void UpdateBattleTask(Task* task)
{
    BattleWork* battle = TaskWork<BattleWork>(task);
    if (battle->battleProc != nullptr)
        battle->battleProc(battle);
    if (battle->alive != 0)
        return;
    task->alive = 0;
    PlayMusic(kMusicBoard);
    const float lookAt[3] = {0.0f, 100.0f, 0.0f};
    const float eye[3] = {0.0f, 100.0f, 1.0f};
    SetCameraTransforms(lookAt, eye);
    if (battle->gameDecided == 1) {
        if (g_raceResult.teamsLeft > 0) {
            ReturnToTitle();
        } else {
            CreateRankingScreen();
            RequestSoundEffect(kSoundFanfare);
        }
    }
}

void WaitRoundStart(BattleWork* battle)
{
    if (!CheckProceed(battle))
        return;
    ClearBattleMessages(battle);
    if (battle->partyLive <= 0 || battle->enemyLive <= 0) {
        // A side came without anyone standing: there is nothing to fight, and a reel
        // without cards would never stop.
        EndRound(battle);
        return;
    }
    battle->battleProc = RunReels;
    SetUpRound(battle);
}

int CheckProceed(BattleWork* battle)
{
    if (PlayerControls(battle))
        return ConfirmPressed() ? 1 : 0;
    if (battle->waitFrames <= 0)
        return 1;
    battle->waitFrames -= 1;
    return 0;
}

void SetUpRound(BattleWork* battle)
{
    battle->partyGauge = battle->partyGaugeMax = kGaugeFull;
    battle->enemyGauge = battle->enemyGaugeMax = kGaugeFull;
    const int32_t index = RollRandom(12);
    const int32_t addend = RollRandom(12);
    const int32_t frames = kRunTable[index] + addend;
    battle->enemyRunFrames = frames;
    battle->cpuStopDelay = frames;
    battle->cpuStopTarget = kStopTargetTable[RollRandom(6)];
    ResetGauges(battle);
}

void ResetGauges(BattleWork* battle)
{
    battle->partyGauge = battle->partyGaugeMax = kGaugeFull;
    battle->enemyGauge = battle->enemyGaugeMax = kGaugeFull;
    battle->partyGaugeSpeed = kPartyGaugeStep;
    battle->enemyGaugeSpeed = kEnemyGaugeStep;
    battle->partyReelState = kReelSpinning;
    battle->enemyReelState = kReelSpinning;
}

void RunReels(BattleWork* battle)
{
    int partyDone = 0;
    switch (battle->partyReelState) {
    case kReelSpinning: partyDone = SpinPartyReel(battle); break;
    case kReelStopping: partyDone = StopPartyReel(battle); break;
    default: partyDone = ReportReelDone(battle); break;
    }
    int enemyDone = 0;
    switch (battle->enemyReelState) {
    case kReelSpinning: enemyDone = SpinEnemyReel(battle); break;
    case kReelStopping: enemyDone = StopEnemyReel(battle); break;
    default: enemyDone = ReportReelDone(battle); break;
    }
    if (partyDone && enemyDone) {
        battle->clashPause = kClashPauseFrames;
        battle->battleProc = WaitClashResult;
        ResolveClash(battle);
    }
}

int SpinPartyReel(BattleWork* battle)
{
    if (battle->partyLive <= 1) {
        battle->partySelected = 0;
    } else {
        for (int i = 0; i < battle->partyLive; ++i) {
            MovePartyCard(battle, i);
            if (battle->partyCardY[i] >= kReelTop && battle->partyCardY[i] <= kReelBottom - 1)
                battle->partySelected = i;
        }
    }
    StepGauge(&battle->partyGauge, &battle->partyGaugeSpeed, battle->partyGaugeMax, kPartyGaugeStep);
    if (PlayerControls(battle)) {
        if (ConfirmPressed())
            battle->partyReelState = kReelStopping;
    } else {
        battle->cpuStopDelay -= 1;
        if (battle->cpuStopDelay <= 0 && battle->partyGauge >= battle->cpuStopTarget)
            battle->partyReelState = kReelStopping;
    }
    return 0;
}

int SpinEnemyReel(BattleWork* battle)
{
    if (battle->enemyLive <= 1) {
        battle->enemySelected = 0;
    } else {
        for (int i = 0; i < battle->enemyLive; ++i) {
            MoveEnemyCard(battle, i);
            const int32_t bottom = battle->enemyCardY[i] + kCardPitch - 1;
            if (bottom >= kReelTop && bottom <= kReelBottom - 1)
                battle->enemySelected = i;
        }
    }
    StepGauge(&battle->enemyGauge, &battle->enemyGaugeSpeed, battle->enemyGaugeMax, kEnemyGaugeStep);
    battle->enemyRunFrames -= 1;
    if (battle->enemyRunFrames <= 0)
        battle->enemyReelState = kReelStopping;
    return 0;
}

int StopPartyReel(BattleWork* battle)
{
    int found = -1;
    if (battle->partyLive <= 1) {
        found = 0;
    } else {
        for (int i = 0; i < battle->partyLive; ++i) {
            if (battle->partyCardY[i] == kReelTop) {
                found = i;
                break;
            }
            MovePartyCard(battle, i);
        }
    }
    if (found < 0)
        return 0;
    battle->partySelected = found;
    battle->partyReelState = kReelStopped;
    RequestSoundEffect(kSoundClick);
    return 1;
}

int StopEnemyReel(BattleWork* battle)
{
    int found = -1;
    if (battle->enemyLive <= 1) {
        found = 0;
    } else {
        for (int i = 0; i < battle->enemyLive; ++i) {
            if (battle->enemyCardY[i] == kReelTop) {
                found = i;
                break;
            }
            MoveEnemyCard(battle, i);
        }
    }
    if (found < 0)
        return 0;
    battle->enemySelected = found;
    battle->enemyReelState = kReelStopped;
    RequestSoundEffect(kSoundClick);
    return 1;
}

int ReportReelDone(BattleWork* /*battle*/)
{
    return 1;
}

void ResolveClash(BattleWork* battle)
{
    const auto p = static_cast<int32_t>(battle->partyGauge);
    const auto e = static_cast<int32_t>(battle->enemyGauge);
    if (p > e) {
        battle->outcome = kClashPartyWins;
        battle->enemies[battle->enemySelected].hitPoints = 0.0f;
    } else if (p < e) {
        battle->outcome = kClashEnemyWins;
        battle->party[battle->partySelected].hitPoints = 0.0f;
    } else {
        battle->outcome = RollRandom(2) == 0 ? kClashTiePartyAttacks : kClashTieEnemyAttacks;
    }
}

void WaitClashResult(BattleWork* battle)
{
    battle->clashPause -= 1;
    if (battle->clashPause > 0)
        return;
    SelectAfterClash(battle);
    battle->waitFrames = kComputerWait;
    ClearBattleMessages(battle);
    FormatClashMessages(battle);
}

void SelectAfterClash(BattleWork* battle)
{
    // The scene reads the two characters of the clash now, before the loser's
    // records are sorted by the messages.
    if (g_gameConfig.battleAnimation != 0) {
        CreateBattleScene(battle);
        battle->battleProc = WaitBattleScene;
    } else {
        battle->battleProc = ShowBattleMessages;
    }
}

void WaitBattleScene(BattleWork* battle)
{
    if (g_tasks[kBattleSceneSlot].alive == 0)
        battle->battleProc = ShowBattleMessages;
}

void FormatClashMessages(BattleWork* battle)
{
    char member[32];
    char enemy[32];
    CopyName(member, battle->party[battle->partySelected]);
    CopyName(enemy, battle->enemies[battle->enemySelected]);
    switch (battle->outcome) {
    case kClashPartyWins:
        WriteLine(battle, 0, kPartyWins, member, enemy);
        SortCharactersByHp(battle->enemies);
        battle->enemyLive -= 1;
        if (battle->enemyLive <= 0)
            SetBattleMessageLine(battle, 1, kEnemiesWipedOut);
        break;
    case kClashEnemyWins:
        WriteLine(battle, 0, kEnemyWins, member, enemy);
        SortCharactersByHp(battle->party);
        battle->partyLive -= 1;
        if (battle->partyLive <= 0) {
            SetBattleMessageLine(battle, 1, kPartyWipedOut);
            if (battle->partyPiece->teamId == g_playerTeam)
                SetBattleMessageLine(battle, 2, kGameOver);
        }
        break;
    case kClashTiePartyAttacks:
        WriteLine(battle, 0, kDodged, member, enemy);
        SetBattleMessageLine(battle, 1, kNoHarm);
        break;
    default:
        WriteLine(battle, 0, kDodged, enemy, member);
        SetBattleMessageLine(battle, 1, kNoHarm);
        break;
    }
}

void SortCharactersByHp(CharacterRecord* records)
{
    float hp[kBattleSideMax];
    CharacterRecord copy[kBattleSideMax];
    for (int i = 0; i < kBattleSideMax; ++i) {
        hp[i] = records[i].hitPoints;
        copy[i] = records[i];
    }
    for (int i = 0; i < kBattleSideMax; ++i) {
        for (int j = i + 1; j < kBattleSideMax; ++j) {
            if (hp[j] > hp[i]) {
                const float h = hp[i];
                hp[i] = hp[j];
                hp[j] = h;
                const CharacterRecord r = copy[i];
                copy[i] = copy[j];
                copy[j] = r;
            }
        }
    }
    for (int i = 0; i < kBattleSideMax; ++i)
        records[i] = copy[i];
}

void ShowBattleMessages(BattleWork* battle)
{
    if (battle->messageLine < 0 || battle->messageLine >= kBattleLines ||
        battle->messageText[battle->messageLine][0] == '\0') {
        ClearBattleMessages(battle);
        ResetReelPositions(battle);
        battle->waitFrames = kComputerWait;
        EndRound(battle);
        return;
    }
    if (PlayerControls(battle)) {
        if (ConfirmPressed())
            battle->messageLine += 1;
    } else if (battle->waitFrames > 0) {
        battle->waitFrames -= 1;
    } else {
        battle->messageLine += 1;
        battle->waitFrames = kComputerWait;
    }
}

void EndRound(BattleWork* battle)
{
    if (battle->partyLive > 0 && battle->enemyLive > 0) {
        SetBattleMessageLine(battle, 0, kFightGoesOn);
        battle->battleProc = WaitRoundStart;
    } else if (battle->partyLive <= 0) {
        LoseBattle(battle);
        battle->alive = 0;
    } else {
        WinBattle(battle);
        battle->alive = 0;
    }
}

void WinBattle(BattleWork* battle)
{
    BoardPiece* party = battle->partyPiece;
    party->liveCount = battle->partyLive;
    for (int32_t i = 0; i < battle->partyCount; ++i)
        party->members[i] = battle->party[i];
    if (battle->groupPiece != nullptr) {
        battle->groupPiece->alive = 0;
        RemovePieceFromTurnList(battle->groupPiece);
    }
    SetTasksModeOfKind(kTurnControllerKind, kModeResume);
    SetTasksModeOfKind(kBoardViewKind, kModeResume);
    SetTasksModeOfKind(kPieceKind, kModeResume);
}

void LoseBattle(BattleWork* battle)
{
    SetTasksModeOfKind(kTurnControllerKind, kModeResume);
    SetTasksModeOfKind(kBoardViewKind, kModeResume);
    SetTasksModeOfKind(kPieceKind, kModeResume);
    BoardPiece* party = battle->partyPiece;
    party->alive = 0;
    RemovePieceFromTurnList(party);
    if (party->teamId == g_playerTeam) {
        battle->gameDecided = 1;
        return;
    }
    RecordPlaceFromBottom(party);
    g_raceResult.teamsLeft -= 1;
    if (g_raceResult.teamsLeft <= 0)
        battle->gameDecided = 1;
}

void ResetReelPositions(BattleWork* battle)
{
    battle->partySelected = 0;
    battle->enemySelected = 0;
    for (int i = 0; i < kBattleSideMax; ++i) {
        battle->partyCardY[i] = kReelTop + kCardPitch * i;
        battle->enemyCardY[i] = kReelTop - kCardPitch * i;
    }
}

void ClearBattleMessages(BattleWork* battle)
{
    battle->messageLine = 0;
    std::memset(battle->messageText, 0, sizeof battle->messageText);
    std::memset(battle->messageGlyphs, 0, sizeof battle->messageGlyphs);
}

void SetBattleMessageLine(BattleWork* battle, int line, const char* text)
{
    if (line < 0 || line >= kBattleLines)
        return;
    std::memset(battle->messageText[line], 0, kBattleLineBytes);
    AppendText(battle->messageText[line], text);
    ConvertLine(battle, line);
}

int32_t MeasureText(const char* text)
{
    int32_t n = 0;
    while (n < 49 && text[n] != '\0')
        ++n;
    return n;
}

void AppendText(char* line, const char* text)
{
    // Whole characters only, and never past 47 bytes: names may come from save files
    // and be longer than any line can hold.
    int32_t end = MeasureText(line);
    const int32_t length = MeasureText(text);
    for (int32_t i = 0; i < length; i += 2) {
        if (i + 1 >= length || end + 2 > kTextLimit)
            break;
        line[end++] = text[i];
        line[end++] = text[i + 1];
    }
}

void AppendFullWidthNumber(char* line, int32_t value)
{
    if (value < 0)
        value = 0;
    char digits[12] = {};
    int n = 0;
    char reversed[12];
    do {
        reversed[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0 && n < 5);
    for (int i = 0; i < n; ++i)
        digits[i] = reversed[n - 1 - i];
    for (int i = 0; i < n; ++i) {
        // Full-width digits run from 0x824F (０) to 0x8258 (９).
        const char wide[3] = {'\x82', static_cast<char>(0x4F + (digits[i] - '0')), '\0'};
        AppendText(line, wide);
    }
}

void FormatEncounterMessage(char* line, int32_t count)
{
    std::memset(line, 0, kBattleLineBytes);
    AppendText(line, kEncounterHead);
    AppendFullWidthNumber(line, count);
    AppendText(line, kEncounterTail);
}

void FormatBattleLine(char* line, const char* pattern, const char* first, const char* second)
{
    std::memset(line, 0, kBattleLineBytes);
    const char* arguments[2] = {first, second};
    int used = 0;
    char piece[3] = {};
    for (const char* p = pattern; *p != '\0';) {
        if (p[0] == '%' && p[1] == 's') {
            if (used < 2 && arguments[used] != nullptr)
                AppendText(line, arguments[used]);
            ++used;
            p += 2;
            continue;
        }
        if (p[1] == '\0')
            break;
        piece[0] = p[0];
        piece[1] = p[1];
        AppendText(line, piece);
        p += 2;
    }
}
