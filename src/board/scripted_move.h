// Moves of the event's piece itself: a spin on the spot and a hop (states of the
// event task), and going back along the board's back-move links (states of the
// piece, which start once the event has ended).
#pragma once
#include <cstdint>

struct BoardPiece;
struct EventTask;

// Squares a go-back takes, picked by RollRandom(3), and the most of them.
constexpr int32_t kGoBackDistances[3] = {4, 3, 5};
constexpr int32_t kLongestGoBack = [] {
    int32_t most = 0;
    for (const int32_t d : kGoBackDistances)
        most = d > most ? d : most;
    return most;
}();

// Event commands.
void StartGoBack(EventTask* event);    // 9
void StartPieceHop(EventTask* event);  // 40
void StartPieceSpin(EventTask* event); // 41
void HopPiece(EventTask* event);
void SpinPiece(EventTask* event);

// The height change of a hop in frame 0..47.
float HopStep(int32_t frame);

// Going back: piece movement states and the steps they take.
void GoBackWaitEvent(BoardPiece* piece);
void BeginGoBack(BoardPiece* piece);
void BackChooseDirection(BoardPiece* piece);
void BackStepMove(BoardPiece* piece);
void BackArrive(BoardPiece* piece);
void OnSquareReachedBack(BoardPiece* piece);
int HasBackLink(int32_t cell, int32_t mask);
void FaceFirstForwardLink(BoardPiece* piece);
