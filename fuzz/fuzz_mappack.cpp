// The stage map pack "mappack.dat" and the save slots' stage numbers come from outside.
// Every stage number (the three entries and the ones a bad save file may hold) is read
// from the same bytes, then the track walk, the geometry and every checked lookup run
// over the board that was read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "board/stage.h"
#include "board/world.h"

namespace {

// Geometry that must agree with itself on any board the reader accepts.
void CheckBoard()
{
    const int32_t width = g_boardWidth;
    const int32_t height = g_boardHeight;
    if (width < 1 || width > 100 || height < 1 || height > 100)
        std::abort();
    int32_t checksum = 0;
    for (int32_t row = -1; row <= height; ++row) {
        for (int32_t column = -1; column <= width; ++column) {
            checksum += CellKindAt(column, row) + RouteAt(column, row) + BackLinksAt(column, row) +
                        EnemyLinksAt(column, row) + EventAt(column, row);
            if (!IsCellOnBoard(column, row))
                continue;
            const int32_t cell = row * width + column;
            float x = 0.0f;
            float z = 0.0f;
            CellCentre(column, row, &x, &z);
            if (CellAtPosition(x, z) != cell || CellAtPosition(x + 0.9f, z - 0.9f) != cell)
                std::abort();
            for (int32_t heading = 0; heading < 360; heading += 90) {
                const int32_t next = NeighbourCell(cell, heading);
                if (next < -1 || next >= width * height)
                    std::abort();
                checksum += CellKindOf(next) + RouteOf(next) + IsSquareCell(next) + IsTrackSquare(next);
                checksum += IsWalkableAhead(x, z, static_cast<float>(heading));
            }
        }
    }
    // Edges, corners and points far away.
    const float w = static_cast<float>(width);
    const float h = static_cast<float>(height);
    const float points[][2] = {{-w, h}, {w, -h}, {-w - 0.5f, 0.0f}, {0.0f, h + 0.5f}, {1e30f, -1e30f}};
    for (const auto& p : points)
        checksum += CellKindOf(CellAtPosition(p[0], p[1]));
    if (checksum == 0x7FFFFFFF)
        std::abort(); // keeps the reads from being optimised away
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (!InitWorldBuffers())
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    for (int32_t stage = -1; stage <= 4; ++stage) {
        g_stageNumber = stage;
        if (!LoadStageFromMapPackMemory(data, size))
            continue;
        CheckBoard();
        // A walk from a few cells and headings besides the start.
        const int32_t cells = g_boardWidth * g_boardHeight;
        for (int32_t i = 0; i < 4 && i < cells; ++i) {
            const int32_t cell = (i * 7919) % cells;
            float x = 0.0f;
            float z = 0.0f;
            CellCentre(cell % g_boardWidth, cell / g_boardWidth, &x, &z);
            const int32_t count = CountTrackSquares(x, z, 90 * i);
            if (count < 0 || count > 4 * cells)
                std::abort();
        }
        if (FindStartAndMeasureTrack() != g_trackLength)
            std::abort();
    }
    g_stageNumber = 1;
    return 0;
}
