#include "persist/save_slot.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "board/board_view.h"
#include "board/characters.h"
#include "board/event.h"
#include "board/stage.h"
#include "board/turn.h"
#include "board/world.h"
#include "engine/sound.h"
#include "engine/task.h"
#include "platform/byte_order.h"
#include "platform/files.h"

namespace {

constexpr int kBoardMusic = 1;
constexpr int kPlaces = 3;

// Piece block layout.
constexpr size_t kFiguresAt = 68;
constexpr size_t kFigureBytes = 20;
constexpr size_t kMembersAt = 188;
constexpr size_t kMemberBytes = 114;
constexpr size_t kMemberFieldBytes = 84;
constexpr size_t kMemberNameBytes = 30;
constexpr size_t kPieceNameAt = 872;
static_assert(kPieceNameAt + kPieceNameBytes == kSavePieceBytes, "a piece block is 922 bytes");
static_assert(kMembersAt + kPieceMembers * kMemberBytes == kPieceNameAt, "six members of 114 bytes");

void PutI32(uint8_t* at, int32_t value) { plat::StoreLE32(at, static_cast<uint32_t>(value)); }
void PutF32(uint8_t* at, float value)
{
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    plat::StoreLE32(at, bits);
}
int32_t GetI32(const uint8_t* at) { return static_cast<int32_t>(plat::LoadLE32(at)); }
float GetF32(const uint8_t* at)
{
    const uint32_t bits = plat::LoadLE32(at);
    float value = 0.0f;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void PutRect(uint8_t* at, const float rect[4])
{
    for (int i = 0; i < 4; ++i)
        PutF32(at + 4 * i, rect[i]);
}
void GetRect(const uint8_t* at, float rect[4])
{
    for (int i = 0; i < 4; ++i)
        rect[i] = GetF32(at + 4 * i);
}

bool InRange(int32_t value, int32_t low, int32_t high) { return value >= low && value <= high; }

bool IsLivePieceTask(const Task& task) { return task.alive != 0 && task.kind == kPieceKind; }

int Refuse(const char** why, const char* reason)
{
    if (why != nullptr)
        *why = reason;
    return 0;
}

bool AllFinite(const float* values, int count)
{
    for (int i = 0; i < count; ++i)
        if (!std::isfinite(values[i]))
            return false;
    return true;
}

// Field checks of one member record; null when sound.
const char* CheckMember(const CharacterRecord& m)
{
    if (!InRange(m.id, 0, kCharacterCount - 1))
        return "a member's character id is outside 0..24";
    if (!InRange(m.modelId, 0, kCharacterCount - 1))
        return "a member's model id is outside 0..24";
    if (!InRange(m.attackStyle, 0, 3))
        return "a member's attack style is outside 0..3";
    const float values[4] = {m.hitPoints, m.maxHitPoints, m.spareValue1, m.spareValue2};
    if (!AllFinite(values, 4) || !AllFinite(m.portraitRect, 4) || !AllFinite(m.faceRect, 4) ||
        !AllFinite(m.namePlateRect, 4))
        return "a member's hit points or rectangles are not finite numbers";
    return nullptr;
}

const char* CheckPiece(const BoardPiece& p)
{
    if (!InRange(p.controller, kControllerPlayer, kControllerEnemy))
        return "a piece's controller is outside 0..2";
    if (p.teamId < 0 || (p.controller != kControllerEnemy && p.teamId > 2))
        return "a piece's team id is out of range";
    if (!InRange(p.memberCount, 1, kPieceMembers))
        return "a piece's member count is outside 1..6";
    if (!InRange(p.liveCount, 1, p.memberCount))
        return "a piece's live count is outside 1..its member count";
    const float position[4] = {p.x, p.y, p.z, p.heading};
    if (!AllFinite(position, 4))
        return "a piece's position or heading is not a finite number";
    // Headings are whole quarter turns, or what a spin leaves: never past a full turn.
    if (p.heading < 0.0f || p.heading > 360.0f)
        return "a piece's heading is outside 0..360 degrees";
    for (const Figure& f : p.figures) {
        const float pose[4] = {f.x, f.y, f.z, f.facing};
        if (!AllFinite(pose, 4))
            return "a figure's position or facing is not a finite number";
        if (!InRange(f.modelId, 0, kCharacterCount - 1))
            return "a figure's model id is outside 0..24";
    }
    for (const CharacterRecord& m : p.members)
        if (const char* fault = CheckMember(m))
            return fault;
    return nullptr;
}

const char* CheckRaceResult(const RaceResult& r)
{
    if (!InRange(r.nextPlaceFromTop, 0, kPlaces - 1) || !InRange(r.nextPlaceFromBottom, 0, kPlaces - 1))
        return "the race result's next places are outside 0..2";
    if (!InRange(r.playerTeamAtFinish, 0, 2) || !InRange(r.teamsLeft, 0, 3))
        return "the race result's team or count of teams left is out of range";
    for (int i = 0; i < kPlaces; ++i) {
        if (!InRange(r.placeTeam[i], 0, 2) || !InRange(r.placeLeader[i], 0, kCharacterCount - 1) ||
            !InRange(r.placeController[i], kControllerPlayer, kControllerEnemy))
            return "a place of the race result is out of range";
    }
    return nullptr;
}

// The current stage's map and scripts, kept while a slot's stage is read for its
// checks, so that a refused file leaves the running race's board as it was.
struct StageBackup {
    int32_t width, height, stage, trackLength, eventCount;
    int8_t layers[5][kStageCells];
    char scripts[kEventScriptBytes];
    uint8_t text[kEventTextBytes];
};
StageBackup s_stageBackup;

int8_t* const* StageLayerList()
{
    static int8_t* list[5];
    list[0] = g_squareLayer;
    list[1] = g_routeLayer;
    list[2] = g_layerD;
    list[3] = g_eventLayer;
    list[4] = g_layerE;
    return list;
}

void BackUpStage(StageBackup* b)
{
    b->width = g_boardWidth;
    b->height = g_boardHeight;
    b->stage = g_stageNumber;
    b->trackLength = g_trackLength;
    b->eventCount = g_eventCount;
    int8_t* const* layers = StageLayerList();
    for (int i = 0; i < 5; ++i)
        std::memcpy(b->layers[i], layers[i], kStageCells);
    std::memcpy(b->scripts, g_eventScripts, kEventScriptBytes);
    std::memcpy(b->text, g_eventText, kEventTextBytes);
}

void RestoreStage(const StageBackup& b)
{
    g_boardWidth = b.width;
    g_boardHeight = b.height;
    g_stageNumber = b.stage;
    g_trackLength = b.trackLength;
    g_eventCount = b.eventCount;
    int8_t* const* layers = StageLayerList();
    for (int i = 0; i < 5; ++i)
        std::memcpy(layers[i], b.layers[i], kStageCells);
    std::memcpy(g_eventScripts, b.scripts, kEventScriptBytes);
    std::memcpy(g_eventText, b.text, kEventTextBytes);
}

void Report(int slot, const char* what, const char* why)
{
    char name[16];
    FormatSaveSlotName(name, sizeof name, slot);
    std::fprintf(stderr, "%s: %s: %s\n", name, what, why);
}

} // namespace

void FormatSaveSlotName(char* out, size_t size, int slot)
{
    std::snprintf(out, size, "save%d.dat", slot);
}

int CountPieces()
{
    int count = 0;
    for (int slot = kPieceFirstSlot; g_tasks != nullptr && slot < kPieceSlotEnd; ++slot)
        count += IsLivePieceTask(g_tasks[slot]) ? 1 : 0;
    return count;
}

void WriteFollower(uint8_t* at, const Figure& figure)
{
    PutF32(at + 0, figure.x);
    PutF32(at + 4, figure.y);
    PutF32(at + 8, figure.z);
    PutF32(at + 12, figure.facing);
    PutI32(at + 16, figure.modelId);
}

void WriteCharacter(uint8_t* at, const CharacterRecord& r)
{
    PutI32(at + 0, r.id);
    PutI32(at + 4, r.modelId);
    PutF32(at + 8, r.hitPoints);
    PutF32(at + 12, r.maxHitPoints);
    PutF32(at + 16, r.spareValue1);
    PutF32(at + 20, r.spareValue2);
    PutRect(at + 24, r.portraitRect);
    PutRect(at + 40, r.faceRect);
    PutRect(at + 56, r.namePlateRect);
    PutI32(at + 72, r.attackStyle);
    PutI32(at + 76, r.moneyReward);
    PutI32(at + 80, r.expReward);
    std::memcpy(at + kMemberFieldBytes, r.name, kMemberNameBytes);
}

void WritePiece(uint8_t* block, const BoardPiece& p)
{
    PutI32(block + 0, p.rePan);
    PutI32(block + 4, p.controller);
    PutI32(block + 8, p.teamId);
    PutI32(block + 12, p.memberCount);
    PutI32(block + 16, p.liveCount);
    PutI32(block + 20, p.level);
    PutI32(block + 24, p.spinCountdown);
    PutI32(block + 28, p.money);
    PutI32(block + 32, p.experience);
    PutF32(block + 36, p.x);
    PutF32(block + 40, p.y);
    PutF32(block + 44, p.z);
    PutF32(block + 48, p.heading);
    PutI32(block + 52, p.subStep);
    PutI32(block + 56, p.die);
    PutI32(block + 60, p.progress);
    PutI32(block + 64, p.dieFaces);
    for (int i = 0; i < kPieceMembers; ++i)
        WriteFollower(block + kFiguresAt + kFigureBytes * i, p.figures[i]);
    for (int i = 0; i < kPieceMembers; ++i)
        WriteCharacter(block + kMembersAt + kMemberBytes * i, p.members[i]);
    std::memcpy(block + kPieceNameAt, p.name, kPieceNameBytes);
}

void WriteTurnState(uint8_t* at)
{
    // Written whether or not the controller is alive: its work area always exists.
    const TurnController* c = TurnControllerWork();
    const float camera[7] = {c->lookAt[0], c->lookAt[1], c->lookAt[2], c->eye[0], c->eye[1], c->eye[2], c->angle};
    for (int i = 0; i < 7; ++i)
        PutF32(at + 4 * i, camera[i]);
}

size_t EncodeGameSlot(uint8_t* out)
{
    std::memset(out, 0, kSaveMaxBytes);
    PutI32(out + 0, g_stageNumber);
    PutI32(out + 4, g_playerTeam);
    const RaceResult& r = g_raceResult;
    const int32_t result[13] = {r.nextPlaceFromTop, r.playerTeamAtFinish, r.placeTeam[0],      r.placeTeam[1],
                                r.placeTeam[2],      r.placeLeader[0],    r.placeLeader[1],    r.placeLeader[2],
                                r.placeController[0], r.placeController[1], r.placeController[2], r.teamsLeft,
                                r.nextPlaceFromBottom};
    for (int i = 0; i < 13; ++i)
        PutI32(out + 8 + 4 * i, result[i]);
    const int count = CountPieces();
    PutI32(out + 60, count);
    size_t at = kSaveHeaderBytes;
    for (int slot = kPieceFirstSlot; g_tasks != nullptr && slot < kPieceSlotEnd; ++slot) {
        if (!IsLivePieceTask(g_tasks[slot]))
            continue;
        WritePiece(out + at, *PieceOf(&g_tasks[slot]));
        at += kSavePieceBytes;
    }
    WriteTurnState(out + at);
    return at + kSaveCameraBytes;
}

int SaveGameSlot(int slot)
{
    if (slot < 0 || slot >= kSaveSlotCount || g_tasks == nullptr)
        return 0;
    static uint8_t image[kSaveMaxBytes];
    const size_t size = EncodeGameSlot(image);
    char name[16];
    FormatSaveSlotName(name, sizeof name, slot);
    int error = 0;
    if (!plat::WriteFileAtomically(name, image, size, &error)) {
        char why[160];
        std::snprintf(why, sizeof why, "%s; the slot's previous file is kept", plat::FileErrorText(error));
        Report(slot, "the race was not saved", why);
        return 0;
    }
    return 1;
}

void ReadFollower(const uint8_t* at, Figure* figure)
{
    figure->x = GetF32(at + 0);
    figure->y = GetF32(at + 4);
    figure->z = GetF32(at + 8);
    figure->facing = GetF32(at + 12);
    figure->modelId = GetI32(at + 16);
}

void ReadCharacter(const uint8_t* at, CharacterRecord* r)
{
    r->id = GetI32(at + 0);
    r->modelId = GetI32(at + 4);
    r->hitPoints = GetF32(at + 8);
    r->maxHitPoints = GetF32(at + 12);
    r->spareValue1 = GetF32(at + 16);
    r->spareValue2 = GetF32(at + 20);
    GetRect(at + 24, r->portraitRect);
    GetRect(at + 40, r->faceRect);
    GetRect(at + 56, r->namePlateRect);
    r->attackStyle = GetI32(at + 72);
    r->moneyReward = GetI32(at + 76);
    r->expReward = GetI32(at + 80);
    std::memset(r->name, 0, sizeof r->name);
    std::memcpy(r->name, at + kMemberFieldBytes, kMemberNameBytes); // the last two bytes stay NUL
}

void ReadPiece(const uint8_t* block, BoardPiece* p)
{
    *p = BoardPiece{};
    p->rePan = GetI32(block + 0);
    p->controller = GetI32(block + 4);
    p->teamId = GetI32(block + 8);
    p->memberCount = GetI32(block + 12);
    p->liveCount = GetI32(block + 16);
    p->level = GetI32(block + 20);
    p->spinCountdown = 0; // a spin in progress is not taken up again
    p->money = GetI32(block + 28);
    p->experience = GetI32(block + 32);
    p->x = GetF32(block + 36);
    p->y = GetF32(block + 40);
    p->z = GetF32(block + 44);
    p->heading = GetF32(block + 48);
    p->subStep = 0;
    p->die = 1;
    p->progress = GetI32(block + 60);
    p->dieFaces = GetI32(block + 64);
    for (int i = 0; i < kPieceMembers; ++i)
        ReadFollower(block + kFiguresAt + kFigureBytes * i, &p->figures[i]);
    for (int i = 0; i < kPieceMembers; ++i)
        ReadCharacter(block + kMembersAt + kMemberBytes * i, &p->members[i]);
    std::memcpy(p->name, block + kPieceNameAt, kPieceNameBytes);
    p->name[kPieceNameBytes - 1] = '\0';
}

int DecodeGameSlot(const uint8_t* data, size_t size, SavedGame* game, const char** why)
{
    if (data == nullptr || size < kSaveFixedBytes)
        return Refuse(why, "the file is shorter than a slot file");
    const int32_t count = GetI32(data + 60);
    if (!InRange(count, 0, kMaxSavedPieces))
        return Refuse(why, "the number of pieces is outside 0..10");
    if (size != kSaveFixedBytes + kSavePieceBytes * static_cast<size_t>(count))
        return Refuse(why, "the file's size does not match its number of pieces");
    game->stage = GetI32(data + 0);
    game->playerTeam = GetI32(data + 4);
    if (!InRange(game->stage, 1, 3))
        return Refuse(why, "the stage is outside 1..3");
    if (!InRange(game->playerTeam, 0, 2))
        return Refuse(why, "the player's team is outside 0..2");
    RaceResult& r = game->result;
    int32_t* const result[13] = {&r.nextPlaceFromTop, &r.playerTeamAtFinish, &r.placeTeam[0],
                                 &r.placeTeam[1],      &r.placeTeam[2],       &r.placeLeader[0],
                                 &r.placeLeader[1],    &r.placeLeader[2],     &r.placeController[0],
                                 &r.placeController[1], &r.placeController[2], &r.teamsLeft,
                                 &r.nextPlaceFromBottom};
    for (int i = 0; i < 13; ++i)
        *result[i] = GetI32(data + 8 + 4 * i);
    if (const char* fault = CheckRaceResult(r))
        return Refuse(why, fault);
    game->pieceCount = count;
    bool playerPiece = false;
    for (int i = 0; i < count; ++i) {
        BoardPiece& p = game->pieces[i];
        ReadPiece(data + kSaveHeaderBytes + kSavePieceBytes * static_cast<size_t>(i), &p);
        if (const char* fault = CheckPiece(p))
            return Refuse(why, fault);
        if (p.teamId == game->playerTeam && p.controller == kControllerPlayer)
            playerPiece = true;
    }
    if (!playerPiece)
        return Refuse(why, "no piece of the player's team under the player's hand");
    const uint8_t* camera = data + kSaveHeaderBytes + kSavePieceBytes * static_cast<size_t>(count);
    for (int i = 0; i < 7; ++i)
        game->camera[i] = GetF32(camera + 4 * i);
    if (!AllFinite(game->camera, 7))
        return Refuse(why, "the camera is not finite numbers");
    return 1;
}

int CheckSavedPiecesOnBoard(const SavedGame& game, const char** why)
{
    for (int i = 0; i < game.pieceCount; ++i) {
        const BoardPiece& p = game.pieces[i];
        int32_t column = 0;
        int32_t row = 0;
        if (!PositionToCell(p.x, p.z, &column, &row))
            return Refuse(why, "a piece stands outside the stage's board");
        if (CellKindAt(column, row) >= kBlockedKind)
            return Refuse(why, "a piece stands on blocked ground");
    }
    return 1;
}

void RebuildSavedRace(const SavedGame& game)
{
    KillAllTasks();
    ClearTaskPool();
    g_stageNumber = game.stage;
    g_playerTeam = game.playerTeam;
    g_raceResult = game.result;
    for (int i = 0; i < game.pieceCount; ++i) {
        Task* task = CreateTaskInRange(kPieceFirstSlot, kPieceSlotEnd);
        if (task == nullptr)
            break; // the pool was just cleared: ten slots are free for at most ten pieces
        StartTask(task, kPieceKind, UpdatePiece, DrawPiece);
        BoardPiece* p = PieceOf(task);
        *p = game.pieces[i];
        for (int f = 0; f < kPieceMembers; ++f) {
            Figure& figure = p->figures[f];
            figure.alive = 0;
            figure.owner = p;
            figure.ahead = f == 0 ? nullptr : &p->figures[f - 1];
            figure.framesLeft = 0;
            figure.motionProc = f == 0 ? CopyFigurePoseFromOwner : UpdateFigureMotion;
        }
        p->alive = 1;
        p->die = 1;
        p->subStep = 0;
        p->spinCountdown = 0;
        p->moveProc = p->controller == kControllerPlayer ? PlayerRollDie : PieceIdle;
        for (int32_t& texture : p->arrowTexture)
            texture = -1;
    }
    CreateBoardView();

    // The turn controller: the saved camera, everything else rebuilt.
    Task* task = CreateTask(kTurnControllerSlot);
    if (task == nullptr)
        return;
    StartTask(task, kTurnControllerKind, UpdateTurnController, DrawTurnController);
    TurnController* c = TaskWork<TurnController>(task);
    c->alive = 1;
    for (int i = 0; i < 3; ++i) {
        c->lookAt[i] = game.camera[i];
        c->eye[i] = game.camera[3 + i];
    }
    c->angle = game.camera[6];
    c->wait = 0;
    c->panSteps = 0;
    c->cameraProc = FollowCurrentPiece;
    c->turnIndex = 0;
    BuildTurnOrder(c, g_playerTeam);
    c->currentPiece = c->turnList[0];
    // The checks make sure the player's team has a piece; should it ever be missing,
    // the camera stands still instead of following nothing.
    if (c->currentPiece == nullptr)
        c->cameraProc = DoNothingCamera;
}

int LoadGameSlot(int slot)
{
    if (slot < 0 || slot >= kSaveSlotCount || g_tasks == nullptr || g_squareLayer == nullptr)
        return 0;
    char name[16];
    FormatSaveSlotName(name, sizeof name, slot);

    // The whole file, one byte more than the largest slot file to see a longer one.
    static uint8_t image[kSaveMaxBytes + 1];
    int error = 0;
    const long got = plat::ReadFilePrefix(name, image, sizeof image, &error);
    if (got < 0) {
        Report(slot, "the race was not loaded", plat::FileErrorText(error));
        return 0;
    }
    static SavedGame game;
    const char* why = nullptr;
    if (!DecodeGameSlot(image, static_cast<size_t>(got), &game, &why)) {
        Report(slot, "the race was not loaded", why);
        return 0;
    }

    // The slot's stage replaces the layers only for its checks until the file is taken.
    BackUpStage(&s_stageBackup);
    g_stageNumber = game.stage;
    const char* fault = nullptr;
    if (!LoadStageFromMapPack("mappack.dat"))
        fault = "mappack.dat could not be read for the slot's stage";
    else if (!LoadEventScripts("epack.dat"))
        fault = "epack.dat could not be read for the slot's stage";
    else if (!CheckSavedPiecesOnBoard(game, &why))
        fault = why;
    if (fault != nullptr) {
        RestoreStage(s_stageBackup);
        Report(slot, "the race was not loaded", fault);
        return 0;
    }
    RebuildSavedRace(game);
    PlayMusic(kBoardMusic);
    return 1;
}
