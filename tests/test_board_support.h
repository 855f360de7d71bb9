// Shared by the board, event, battle and board-screen tests: a hand-made board on the
// real layer buffers, pieces put straight into their task slots, keys and sounds, the
// script store, and map and script packs built in memory.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "board/event.h"
#include "board/piece.h"
#include "board/stage.h"
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
        g_boardWidth = width;
        g_boardHeight = height;
        std::memset(g_squareLayer, 15, kStageCells);
        g_eventCount = g_playerTeam = 0;
        ReleaseKeys();
        ClearSoundRequests();
    }
    ~BoardWorld()
    {
        FreeWorldBuffers();
        g_boardWidth = g_boardHeight = 0;
        g_eventCount = 0;
        ReleaseKeys();
        ClearSoundRequests();
    }
    BoardWorld(const BoardWorld&) = delete;
    BoardWorld& operator=(const BoardWorld&) = delete;

    int Index(int column, int row) const { return row * g_boardWidth + column; }
    void Square(int column, int row, int kind, int route = 0)
    {
        g_squareLayer[Index(column, row)] = static_cast<int8_t>(kind);
        g_routeLayer[Index(column, row)] = static_cast<int8_t>(route);
    }
    void Corridor(int column, int row) { Square(column, row, 0); }
    void EnemyLinks(int column, int row, int bits) { g_layerE[Index(column, row)] = static_cast<int8_t>(bits); }
    void Event(int column, int row, int n) { g_eventLayer[Index(column, row)] = static_cast<int8_t>(n); }

    // Cell centres as the board lays them out.
    static float X(int column) { return static_cast<float>(2 * column - g_boardWidth + 1); }
    static float Z(int row) { return static_cast<float>(g_boardHeight - 2 * row - 1); }

    static void ReleaseKeys()
    {
        for (KeySlot& key : g_keys) key.current = key.previous = 0;
    }
    // The given slots are pressed in this frame (down now, up before).
    static void PressKeys(std::initializer_list<int> slots)
    {
        ReleaseKeys();
        for (int slot : slots) g_keys[slot].current = 0x80;
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
    piece->alive = 1;
    piece->controller = controller;
    piece->teamId = teamId;
    piece->memberCount = piece->liveCount = 6;
    piece->x = BoardWorld::X(column);
    piece->y = 0.25f;
    piece->z = BoardWorld::Z(row);
    piece->heading = heading;
    piece->die = 1;
    piece->dieFaces = 6;
    piece->moveProc = PieceIdle;
    for (int32_t& t : piece->arrowTexture) t = -1;
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
        : width(w), height(h), square(size_t(w) * h, uint8_t(fill)), route(square.size()), back(route), event(route), enemy(route) {}
    size_t At(int column, int row) const { return size_t(row) * width + column; }
    void Cell(int column, int row, int kind, int routeBits = 0)
    {
        square[At(column, row)] = uint8_t(kind);
        route[At(column, row)] = uint8_t(routeBits);
    }
    Bytes Serialised() const
    {
        Bytes out;
        test_support::PutLE(out, width, 4);
        test_support::PutLE(out, height, 4);
        test_support::PutLE(out, 0, 4);
        test_support::PutLE(out, 0, 4);
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
        if (pack.size() < at + entries[i].second.size()) pack.resize(at + entries[i].second.size());
        std::memcpy(pack.data() + at, entries[i].second.data(), entries[i].second.size());
    }
    return pack;
}

// Every byte inverted, as the script pack stores its texts.
inline Bytes Inverted(const std::string& text)
{
    Bytes out;
    for (char c : text) out.push_back(uint8_t(~static_cast<unsigned char>(c)));
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
        if (PieceOf(&g_tasks[slot]) == piece) return &g_tasks[slot];
    return nullptr;
}

// One frame of the piece's own update (its move, then its six figures).
inline void Frame(BoardPiece* piece) { UpdatePiece(TaskOf(piece)); }

// Frames until the piece's move procedure is `until`; the number of frames run, or -1.
inline int RunUntil(BoardPiece* piece, PieceProc until, int limit = 400)
{
    for (int frame = 1; frame <= limit; ++frame) {
        Frame(piece);
        if (piece->moveProc == until) return frame;
    }
    return -1;
}

} // namespace board_test

#include "engine/archive.h"
#include "engine/graphics.h"
#include "platform/backends.h"
#include "test_gfx_support.h"

namespace board_test {

// The recording device with every texture and 25 one-triangle models loaded, so that
// each drawn figure is one mesh draw of the current recorded frame.
class RecordedGraphics {
public:
    RecordedGraphics()
    {
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
    }
    RecordedGraphics(const RecordedGraphics&) = delete;
    RecordedGraphics& operator=(const RecordedGraphics&) = delete;

    static void Clear() { plat::CurrentRecordedFrame().Reset(); }
    static plat::RecordedFrame& Frame() { return plat::CurrentRecordedFrame(); }
    static size_t MeshDraws() { return Frame().MeshDraws().size(); }
};

} // namespace board_test
