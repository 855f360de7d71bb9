// The board screen's 2D overlays, drawn by the board view over the 3D board: the
// status bar along the bottom, the team panel at the top left and the minimap at
// the top right. They keep no state; everything is read afresh every frame.
#pragma once
#include <cstdint>

struct TurnController;

void DrawStatusBar();
int AnyHumanPieceRolling();
void DrawComputerControlBanner(float x, float y);
void DrawStageNumber(float x, float y);

void DrawStatusOverlay();
void DrawTeamStatusPanel(const TurnController* controller, float x, float y);

void DrawMinimap();
void DrawMinimapPieces();
void DrawMinimapPiece(float x, float negZ, int32_t team);
