#include "board/piece.h"

void PlaceEventObjects() {}
void CreateEventObject(float /*x*/, float /*y*/, float /*z*/, int32_t /*eventNumber*/, int32_t /*cursor*/,
                       const char* /*script*/)
{
}
int CreateTeamPiece(float /*x*/, float /*y*/, float /*z*/, int32_t /*eventNumber*/, int32_t* /*cursor*/,
                    const char* /*script*/)
{
    return 0;
}
int CreateEnemyPiece(float /*x*/, float /*y*/, float /*z*/, int32_t /*eventNumber*/, int32_t* /*cursor*/,
                     const char* /*script*/)
{
    return 0;
}
void UpdatePiece(Task* /*task*/) {}
void DrawPiece(Task* /*task*/) {}
int IsHiddenByOtherPiece(const BoardPiece* /*piece*/) { return 0; }
void DrawSmallDieIcon(const float /*position*/[3]) {}
void ComputeDirectionArrows(BoardPiece* piece)
{
    for (int32_t& texture : piece->arrowTexture)
        texture = -1;
}
int HasForwardLink(int32_t /*cell*/, int32_t /*bit*/) { return 0; }
int32_t FindNextSquareKind(int32_t /*cell*/, int32_t /*heading*/) { return -1; }
BoardPiece* FindPlayerTeamTask() { return nullptr; }
void DrawDirectionArrows(const BoardPiece* /*piece*/) {}
void DrawGroundMarker(const float /*centre*/[3], int32_t /*texture*/, float /*size*/) {}
void DrawGroundQuad(const float /*centre*/[3], float /*y*/, float /*size*/, int32_t /*texture*/) {}
void ComputeGroundQuadCorners(float /*corners*/[4][3], const float /*centre*/[3], float /*y*/, float /*size*/) {}
