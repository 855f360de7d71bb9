#include "platform/math3d.h"

#include <cmath>
#include <cstring>

namespace plat {

Matrix4 MatrixIdentity()
{
    Matrix4 r{};
    for (int i = 0; i < 4; ++i)
        r.m[i][i] = 1.0f;
    return r;
}

Matrix4 MatrixMultiply(const Matrix4& a, const Matrix4& b)
{
    Matrix4 r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] + a.m[i][3] * b.m[3][j];
    return r;
}

Matrix4 MatrixTranslation(float x, float y, float z)
{
    Matrix4 r = MatrixIdentity();
    r.m[3][0] = x;
    r.m[3][1] = y;
    r.m[3][2] = z;
    return r;
}

Matrix4 MatrixRotationY(float radians)
{
    const float c = std::cos(radians), s = std::sin(radians);
    Matrix4 r = MatrixIdentity();
    r.m[0][0] = c;
    r.m[0][2] = -s;
    r.m[2][0] = s;
    r.m[2][2] = c;
    return r;
}

Matrix4 MatrixRotationZ(float radians)
{
    const float c = std::cos(radians), s = std::sin(radians);
    Matrix4 r = MatrixIdentity();
    r.m[0][0] = c;
    r.m[0][1] = s;
    r.m[1][0] = -s;
    r.m[1][1] = c;
    return r;
}

static Vec3 Sub(const Vec3& a, const Vec3& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
static float Dot(const Vec3& a, const Vec3& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
static Vec3 Cross(const Vec3& a, const Vec3& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
static Vec3 Normalize(const Vec3& v)
{
    const float len = std::sqrt(Dot(v, v));
    if (len == 0.0f)
        return {0.0f, 0.0f, 0.0f};
    return {v.x / len, v.y / len, v.z / len};
}

Matrix4 MatrixLookAtLH(const Vec3& eye, const Vec3& at, const Vec3& up)
{
    const Vec3 z = Normalize(Sub(at, eye));
    const Vec3 x = Normalize(Cross(up, z));
    const Vec3 y = Cross(z, x);
    Matrix4 r = MatrixIdentity();
    r.m[0][0] = x.x;
    r.m[0][1] = y.x;
    r.m[0][2] = z.x;
    r.m[1][0] = x.y;
    r.m[1][1] = y.y;
    r.m[1][2] = z.y;
    r.m[2][0] = x.z;
    r.m[2][1] = y.z;
    r.m[2][2] = z.z;
    r.m[3][0] = -Dot(x, eye);
    r.m[3][1] = -Dot(y, eye);
    r.m[3][2] = -Dot(z, eye);
    return r;
}

Matrix4 MatrixPerspectiveFovLH(float fovY, float aspect, float zNear, float zFar)
{
    Matrix4 r{};
    const float ys = 1.0f / std::tan(fovY / 2.0f);
    const float xs = ys / aspect;
    r.m[0][0] = xs;
    r.m[1][1] = ys;
    r.m[2][2] = zFar / (zFar - zNear);
    r.m[2][3] = 1.0f;
    r.m[3][2] = -zNear * zFar / (zFar - zNear);
    return r;
}

Plane PlaneNormalize(const Plane& p)
{
    const float len = std::sqrt(p.a * p.a + p.b * p.b + p.c * p.c);
    if (len == 0.0f)
        return {0.0f, 0.0f, 0.0f, 0.0f};
    return {p.a / len, p.b / len, p.c / len, p.d / len};
}

static void Transform4(const Vec3& p, const Matrix4& m, float out[4])
{
    for (int j = 0; j < 4; ++j)
        out[j] = p.x * m.m[0][j] + p.y * m.m[1][j] + p.z * m.m[2][j] + m.m[3][j];
}

Vec3 TransformCoord(const Vec3& p, const Matrix4& m)
{
    float c[4];
    Transform4(p, m, c);
    if (c[3] == 0.0f)
        return {c[0], c[1], c[2]};
    return {c[0] / c[3], c[1] / c[3], c[2] / c[3]};
}

Vec3 ProjectPoint(const Vec3& p, const Viewport& viewport, const Matrix4& projection, const Matrix4& view,
                  const Matrix4& world)
{
    const Matrix4 m = MatrixMultiply(MatrixMultiply(world, view), projection);
    const Vec3 ndc = TransformCoord(p, m);
    Vec3 out;
    out.x = static_cast<float>(viewport.x) + (1.0f + ndc.x) * static_cast<float>(viewport.width) / 2.0f;
    out.y = static_cast<float>(viewport.y) + (1.0f - ndc.y) * static_cast<float>(viewport.height) / 2.0f;
    out.z = viewport.minZ + ndc.z * (viewport.maxZ - viewport.minZ);
    return out;
}

static Vec3 PositionAt(const void* positions, uint32_t i, uint32_t stride)
{
    Vec3 v;
    std::memcpy(&v, static_cast<const uint8_t*>(positions) + static_cast<size_t>(i) * stride, sizeof v);
    return v;
}

bool ComputeBoundingBox(const void* positions, uint32_t count, uint32_t stride, Vec3* min, Vec3* max)
{
    if (!positions || count == 0 || stride < sizeof(Vec3) || !min || !max)
        return false;
    Vec3 lo = PositionAt(positions, 0, stride), hi = lo;
    for (uint32_t i = 1; i < count; ++i) {
        const Vec3 v = PositionAt(positions, i, stride);
        lo = {std::fmin(lo.x, v.x), std::fmin(lo.y, v.y), std::fmin(lo.z, v.z)};
        hi = {std::fmax(hi.x, v.x), std::fmax(hi.y, v.y), std::fmax(hi.z, v.z)};
    }
    *min = lo;
    *max = hi;
    return true;
}

bool ComputeBoundingSphere(const void* positions, uint32_t count, uint32_t stride, Vec3* centre, float* radius)
{
    if (!positions || count == 0 || stride < sizeof(Vec3) || !centre || !radius)
        return false;
    double sx = 0, sy = 0, sz = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const Vec3 v = PositionAt(positions, i, stride);
        sx += v.x;
        sy += v.y;
        sz += v.z;
    }
    const Vec3 c{static_cast<float>(sx / count), static_cast<float>(sy / count), static_cast<float>(sz / count)};
    float r2 = 0.0f;
    for (uint32_t i = 0; i < count; ++i) {
        const Vec3 d = Sub(PositionAt(positions, i, stride), c);
        r2 = std::fmax(r2, Dot(d, d));
    }
    *centre = c;
    *radius = std::sqrt(r2);
    return true;
}

} // namespace plat
