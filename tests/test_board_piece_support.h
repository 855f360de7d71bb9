// Shared by the board piece, movement and figure tests: a hand-made board on the real
// layer buffers, pieces put straight into their task slots, keys and sounds.
#pragma once
#include <gtest/gtest.h>

#include <cstring>

#include "board/event.h"
#include "board/piece.h"
#include "board/stage.h"
#include "board/world.h"
#include "engine/input.h"
#include "engine/sound.h"
#include "engine/task.h"
#include "engine/wave.h"

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
