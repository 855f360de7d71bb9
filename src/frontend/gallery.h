// The model gallery (slot 164): all 25 character models on a ring; Left and Right
// turn the ring, the selected model stands out in front and turns on the spot when
// left alone.
#pragma once
#include <cstdint>

#include "engine/task.h"

constexpr int kGalleryModelCount = 25;

struct GalleryWork;
using GalleryProc = void (*)(GalleryWork*);

struct GalleryWork {
    int32_t alive;
    int32_t count;                        // 25
    int32_t selected;                     // model id 0..24
    int32_t idleFrames;                   // frames since the last turn, capped at 100
    float turnStep;                       // degrees a frame while the ring turns
    float spinAngle;                      // facing of the selected model
    float ringAngles[kGalleryModelCount]; // degrees; 270 is the front
    float ringRadii[kGalleryModelCount];  // 10 on the ring, 25 pushed out
    GalleryProc stateProc;
};
CHECK_TASK_WORK(GalleryWork);

int OpenModelGallery();
int CreateModelGallery();
void UpdateModelGallery(Task* task);
void DrawModelGallery(Task* task);
void StartGallery(GalleryWork* work);
void RunGalleryIdle(GalleryWork* work);
void TurnGalleryForward(GalleryWork* work);
void TurnGalleryBack(GalleryWork* work);
void PulseGalleryRadii(GalleryWork* work);
void DrawGalleryRing(GalleryWork* work);
