// The board screen's 2D overlays, drawn by the board view over the 3D board: the
// status bar along the bottom, the team panel at the top left and the minimap at
// the top right. Everything is read afresh every frame, except the minimap's cells,
// which are taken from the stage map again only when it has changed.
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
