// Camera, frustum, models, quads and the x-z plane geometry. Every operation that
// reaches the device does nothing while there is none (the update pass may still
// run for one frame after a failed rebuild).
#include "engine/draw3d.h"

#include <algorithm>
#include <cmath>

#include "engine/assets.h"
#include "engine/graphics.h"
#include "engine/input.h"
#include "platform/gfx_device.h"

float g_frustumPlanes[6][4] = {};

void SetCameraTransforms(const float lookAt[3], const float eye[3])
{
    if (!g_d3dDevice)
        return;
    const plat::Matrix4 view =
        plat::MatrixLookAtLH({eye[0], eye[1], eye[2]}, {lookAt[0], lookAt[1], lookAt[2]}, {0.0f, 1.0f, 0.0f});
    g_d3dDevice->SetTransform(plat::TransformState::View, view);
    const plat::Matrix4 projection =
        plat::MatrixPerspectiveFovLH(kCameraFieldOfView, kCameraAspect, kCameraNear, kCameraFar);
    g_d3dDevice->SetTransform(plat::TransformState::Projection, projection);
}

void UpdateFrustumPlanes()
{
    if (!g_d3dDevice)
        return;
    const plat::Matrix4 m = plat::MatrixMultiply(g_d3dDevice->GetTransform(plat::TransformState::View),
                                                 g_d3dDevice->GetTransform(plat::TransformState::Projection));
    auto column = [&](int j) { return plat::Plane{m.m[0][j], m.m[1][j], m.m[2][j], m.m[3][j]}; };
    const plat::Plane c1 = column(0), c2 = column(1), c3 = column(2), c4 = column(3);
    auto add = [](const plat::Plane& a, const plat::Plane& b) {
        return plat::Plane{a.a + b.a, a.b + b.b, a.c + b.c, a.d + b.d};
    };
    auto sub = [](const plat::Plane& a, const plat::Plane& b) {
        return plat::Plane{a.a - b.a, a.b - b.b, a.c - b.c, a.d - b.d};
    };
    const plat::Plane planes[6] = {sub(c4, c2), add(c4, c2), sub(c4, c1), add(c4, c1), add(c4, c3), sub(c4, c3)};
    for (int i = 0; i < 6; ++i) {
        const plat::Plane p = plat::PlaneNormalize(planes[i]);
        g_frustumPlanes[i][0] = p.a;
        g_frustumPlanes[i][1] = p.b;
        g_frustumPlanes[i][2] = p.c;
        g_frustumPlanes[i][3] = p.d;
    }
}

int32_t IsSphereInFrustum(float x, float y, float z, float radius)
{
    for (const float* p : g_frustumPlanes) {
        const float distance = p[0] * x + p[1] * y + p[2] * z + p[3];
        if (distance < -radius)
            return 0;
    }
    return 1;
}

namespace {

bool g_cullModels = true;

bool SameMatrix(const plat::Matrix4& a, const plat::Matrix4& b)
{
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            if (!(a.m[i][j] == b.m[i][j]))
                return false;
    return true;
}

// The view volume of the device's camera as the rasteriser clips it: six planes
// (a, b, c, d) of unit normal, a point inside when a x + b y + c z + d >= 0. Unlike
// g_frustumPlanes it follows every camera, whoever sets it, and its near side is the
// near plane itself. Taken again only when the view or projection changes.
struct ViewVolume {
    plat::Matrix4 view{};
    plat::Matrix4 projection{};
    float planes[6][4] = {};
    bool valid = false;
};
ViewVolume g_viewVolume;

const ViewVolume& CurrentViewVolume()
{
    const plat::Matrix4 view = g_d3dDevice->GetTransform(plat::TransformState::View);
    const plat::Matrix4 projection = g_d3dDevice->GetTransform(plat::TransformState::Projection);
    ViewVolume& v = g_viewVolume;
    if (v.valid && SameMatrix(v.view, view) && SameMatrix(v.projection, projection))
        return v;
    v.view = view;
    v.projection = projection;
    const plat::Matrix4 m = plat::MatrixMultiply(view, projection);
    // Clip x, y within -w..w and z within 0..w, from the columns of the product.
    const int signs[6][3] = {{0, 1, 1}, {0, -1, 1}, {1, 1, 1}, {1, -1, 1}, {2, 1, 0}, {2, -1, 1}};
    for (int p = 0; p < 6; ++p) {
        const int column = signs[p][0];
        const float sign = static_cast<float>(signs[p][1]);
        const float withW = static_cast<float>(signs[p][2]);
        plat::Plane plane{withW * m.m[0][3] + sign * m.m[0][column], withW * m.m[1][3] + sign * m.m[1][column],
                          withW * m.m[2][3] + sign * m.m[2][column], withW * m.m[3][3] + sign * m.m[3][column]};
        plane = plat::PlaneNormalize(plane);
        v.planes[p][0] = plane.a;
        v.planes[p][1] = plane.b;
        v.planes[p][2] = plane.c;
        v.planes[p][3] = plane.d;
    }
    v.valid = true;
    return v;
}

// Whether the model, placed by the world matrix, lies wholly outside the view: the
// sphere about its bounding box, taken into the world, beyond one side of the volume.
// A model without bounds is always drawn.
bool IsModelOutOfView(const ModelRecord* model, const plat::Matrix4& world)
{
    const float* lo = model->boundsMin;
    const float* hi = model->boundsMax;
    if (!(hi[0] > lo[0] || hi[1] > lo[1] || hi[2] > lo[2]))
        return false;
    const float c[3] = {(lo[0] + hi[0]) * 0.5f, (lo[1] + hi[1]) * 0.5f, (lo[2] + hi[2]) * 0.5f};
    const float h[3] = {(hi[0] - lo[0]) * 0.5f, (hi[1] - lo[1]) * 0.5f, (hi[2] - lo[2]) * 0.5f};
    float centre[3];
    for (int j = 0; j < 3; ++j)
        centre[j] = c[0] * world.m[0][j] + c[1] * world.m[1][j] + c[2] * world.m[2][j] + world.m[3][j];
    // The box's half axes in the world; its farthest corner from the centre is the radius.
    float radius = 0.0f;
    for (int s1 = -1; s1 <= 1; s1 += 2) {
        for (int s2 = -1; s2 <= 1; s2 += 2) {
            float squared = 0.0f;
            for (int j = 0; j < 3; ++j) {
                const float d = h[0] * world.m[0][j] + static_cast<float>(s1) * h[1] * world.m[1][j] +
                                static_cast<float>(s2) * h[2] * world.m[2][j];
                squared += d * d;
            }
            radius = std::max(radius, std::sqrt(squared));
        }
    }
    // A little to spare, so that rounding never hides a model that reaches into view.
    const float reach = radius * 1.001f + 0.01f;
    for (const float* p : CurrentViewVolume().planes) {
        if (p[0] * centre[0] + p[1] * centre[1] + p[2] * centre[2] + p[3] < -reach)
            return true;
    }
    return false;
}

} // namespace

void UseModelCulling(bool on)
{
    g_cullModels = on;
}

void DrawModel(const ModelRecord* model, const plat::Matrix4* world)
{
    if (!g_d3dDevice || !model || !model->mesh || !world)
        return;
    if (g_cullModels && IsModelOutOfView(model, *world)) {
        // The state the subsets would have left behind, without the subsets.
        g_d3dDevice->SetTransform(plat::TransformState::World, *world);
        g_d3dDevice->SetVertexFormat(plat::kFvfWorld);
        if (model->materialCount > 0) {
            g_d3dDevice->SetMaterial(model->materials[model->materialCount - 1]);
            g_d3dDevice->SetTexture(model->textures[model->materialCount - 1]);
        }
        g_d3dDevice->SetRenderState(plat::RenderState::Lighting, 0);
        return;
    }
    g_d3dDevice->SetTransform(plat::TransformState::World, *world);
    g_d3dDevice->SetVertexFormat(plat::kFvfWorld);
    g_d3dDevice->SetRenderState(plat::RenderState::Lighting, 1);
    for (uint32_t i = 0; i < model->materialCount; ++i) {
        g_d3dDevice->SetMaterial(model->materials[i]);
        g_d3dDevice->SetTexture(model->textures[i]);
        g_d3dDevice->DrawMeshSubset(*model->mesh, i);
    }
    g_d3dDevice->SetRenderState(plat::RenderState::Lighting, 0);
}

// One step into 0..360: a value more than a turn out stays out, and 360 stays 360.
static float NormaliseFacing(float f)
{
    if (f < 0.0f)
        f += 360.0f;
    if (f > 360.0f)
        f -= 360.0f;
    return f;
}

void MakeWorldMatrixYaw(plat::Matrix4* out, const float position[3], float* facing)
{
    const float f = NormaliseFacing(*facing);
    *out = plat::MatrixMultiply(plat::MatrixRotationY((-90.0f - f) * kModelDegreesToRadians),
                                plat::MatrixTranslation(position[0], position[1], position[2]));
    *facing = f;
}

void MakeWorldMatrixYawRoll(plat::Matrix4* out, const float position[3], float* facing, float lean)
{
    const float f = NormaliseFacing(*facing);
    const plat::Matrix4 turned = plat::MatrixMultiply(plat::MatrixRotationY((-90.0f - f) * kModelDegreesToRadians),
                                                      plat::MatrixRotationZ(lean * kModelDegreesToRadians));
    *out = plat::MatrixMultiply(turned, plat::MatrixTranslation(position[0], position[1], position[2]));
    *facing = f;
}

void DrawModelAtPosition(const ModelRecord* sphere, const float position[3])
{
    if (!g_d3dDevice || !sphere || !sphere->mesh)
        return;
    const plat::Matrix4 world = plat::MatrixTranslation(position[0], position[1], position[2]);
    g_d3dDevice->SetTransform(plat::TransformState::World, world);
    g_d3dDevice->SetVertexFormat(plat::kFvfColoured);
    g_d3dDevice->SetTexture(nullptr);
    if (!g_cullModels || !IsModelOutOfView(sphere, world))
        g_d3dDevice->DrawMeshSubset(*sphere->mesh, 0);
}

void SetVertex3D(Vertex3D* vertex, float x, float y, float z, float u, float v)
{
    vertex->x = x;
    vertex->y = y;
    vertex->z = z;
    vertex->u = u;
    vertex->v = v;
    vertex->colour = 0xFFFFFFFFu;
}

void DrawQuad3D(const Vertex3D* vertices, uint32_t colour, plat::Texture* texture)
{
    Vertex3D copies[4];
    for (int i = 0; i < 4; ++i) {
        copies[i] = vertices[i];
        copies[i].colour = colour;
    }
    if (!g_d3dDevice)
        return;
    g_d3dDevice->SetTexture(texture);
    g_d3dDevice->SetVertexFormat(plat::kFvfWorld);
    g_d3dDevice->DrawTriangleFan(copies, 2, sizeof(Vertex3D));
}

void ProjectToScreen(float out[3], const float point[3])
{
    out[0] = out[1] = out[2] = 0.0f;
    if (!g_d3dDevice)
        return;
    const plat::Vec3 p = plat::ProjectPoint(
        {point[0], point[1], point[2]}, g_viewport, g_d3dDevice->GetTransform(plat::TransformState::Projection),
        g_d3dDevice->GetTransform(plat::TransformState::View), plat::MatrixIdentity());
    out[0] = p.x;
    out[1] = p.y;
    out[2] = p.z;
}

void OffsetByAngle(float* outX, float* outZ, float x, float z, float angle, float radius)
{
    // Positions on circles use 3.14 for pi, as the cameras and formations were laid out with it.
    const float a = angle * 3.14f / 180.0f;
    *outX = std::cos(a) * radius + x;
    *outZ = std::sin(a) * radius + z;
}

void StepInDirection(float* outX, float* outZ, float x, float z, float heading, float step)
{
    const float h = RoundToNearest(heading);
    float d = h - 180.0f;
    if (d < 0.0f)
        d += 360.0f;
    else if (d >= 360.0f)
        d -= 360.0f;
    if (d == 180.0f) {
        *outX = x + step;
        *outZ = z;
    } else if (d == 270.0f) {
        *outX = x;
        *outZ = z + step;
    } else if (d == 0.0f) {
        *outX = x - step;
        *outZ = z;
    } else if (d == 90.0f) {
        *outX = x;
        *outZ = z - step;
    }
}

float GetHorizontalDistance(const float a[3], const float b[3])
{
    const float dx = b[0] - a[0];
    const float dz = b[2] - a[2];
    return std::sqrt(dx * dx + dz * dz);
}
