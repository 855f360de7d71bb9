#include "platform/gfx_quad_ties.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace plat {
namespace {

// Whether the corners make a rectangle with its sides along two axes, across the third.
int RectanglePlane(const QuadShape& q)
{
    for (int axis = 0; axis < 3; ++axis) {
        if (!(q.lo[axis] == q.hi[axis]))
            continue;
        // Going round, each side changes exactly one of the other two coordinates.
        for (int i = 0; i < 4; ++i) {
            const float* a = q.corner[i];
            const float* b = q.corner[(i + 1) % 4];
            int changed = 0;
            for (int k = 0; k < 3; ++k)
                changed += a[k] == b[k] ? 0 : 1;
            if (changed != 1)
                return -1;
        }
        const int u = (axis + 1) % 3, v = (axis + 2) % 3;
        return q.lo[u] < q.hi[u] && q.lo[v] < q.hi[v] ? axis : -1;
    }
    return -1;
}

bool SameCorner(const float a[3], const float b[3])
{
    return a[0] == b[0] && a[1] == b[1] && a[2] == b[2];
}

// One corner shared, and on the screen a line through it with one quad on each side,
// touching it at that corner only (or, for the quad whose side it is, along that side).
bool TouchOnlyAtSharedCorner(const QuadShape& a, const QuadShape& b)
{
    if (!a.watertight || !b.watertight)
        return false;
    int ia = -1, ib = -1;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            if (SameCorner(a.corner[i], b.corner[j])) {
                if (ia >= 0)
                    return false; // more than one: an edge, or worse
                ia = i;
                ib = j;
            }
        }
    }
    if (ia < 0)
        return false;
    const float vx = a.x[ia], vy = a.y[ia];
    // The candidate lines run along the sides that meet at the corner.
    const float ends[4][2] = {{a.x[(ia + 1) % 4], a.y[(ia + 1) % 4]},
                              {a.x[(ia + 3) % 4], a.y[(ia + 3) % 4]},
                              {b.x[(ib + 1) % 4], b.y[(ib + 1) % 4]},
                              {b.x[(ib + 3) % 4], b.y[(ib + 3) % 4]}};
    for (const auto& end : ends) {
        const float ex = end[0] - vx, ey = end[1] - vy;
        const float length = std::sqrt(ex * ex + ey * ey);
        if (!(length > 0.01f))
            continue;
        const auto range = [&](const QuadShape& q, int skip, float& lo, float& hi) {
            lo = std::numeric_limits<float>::infinity();
            hi = -lo;
            for (int k = 0; k < 4; ++k) {
                if (k == skip)
                    continue;
                const float d = (ex * (q.y[k] - vy) - ey * (q.x[k] - vx)) / length;
                lo = std::min(lo, d);
                hi = std::max(hi, d);
            }
        };
        float aLo, aHi, bLo, bHi;
        range(a, ia, aLo, aHi);
        range(b, ib, bLo, bHi);
        constexpr float kApart = 0.01f;
        // One side may lie on the line (its own side); the other must keep clear of it.
        if ((aLo >= 0.0f && bHi < -kApart) || (aLo > kApart && bHi <= 0.0f) || (aHi <= 0.0f && bLo > kApart) ||
            (aHi < -kApart && bLo >= 0.0f))
            return true;
    }
    return false;
}

// Two rectangles in one plane, both whole on the screen, that overlap nowhere but
// at corners or full edges they share: the picture of the plane holds them the same
// way, and OpenGL gives each pixel on a shared edge or corner to one of them at most.
bool MeetOnlyAtSharedCornersInOnePlane(const QuadShape& a, const QuadShape& b)
{
    if (!a.watertight || !b.watertight || a.plane < 0 || a.plane != b.plane || !(a.lo[a.plane] == b.lo[b.plane]))
        return false;
    const int u = (a.plane + 1) % 3, v = (a.plane + 2) % 3;
    const float du = std::min(a.hi[u], b.hi[u]) - std::max(a.lo[u], b.lo[u]);
    const float dv = std::min(a.hi[v], b.hi[v]) - std::max(a.lo[v], b.lo[v]);
    if (du < 0.0f || dv < 0.0f)
        return true; // apart
    if (du > 0.0f && dv > 0.0f)
        return false; // overlapping
    if (du == 0.0f && dv == 0.0f)
        return true; // a corner of both
    // Along a line: only where it is a whole side of both.
    return du == 0.0f ? a.lo[v] == b.lo[v] && a.hi[v] == b.hi[v] : a.lo[u] == b.lo[u] && a.hi[u] == b.hi[u];
}

bool LieOnEitherSideOfSharedEdge(const QuadShape& a, const QuadShape& b)
{
    if (!a.watertight || !b.watertight)
        return false;
    for (int i = 0; i < 4; ++i) {
        const int i1 = (i + 1) % 4;
        for (int j = 0; j < 4; ++j) {
            if (!SameCorner(a.corner[i], b.corner[j]))
                continue;
            // The edge runs i -> i1 in a, and j -> j - 1 or j -> j + 1 in b.
            const int back = (j + 3) % 4, forth = (j + 1) % 4;
            int other = -1;
            if (SameCorner(a.corner[i1], b.corner[back]))
                other = back;
            else if (SameCorner(a.corner[i1], b.corner[forth]))
                other = forth;
            if (other < 0)
                continue;
            const float ex = a.x[i1] - a.x[i], ey = a.y[i1] - a.y[i];
            const float length = std::sqrt(ex * ex + ey * ey);
            if (!(length > 0.01f))
                return false;
            // Signed distances from the edge's line, in pixels.
            const auto side = [&](float x, float y) { return (ex * (y - a.y[i]) - ey * (x - a.x[i])) / length; };
            float aMin = std::numeric_limits<float>::infinity(), aMax = -aMin, bMin = aMin, bMax = -aMin;
            for (int k = 0; k < 4; ++k) {
                if (k != i && k != i1) {
                    const float d = side(a.x[k], a.y[k]);
                    aMin = std::min(aMin, d);
                    aMax = std::max(aMax, d);
                }
                if (k != j && k != other) {
                    const float d = side(b.x[k], b.y[k]);
                    bMin = std::min(bMin, d);
                    bMax = std::max(bMax, d);
                }
            }
            constexpr float kApart = 0.01f; // well clear of the line at the rasteriser's precision
            return (aMin > kApart && bMax < -kApart) || (aMax < -kApart && bMin > kApart);
        }
    }
    return false;
}
} // namespace

// What the tie checks need of a quad whose corners are in place.
void DescribeQuadShape(const float clip[4][4], float width, float height, float pixelScale, float depthSlack,
                       QuadShape& q)
{
    bool bounded = true;
    bool watertight = true;
    float nearDepth = 0.0f, farDepth = 0.0f;
    for (int k = 0; k < 3; ++k) {
        q.lo[k] = std::min(std::min(q.corner[0][k], q.corner[1][k]), std::min(q.corner[2][k], q.corner[3][k]));
        q.hi[k] = std::max(std::max(q.corner[0][k], q.corner[1][k]), std::max(q.corner[2][k], q.corner[3][k]));
    }
    q.plane = RectanglePlane(q);
    for (int i = 0; i < 4; ++i) {
        const float w = clip[i][3];
        if (!(w > 1e-5f) || !std::isfinite(clip[i][0]) || !std::isfinite(clip[i][1]) || !std::isfinite(clip[i][2])) {
            bounded = false;
            break;
        }
        const float nx = clip[i][0] / w, ny = clip[i][1] / w, depth = clip[i][2] / w;
        q.x[i] = (nx + 1.0f) * 0.5f * width;
        q.y[i] = (1.0f - ny) * 0.5f * height;
        nearDepth = i == 0 ? depth : std::min(nearDepth, depth);
        farDepth = i == 0 ? depth : std::max(farDepth, depth);
        q.farthest = i == 0 ? w : std::max(q.farthest, w);
        // Within the depth range and well inside the guard band, nothing is clipped
        // and OpenGL rasterises the corners as given.
        if (!(depth > 1e-6f && depth < 1.0f - 1e-6f && std::fabs(nx) < 4.0f && std::fabs(ny) < 4.0f))
            watertight = false;
    }
    if (!bounded) {
        // Behind the eye the picture may be anywhere: every pixel, every depth.
        q.farthest = std::numeric_limits<float>::infinity();
        q.left = q.top = -std::numeric_limits<float>::infinity();
        q.right = q.bottom = std::numeric_limits<float>::infinity();
        q.nearDepth = -std::numeric_limits<float>::infinity();
        q.farDepth = std::numeric_limits<float>::infinity();
        q.watertight = false;
        return;
    }
    // A pixel of the drawable may be smaller or larger than one of the viewport.
    const float margin = 1.0f + 1.0f / pixelScale;
    q.left = *std::min_element(q.x, q.x + 4) - margin;
    q.right = *std::max_element(q.x, q.x + 4) + margin;
    q.top = *std::min_element(q.y, q.y + 4) - margin;
    q.bottom = *std::max_element(q.y, q.y + 4) + margin;
    q.nearDepth = nearDepth - depthSlack;
    q.farDepth = farDepth + depthSlack;
    q.watertight = watertight;
}

// Whether a and b may give one pixel the same depth.
bool MayTie(const QuadShape& a, const QuadShape& b, float depthSlack, float depthFalloff)
{
    if (a.right < b.left || b.right < a.left || a.bottom < b.top || b.bottom < a.top)
        return false;
    if (a.farDepth < b.nearDepth || b.farDepth < a.nearDepth)
        return false;
    if (depthFalloff > 0.0f) {
        // Both fragments of one pixel lie on its ray. At view depth z the stored depth
        // changes by falloff / z^2 per unit, so within the buffer's slack they are at
        // most slack z^2 / falloff apart: quads farther apart than that never tie.
        float gap = 0.0f;
        for (int k = 0; k < 3; ++k)
            gap = std::max(gap, std::max(a.lo[k] - b.hi[k], b.lo[k] - a.hi[k]));
        const float z = std::max(a.farthest, b.farthest);
        if (gap > 2.0f * depthSlack * z * z / depthFalloff + 1e-4f)
            return false;
    }
    return !MeetOnlyAtSharedCornersInOnePlane(a, b) && !LieOnEitherSideOfSharedEdge(a, b) &&
           !TouchOnlyAtSharedCorner(a, b);
}

} // namespace plat
