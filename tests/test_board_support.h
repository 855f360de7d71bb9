// Shared by the board, event, battle and board-screen tests: a hand-made board on the
// real layer buffers, pieces put straight into their task slots, keys and sounds, the
// script store, and map and script packs built in memory.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "app/app.h"
#include "board/event.h"
#include "board/piece.h"
#include "board/stage.h"
#include "board/task_table.h"
#include "board/world.h"
#include "engine/input.h"
#include "engine/sound.h"
#include "engine/task.h"
#include "engine/wave.h"
#include "test_support.h"

namespace board_test {

// A W x H board of blocked ground (kind 15); tests carve their paths into it.
class BoardWorld {
public:
    BoardWorld(int width, int height)
    {
        EXPECT_EQ(InitWorldBuffers(), 1);
        g_stageLayers.boardWidth = width;
        g_stageLayers.boardHeight = height;
        std::memset(g_stageLayers.squareLayer, 15, kStageCells);
        g_eventCount = g_playerTeam = 0;
        ReleaseKeys();
        ClearSoundRequests();
    }
    ~BoardWorld()
    {
        FreeWorldBuffers();
        g_stageLayers.boardWidth = g_stageLayers.boardHeight = g_eventCount = 0;
        ReleaseKeys();
        ClearSoundRequests();
    }
    BoardWorld(const BoardWorld&) = delete;
    BoardWorld& operator=(const BoardWorld&) = delete;

    int Index(int column, int row) const { return row * g_stageLayers.boardWidth + column; }
    void Square(int column, int row, int kind, int route = 0)
    {
        g_stageLayers.squareLayer[Index(column, row)] = static_cast<int8_t>(kind);
        g_stageLayers.routeLayer[Index(column, row)] = static_cast<int8_t>(route);
    }
    // Squares given as {column, row, kind, route bits}.
    void Squares(std::initializer_list<std::array<int, 4>> cells)
    {
        for (const auto& c : cells)
            Square(c[0], c[1], c[2], c[3]);
    }
    void Corridor(int column, int row) { Square(column, row, 0); }
    void EnemyLinks(int column, int row, int bits)
    {
        g_stageLayers.layerE[Index(column, row)] = static_cast<int8_t>(bits);
    }
    void Event(int column, int row, int n) { g_stageLayers.eventLayer[Index(column, row)] = static_cast<int8_t>(n); }

    // Cell centres as the board lays them out.
    static float X(int column) { return static_cast<float>(2 * column - g_stageLayers.boardWidth + 1); }
    static float Z(int row) { return static_cast<float>(g_stageLayers.boardHeight - 2 * row - 1); }

    static void ReleaseKeys()
    {
        for (KeySlot& key : g_keys)
            key.current = key.previous = 0;
    }
    // The given slots are pressed in this frame (down now, up before).
    static void PressKeys(std::initializer_list<int> slots)
    {
        ReleaseKeys();
        for (int slot : slots)
            g_keys[slot].current = 0x80;
    }
    static bool Heard(int id) { return g_soundRequests[id].requested != 0; }
};

// A piece in the given slot, set up as the stage start sets one up: six figures
// chained on the piece, members of character 0.
inline BoardPiece* SpawnPiece(int slot, int32_t controller, int column, int row, float heading, int32_t teamId = 0)
{
    Task* task = CreateTask(slot);
    EXPECT_NE(task, nullptr);
    task->alive = task->updateEnabled = task->drawEnabled = 1;
    task->kind = kPieceKind;
    task->update = UpdatePiece;
    task->draw = DrawPiece;
    BoardPiece* piece = PieceOf(task);
    piece->alive = piece->die = 1;
    piece->controller = controller;
    piece->teamId = teamId;
    piece->memberCount = piece->liveCount = piece->dieFaces = 6;
    piece->x = BoardWorld::X(column);
    piece->y = 0.25f;
    piece->z = BoardWorld::Z(row);
    piece->heading = heading;
    piece->stateProc = PieceIdle;
    for (int32_t& t : piece->arrowTexture)
        t = -1;
    Figure* ahead = nullptr;
    for (int i = 0; i < kPieceMembers; ++i)
        ahead = InitFigure(&piece->figures[i], piece->x, piece->y, piece->z, heading, 0,
                           i == 0 ? CopyFigurePoseFromOwner : UpdateFigureMotion, ahead, piece);
    return piece;
}

// Stores a script in its event's slot (already in its stored form: no spaces, comments
// or '@'); the rest of the slot is cleared.
inline void StoreScript(int eventNumber, const std::string& text)
{
    char* slot = g_eventScripts + (eventNumber - 1) * kEventScriptSlotBytes;
    std::memset(slot, 0, kEventScriptSlotBytes);
    std::memcpy(slot, text.data(), std::min<size_t>(text.size(), kEventScriptSlotBytes));
}

// ---- Packs built in memory ----

using test_support::Bytes;

// One map-pack stage entry: W, H and the five layers in file order.
struct MapEntry {
    uint32_t width = 0;
    uint32_t height = 0;
    Bytes square, route, back, event, enemy;

    MapEntry(uint32_t w, uint32_t h, int fill = 0)
        : width(w), height(h), square(size_t(w) * h, uint8_t(fill)), route(square.size()), back(route), event(route),
          enemy(route)
    {}
    size_t At(int column, int row) const { return size_t(row) * width + column; }
    void Cell(int column, int row, int kind, int routeBits = 0)
    {
        square[At(column, row)] = uint8_t(kind);
        route[At(column, row)] = uint8_t(routeBits);
    }
    Bytes Serialised() const
    {
        Bytes out;
        for (uint32_t word : {width, height, 0u, 0u})
            test_support::PutLE(out, word, 4);
        for (const Bytes* layer : {&square, &route, &back, &event, &enemy})
            out.insert(out.end(), layer->begin(), layer->end());
        return out;
    }
};

// A map pack whose three offset words are given; each entry is written at 12 + its offset.
inline Bytes MapPack(const std::vector<std::pair<uint32_t, Bytes>>& entries)
{
    Bytes pack(12, 0);
    for (size_t i = 0; i < entries.size(); ++i) {
        test_support::PutU32(pack, 4 * i, entries[i].first);
        const size_t at = 12 + entries[i].first;
        if (pack.size() < at + entries[i].second.size())
            pack.resize(at + entries[i].second.size());
        std::memcpy(pack.data() + at, entries[i].second.data(), entries[i].second.size());
    }
    return pack;
}

// Every byte inverted, as the script pack stores its texts.
inline Bytes Inverted(const std::string& text)
{
    Bytes out;
    for (char c : text)
        out.push_back(uint8_t(~static_cast<unsigned char>(c)));
    return out;
}

// A script pack with the stages' texts in order; lengthOverride replaces each length word.
inline Bytes EventPack(const std::vector<std::string>& texts, int64_t lengthOverride = -1)
{
    Bytes body;
    Bytes pack(12, 0);
    for (size_t s = 0; s < texts.size(); ++s) {
        test_support::PutU32(pack, 4 * s, uint32_t(body.size()));
        test_support::PutLE(body, lengthOverride >= 0 ? uint32_t(lengthOverride) : uint32_t(texts[s].size()), 4);
        const Bytes text = Inverted(texts[s]);
        body.insert(body.end(), text.begin(), text.end());
    }
    pack.insert(pack.end(), body.begin(), body.end());
    return pack;
}

inline Task* TaskOf(const BoardPiece* piece)
{
    for (int slot = kPieceFirstSlot; slot < kPieceSlotEnd; ++slot)
        if (PieceOf(&g_tasks[slot]) == piece)
            return &g_tasks[slot];
    return nullptr;
}

// One frame of the piece's own update (its move, then its six figures).
inline void Frame(BoardPiece* piece)
{
    UpdatePiece(TaskOf(piece));
}

// Frames until the piece's stateProc is `until`; the number of frames run, or -1.
inline int RunUntil(BoardPiece* piece, PieceProc until, int limit = 400)
{
    for (int frame = 1; frame <= limit; ++frame)
        if (Frame(piece); piece->stateProc == until)
            return frame;
    return -1;
}

} // namespace board_test

#include "engine/archive.h"
#include "engine/draw3d.h"
#include "engine/graphics.h"
#include "platform/backends.h"
#include "test_gfx_support.h"

namespace board_test {

// The recording device with every texture and 25 one-triangle models loaded, so that
// each drawn figure is one mesh draw of the current recorded frame, whether the camera
// (the start-up one, looking away from the board) sees it or not.
class RecordedGraphics {
public:
    RecordedGraphics()
    {
        UseModelCulling(false);
        ReleaseGraphics();
        plat::SelectGfxBackend(plat::GfxBackend::Recording);
        const gfx_test::ArchiveImage archive = gfx_test::MinimalGraphicsArchive();
        EXPECT_EQ(LoadDataFromMemory(archive.Bytes().data(), archive.Bytes().size()), 1);
        EXPECT_EQ(InitGraphics(nullptr), 1);
        Clear();
    }
    ~RecordedGraphics()
    {
        ReleaseGraphics();
        FreeDataFile();
        plat::SelectGfxBackend(plat::GfxBackend::OpenGL);
        UseModelCulling(true);
    }
    RecordedGraphics(const RecordedGraphics&) = delete;
    RecordedGraphics& operator=(const RecordedGraphics&) = delete;

    static void Clear() { plat::CurrentRecordedFrame().Reset(); }
    static plat::RecordedFrame& Frame() { return plat::CurrentRecordedFrame(); }
    static size_t MeshDraws() { return Frame().MeshDraws().size(); }
};

} // namespace board_test

// ---- Headless runs of the real game ----

#include <filesystem>

#include "board/characters.h"
#include "board/figure.h"
#include "board/turn.h"
#include "engine/glyph_table.h"
#include "platform/text_encoding.h"
#include "test_frontend_fixture.h"

namespace board_test {

// Whether the content build left both stage packs in the game's directory.
inline bool HasStagePacks(const std::string& dir)
{
    return std::filesystem::exists(dir + "/mappack.dat") && std::filesystem::exists(dir + "/epack.dat");
}

} // namespace board_test

// A headless game with the board tasks cleared away: hand-made scripts in the
// script store, a hand-made party on a small hand-made board, and the event task
// run through the real frame loop.
class EventRun : public FrontendRun {
protected:
    static constexpr int kWidth = 8;
    static constexpr int kHeight = 3;

    void SetUp() override
    {
        FrontendRun::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        KillAllTasks();
        Frames(1);
        ClearStageData();
        g_stageLayers.boardWidth = kWidth;
        g_stageLayers.boardHeight = kHeight;
        g_stageLayers.stageNumber = 1;
        // Row 1 is a line of squares between blocked rows.
        for (int cell = 0; cell < kWidth * kHeight; ++cell)
            g_stageLayers.squareLayer[cell] = cell / kWidth == 1 ? 10 : 15;
    }

    // A party of six of team `team` on cell (column, 1), waiting for its event as a
    // piece that has just arrived does.
    BoardPiece* Party(int controller, int column, float heading = 0.0f, int team = 0)
    {
        BoardPiece* p = board_test::SpawnPiece(10 + team, controller, column, 1, heading, team);
        p->stateProc = PieceWaitEvent;
        for (int i = 0; i < 6; ++i) {
            p->members[i] = g_characters[6 * team + i];
            p->figures[i].modelId = p->members[i].modelId;
        }
        return p;
    }

    EventTask* Event() { return g_tasks[kEventSlot].alive ? TaskWork<EventTask>(&g_tasks[kEventSlot]) : nullptr; }
    bool EventRunning() const { return g_tasks[kEventSlot].alive != 0; }

    // Starts event 1 for the piece; its first command runs in the second frame.
    void Start(BoardPiece* piece, int eventNumber = 1)
    {
        soundsHeard_.assign(kSoundEffectCount, 0);
        ASSERT_EQ(StartEvent(piece, eventNumber), 1);
    }

    // Frames until the event has ended (or the limit); returns the frames run.
    int RunToEnd(int limit = 2000)
    {
        int frames = 0;
        for (; EventRunning() && frames < limit; ++frames)
            Frames(1);
        return frames;
    }

    int SoundCount(int id) { return id >= 0 && id < kSoundEffectCount ? soundTally_[id] : 0; }

    void Frames(int count)
    {
        for (int i = 0; i < count; ++i) {
            FrontendRun::Frames(1);
            for (int id = 0; id < kSoundEffectCount; ++id)
                if (g_soundRequests[id].requested)
                    ++soundTally_[id];
        }
    }

    // Keys down for one frame, then up for one frame.
    void Tap(uint32_t keys)
    {
        HeadlessSetKeys(keys);
        Frames(1);
        HeadlessSetKeys(0);
        Frames(1);
    }
    void Tap(KeySlotId slot) { Tap(1u << slot); }

    int soundTally_[kSoundEffectCount] = {};
};

// CP932 bytes of a text written in UTF-8, character by character through the font's
// glyph codes (tests only use characters the font has).
inline std::string Sjis(const std::string& utf8)
{
    std::string out;
    size_t at = 0;
    while (at < utf8.size()) {
        bool found = false;
        for (int i = 1; i < kGlyphCount && !found; ++i) {
            const std::string u = plat::Cp932ToUtf8(g_glyphTable[i].code);
            if (!u.empty() && utf8.compare(at, u.size(), u) == 0) {
                out += g_glyphTable[i].code;
                at += u.size();
                found = true;
            }
        }
        if (!found)
            out += utf8[at++]; // ASCII (labels, digits, separators)
    }
    return out;
}

// A headless race for the board screen tests: the real game from the title through
// stage select and team select onto the board, then frames until the player's die
// spins under the player's hand.
class BoardScreenRun : public FrontendRun {
protected:
    bool HasPacks() const { return board_test::HasStagePacks(dir_.path()); }

    // Stage select is the title's last entry (right column, bottom row); the first
    // entry then opens team select, and Return there starts the race for team 0.
    void StartRace(int stage)
    {
        Press(kKeyRight);
        Press(kKeyUp);
        Press(kKeyReturn);
        Frames(2);
        for (int i = 0; i < 3 && g_stageLayers.stageNumber != stage; ++i)
            Press(kKeyRight);
        for (int i = 0; i < 2; ++i)
            Press(kKeyReturn), Frames(2);
        Press(kKeyReturn);
        ASSERT_EQ(g_stageLayers.stageNumber, stage);
        ASSERT_EQ(g_tasks[100].alive, 1) << "the race did not start";
    }

    // Frames until the player's team, under the player's hand, rolls its die.
    bool RunUntilPlayerRolls(int limit = 600)
    {
        for (int i = 0; i < limit; ++i) {
            const BoardPiece* piece = FindPlayerTeamPiece();
            if (piece != nullptr && piece->controller == kControllerPlayer && piece->stateProc == PlayerRollDie)
                return true;
            Frames(1);
        }
        return false;
    }
};

// ---- Battles: teams and enemy groups put straight into their slots, the battle task
// stepped frame by frame ----

#include "battle/battle.h"
#include "board/race_result.h"
#include "engine/config.h"

namespace board_test {

// A piece that only holds its members (no update, draw or figures), for screens that
// just read it: members from consecutive character rows from firstCharacter.
inline BoardPiece* SidePiece(int slot, int32_t controller, int firstCharacter, int members)
{
    Task* task = CreateTask(slot);
    task->alive = task->updateEnabled = 1;
    task->kind = kPieceKind;
    BoardPiece* piece = PieceOf(task);
    piece->alive = 1;
    piece->controller = controller;
    piece->teamId = controller == kControllerEnemy ? 5 : 1;
    piece->memberCount = piece->liveCount = members;
    for (int i = 0; i < members; ++i)
        piece->members[i] = g_characters[firstCharacter + i];
    return piece;
}

} // namespace board_test

namespace battle_test {

using board_test::BoardWorld;
using board_test::SpawnPiece;

// Character rows as the table lays them out: teams of six from row 0, monsters from 18.
// Members from character rows firstRow + i % rows; those from `live` on are down.
inline BoardPiece* WithMembers(BoardPiece* piece, int members, int live, int firstRow, int rows)
{
    piece->memberCount = members;
    piece->liveCount = live;
    for (int i = 0; i < members; ++i) {
        piece->members[i] = g_characters[firstRow + i % rows];
        if (i >= live)
            piece->members[i].hitPoints = 0.0f;
    }
    return piece;
}

inline BoardPiece* Team(int slot, int32_t controller, int32_t team, int members = 6, int live = 6)
{
    return WithMembers(SpawnPiece(slot, controller, 1, 1, 0.0f, team), members, live, 6 * team, kPieceMembers);
}

inline BoardPiece* Group(int slot, int members, int live = -1, int32_t id = 5)
{
    return WithMembers(SpawnPiece(slot, kControllerEnemy, 1, 1, 0.0f, id), members, live < 0 ? members : live, 18, 7);
}

inline BattleWork* Battle()
{
    return RunningBattle();
}

// One frame of the battle task's own update.
inline void Step()
{
    if (g_tasks[kBattleTaskSlot].alive)
        UpdateBattleTask(&g_tasks[kBattleTaskSlot]);
}

// Frames until the battle's state is `state` (or it has ended); the frames run, or -1.
inline int StepUntil(BattleProc state, int limit = 2000)
{
    for (int frame = 1; frame <= limit; ++frame) {
        Step();
        BattleWork* battle = Battle();
        if (battle == nullptr || battle->battleProc == state)
            return frame;
    }
    return -1;
}

inline std::string Line(const BattleWork* battle, int line)
{
    return plat::Cp932ToUtf8(battle->messageText[line]);
}

// The board with the battle animation off unless a test turns it on, and the race
// result of a fresh race.
class BattleBoard : public BoardWorld {
public:
    BattleBoard() : BoardWorld(4, 4)
    {
        savedAnimation_ = g_gameConfig.battleAnimation;
        g_gameConfig.battleAnimation = 0;
        ResetRaceResult();
        Square(1, 1, 10);
    }
    ~BattleBoard() { g_gameConfig.battleAnimation = savedAnimation_; }
    BattleBoard(const BattleBoard&) = delete;
    BattleBoard& operator=(const BattleBoard&) = delete;

private:
    int32_t savedAnimation_ = 1;
};

} // namespace battle_test
