// Matrix and vector helpers in the game's convention: row vectors (p' = p * M),
// left-handed space, clip z from 0 to w. The OpenGL back end converts at its seam.
#pragma once
#include <cstdint>

namespace plat {

struct Vec3 {
    float x, y, z;
};

struct Plane {
    float a, b, c, d;
};

struct Matrix4 {
    float m[4][4];
};

struct Viewport {
    uint32_t x, y, width, height;
    float minZ, maxZ;
};

Matrix4 MatrixIdentity();
Matrix4 MatrixMultiply(const Matrix4& a, const Matrix4& b); // a applied first
Matrix4 MatrixTranslation(float x, float y, float z);
Matrix4 MatrixRotationY(float radians);
Matrix4 MatrixRotationZ(float radians);
Matrix4 MatrixLookAtLH(const Vec3& eye, const Vec3& at, const Vec3& up);
Matrix4 MatrixPerspectiveFovLH(float fovY, float aspect, float zNear, float zFar);

Plane PlaneNormalize(const Plane& p);

// The point through world, view and projection, then the viewport: pixels and depth.
Vec3 ProjectPoint(const Vec3& p, const Viewport& viewport, const Matrix4& projection, const Matrix4& view,
                  const Matrix4& world);

Vec3 TransformCoord(const Vec3& p, const Matrix4& m); // with the divide by w

// Axis-aligned box and enclosing sphere of positions spaced stride bytes apart.
bool ComputeBoundingBox(const void* positions, uint32_t count, uint32_t stride, Vec3* min, Vec3* max);
bool ComputeBoundingSphere(const void* positions, uint32_t count, uint32_t stride, Vec3* centre, float* radius);

} // namespace plat
