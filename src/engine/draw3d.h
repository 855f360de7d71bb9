// 3D drawing: the camera, the view frustum, models, hand-built quads, projection
// to screen pixels and the x-z plane geometry. World space is left-handed, y up;
// angle 0 points along +x and 90 along +z.
#pragma once
#include <cstdint>

#include "platform/math3d.h"

namespace plat {
struct Texture;
}
struct ModelRecord;

struct Vertex3D {
    float x, y, z;
    uint32_t colour; // ARGB, multiplied with the texel
    float u, v;
};
static_assert(sizeof(Vertex3D) == 24, "world vertices are 24 bytes");

// Six planes (a, b, c, d), (a, b, c) of unit length: top, bottom, right, left, near, far.
extern float g_frustumPlanes[6][4];

constexpr float kCameraFieldOfView = 0.5235988f;
constexpr float kCameraAspect = 1.0f;
constexpr float kCameraNear = 0.1f;
constexpr float kCameraFar = 100.0f;
constexpr float kModelDegreesToRadians = 0.01745329238474369f;

void SetCameraTransforms(const float lookAt[3], const float eye[3]);
void UpdateFrustumPlanes();
int32_t IsSphereInFrustum(float x, float y, float z, float radius);

// Draws the model's subsets, unless its bounding sphere lies wholly outside the view of
// the device's camera as it is now; either way the device is left in the same state.
void DrawModel(const ModelRecord* model, const plat::Matrix4* world);
void MakeWorldMatrixYaw(plat::Matrix4* out, const float position[3], float* facing);
void MakeWorldMatrixYawRoll(plat::Matrix4* out, const float position[3], float* facing, float lean);
void DrawModelAtPosition(const ModelRecord* sphere, const float position[3]);
// Models out of view are skipped (on by default); off, every model is sent to the device.
void UseModelCulling(bool on);

void SetVertex3D(Vertex3D* vertex, float x, float y, float z, float u, float v);
void DrawQuad3D(const Vertex3D* vertices, uint32_t colour, plat::Texture* texture); // four vertices

void ProjectToScreen(float out[3], const float point[3]);

void OffsetByAngle(float* outX, float* outZ, float x, float z, float angle, float radius);
void StepInDirection(float* outX, float* outZ, float x, float z, float heading, float step);
float GetHorizontalDistance(const float a[3], const float b[3]);
