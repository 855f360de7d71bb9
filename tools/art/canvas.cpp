#include "canvas.h"

#include <algorithm>
#include <cmath>

namespace art {

namespace {
int Ch(uint32_t c, int shift)
{
    return int((c >> shift) & 0xFF);
}
float Clamp01(float v)
{
    return v < 0 ? 0 : (v > 1 ? 1 : v);
}
} // namespace

uint32_t Argb(int a, int r, int g, int b)
{
    auto c = [](int v) { return uint32_t(std::clamp(v, 0, 255)); };
    return (c(a) << 24) | (c(r) << 16) | (c(g) << 8) | c(b);
}

uint32_t Rgb(uint32_t rgb)
{
    return 0xFF000000u | (rgb & 0xFFFFFFu);
}

uint32_t Mix(uint32_t a, uint32_t b, float t)
{
    t = Clamp01(t);
    auto m = [&](int s) { return int(std::lround(Ch(a, s) + (Ch(b, s) - Ch(a, s)) * t)); };
    return Argb(m(24), m(16), m(8), m(0));
}

uint32_t Shade(uint32_t c, float f)
{
    auto s = [&](int sh) {
        float v = float(Ch(c, sh));
        return int(std::lround(f <= 1 ? v * f : v + (255 - v) * (f - 1)));
    };
    return Argb(Ch(c, 24), s(16), s(8), s(0));
}

uint32_t WithAlpha(uint32_t c, int a)
{
    return (c & 0xFFFFFFu) | (uint32_t(std::clamp(a, 0, 255)) << 24);
}

Paint Paint::Lin(float ax, float ay, uint32_t ca, float bx, float by, uint32_t cb)
{
    Paint p;
    p.kind = Linear;
    p.x0 = ax, p.y0 = ay, p.x1 = bx, p.y1 = by, p.c0 = ca, p.c1 = cb;
    return p;
}

Paint Paint::Rad(float cx, float cy, float radius, uint32_t inner, uint32_t outer)
{
    Paint p;
    p.kind = Radial;
    p.x0 = cx, p.y0 = cy, p.x1 = radius, p.c0 = inner, p.c1 = outer;
    return p;
}

uint32_t Paint::At(float x, float y) const
{
    switch (kind) {
    case Solid: return c0;
    case Linear: {
        float dx = x1 - x0, dy = y1 - y0, len2 = dx * dx + dy * dy;
        float t = len2 > 0 ? ((x - x0) * dx + (y - y0) * dy) / len2 : 0;
        return Mix(c0, c1, t);
    }
    case Radial: {
        float d = std::sqrt((x - x0) * (x - x0) + (y - y0) * (y - y0));
        return Mix(c0, c1, x1 > 0 ? d / x1 : 1);
    }
    }
    return c0;
}

Canvas::Canvas(int w, int h, uint32_t fill) : w_(w), h_(h), px_(size_t(w) * h, fill)
{
    ResetClip();
}

void Canvas::Set(int x, int y, uint32_t c)
{
    if (x < clip_.l || y < clip_.t || x >= clip_.r || y >= clip_.b)
        return;
    px_[size_t(y) * w_ + x] = c;
}

void Canvas::SetClip(Rect r)
{
    clip_ = {std::max(0, r.l), std::max(0, r.t), std::min(w_, r.r), std::min(h_, r.b)};
}

void Canvas::ResetClip()
{
    clip_ = {0, 0, w_, h_};
}

void Canvas::Blend(int x, int y, uint32_t c, float coverage)
{
    if (x < clip_.l || y < clip_.t || x >= clip_.r || y >= clip_.b)
        return;
    float sa = Ch(c, 24) / 255.0f * Clamp01(coverage);
    if (sa <= 0)
        return;
    uint32_t& d = px_[size_t(y) * w_ + x];
    uint32_t dc = d == kKey ? 0u : d;
    float da = Ch(dc, 24) / 255.0f;
    float oa = sa + da * (1 - sa);
    auto ch = [&](int s) {
        float v = (Ch(c, s) * sa + Ch(dc, s) * da * (1 - sa)) / oa;
        return int(std::lround(v));
    };
    uint32_t out = Argb(int(std::lround(oa * 255)), ch(16), ch(8), ch(0));
    if (out == kKey)
        out = 0xFF00FE00u; // painted green must not turn transparent
    d = out;
}

void Canvas::Fill(Rect r, uint32_t c)
{
    for (int y = std::max(r.t, clip_.t); y < std::min(r.b, clip_.b); ++y)
        for (int x = std::max(r.l, clip_.l); x < std::min(r.r, clip_.r); ++x)
            px_[size_t(y) * w_ + x] = c;
}

void Canvas::FillPaint(Rect r, const Paint& p)
{
    for (int y = std::max(r.t, clip_.t); y < std::min(r.b, clip_.b); ++y)
        for (int x = std::max(r.l, clip_.l); x < std::min(r.r, clip_.r); ++x)
            Blend(x, y, p.At(x + 0.5f, y + 0.5f));
}

void Canvas::Finish()
{
    for (auto& p : px_)
        if ((p >> 24) == 0)
            p = kKey;
}

// ---- signed distances ----

float SdEllipse(float x, float y, float rx, float ry)
{
    // Scaled-circle approximation, corrected by the gradient length: good enough
    // for anti-aliasing edges.
    float nx = x / rx, ny = y / ry;
    float k = std::sqrt(nx * nx + ny * ny);
    if (k < 1e-6f)
        return -std::min(rx, ry);
    float gx = nx / rx, gy = ny / ry;
    float g = std::sqrt(gx * gx + gy * gy) / k;
    return (k - 1) / std::max(g, 1e-6f);
}

float SdSegment(float x, float y, float ax, float ay, float bx, float by)
{
    float px = x - ax, py = y - ay, dx = bx - ax, dy = by - ay;
    float len2 = dx * dx + dy * dy;
    float h = len2 > 0 ? Clamp01((px * dx + py * dy) / len2) : 0;
    float ex = px - dx * h, ey = py - dy * h;
    return std::sqrt(ex * ex + ey * ey);
}

float SdPoly(const std::vector<Pt>& v, float x, float y)
{
    size_t n = v.size();
    float d = (x - v[0].x) * (x - v[0].x) + (y - v[0].y) * (y - v[0].y);
    float s = 1;
    for (size_t i = 0, j = n - 1; i < n; j = i, ++i) {
        float ex = v[j].x - v[i].x, ey = v[j].y - v[i].y;
        float wx = x - v[i].x, wy = y - v[i].y;
        float len2 = ex * ex + ey * ey;
        float h = len2 > 0 ? Clamp01((wx * ex + wy * ey) / len2) : 0;
        float bx = wx - ex * h, by = wy - ey * h;
        d = std::min(d, bx * bx + by * by);
        bool c1 = y >= v[i].y, c2 = y<v[j].y, c3 = ex * wy> ey * wx;
        if ((c1 && c2 && c3) || (!c1 && !c2 && !c3))
            s = -s;
    }
    return s * std::sqrt(d);
}

// ---- painter ----

void Painter::Shape(float l, float t, float r, float b, const Sdf& sdf, const Paint& p, float alpha)
{
    int x0 = int(std::floor(ox_ + s_ * l)) - 1, x1 = int(std::ceil(ox_ + s_ * r)) + 1;
    int y0 = int(std::floor(oy_ + s_ * t)) - 1, y1 = int(std::ceil(oy_ + s_ * b)) + 1;
    Rect cl = c_.clip();
    x0 = std::max(x0, cl.l), y0 = std::max(y0, cl.t), x1 = std::min(x1, cl.r), y1 = std::min(y1, cl.b);
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            float lx = (x + 0.5f - ox_) / s_, ly = (y + 0.5f - oy_) / s_;
            float d = sdf(lx, ly) * s_;
            float cov = Clamp01(0.5f - d);
            if (cov <= 0)
                continue;
            c_.Blend(x, y, p.At(lx, ly), cov * alpha);
        }
}

void Painter::Circle(float cx, float cy, float r, const Paint& p, float alpha)
{
    Shape(
        cx - r, cy - r, cx + r, cy + r,
        [=](float x, float y) { return std::sqrt((x - cx) * (x - cx) + (y - cy) * (y - cy)) - r; }, p, alpha);
}

void Painter::Ellipse(float cx, float cy, float rx, float ry, const Paint& p, float alpha)
{
    Shape(
        cx - rx, cy - ry, cx + rx, cy + ry, [=](float x, float y) { return SdEllipse(x - cx, y - cy, rx, ry); }, p,
        alpha);
}

void Painter::Box(float l, float t, float r, float b, const Paint& p, float alpha)
{
    RoundBox(l, t, r, b, 0, p, alpha);
}

void Painter::RoundBox(float l, float t, float r, float b, float rad, const Paint& p, float alpha)
{
    float cx = (l + r) / 2, cy = (t + b) / 2, hx = (r - l) / 2, hy = (b - t) / 2;
    Shape(
        l, t, r, b,
        [=](float x, float y) {
            float qx = std::fabs(x - cx) - hx + rad, qy = std::fabs(y - cy) - hy + rad;
            float ox = std::max(qx, 0.0f), oy = std::max(qy, 0.0f);
            return std::sqrt(ox * ox + oy * oy) + std::min(std::max(qx, qy), 0.0f) - rad;
        },
        p, alpha);
}

void Painter::Capsule(float x0, float y0, float x1, float y1, float r, const Paint& p, float alpha)
{
    Shape(
        std::min(x0, x1) - r, std::min(y0, y1) - r, std::max(x0, x1) + r, std::max(y0, y1) + r,
        [=](float x, float y) { return SdSegment(x, y, x0, y0, x1, y1) - r; }, p, alpha);
}

void Painter::Poly(const std::vector<Pt>& pts, const Paint& p, float alpha)
{
    if (pts.size() < 3)
        return;
    float l = pts[0].x, r = l, t = pts[0].y, b = t;
    for (auto& q : pts)
        l = std::min(l, q.x), r = std::max(r, q.x), t = std::min(t, q.y), b = std::max(b, q.y);
    Shape(
        l, t, r, b, [&pts](float x, float y) { return SdPoly(pts, x, y); }, p, alpha);
}

void Painter::Ring(float cx, float cy, float rx, float ry, float w, const Paint& p, float alpha)
{
    Shape(
        cx - rx - w, cy - ry - w, cx + rx + w, cy + ry + w,
        [=](float x, float y) { return std::fabs(SdEllipse(x - cx, y - cy, rx, ry)) - w / 2; }, p, alpha);
}

void Painter::Blob(const std::vector<Pt>& c, const Paint& p, float alpha)
{
    std::vector<Pt> pts;
    size_t n = c.size();
    for (size_t i = 0; i < n; ++i) {
        Pt p0 = c[(i + n - 1) % n], p1 = c[i], p2 = c[(i + 1) % n], p3 = c[(i + 2) % n];
        for (int k = 0; k < 8; ++k) {
            float t = k / 8.0f, t2 = t * t, t3 = t2 * t;
            auto cr = [&](float a, float b, float cc, float d) {
                return 0.5f *
                       ((2 * b) + (-a + cc) * t + (2 * a - 5 * b + 4 * cc - d) * t2 + (-a + 3 * b - 3 * cc + d) * t3);
            };
            pts.push_back({cr(p0.x, p1.x, p2.x, p3.x), cr(p0.y, p1.y, p2.y, p3.y)});
        }
    }
    Poly(pts, p, alpha);
}

void Painter::Curve(Pt a, Pt ctrl, Pt b, float width, const Paint& p, float alpha)
{
    std::vector<Pt> pts;
    for (int k = 0; k <= 16; ++k) {
        float t = k / 16.0f, u = 1 - t;
        pts.push_back({u * u * a.x + 2 * u * t * ctrl.x + t * t * b.x, u * u * a.y + 2 * u * t * ctrl.y + t * t * b.y});
    }
    float l = pts[0].x, r = l, t = pts[0].y, bt = t;
    for (auto& q : pts)
        l = std::min(l, q.x), r = std::max(r, q.x), t = std::min(t, q.y), bt = std::max(bt, q.y);
    float hw = width / 2;
    Shape(
        l - hw, t - hw, r + hw, bt + hw,
        [pts, hw](float x, float y) {
            float d = 1e9f;
            for (size_t i = 1; i < pts.size(); ++i)
                d = std::min(d, SdSegment(x, y, pts[i - 1].x, pts[i - 1].y, pts[i].x, pts[i].y));
            return d - hw;
        },
        p, alpha);
}

// ---- noise ----

uint32_t Hash(uint32_t x)
{
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

float Noise2(float x, float y, uint32_t seed)
{
    int xi = int(std::floor(x)), yi = int(std::floor(y));
    float fx = x - xi, fy = y - yi;
    auto h = [&](int a, int b) {
        return (Hash(uint32_t(a) * 374761393u + uint32_t(b) * 668265263u + seed * 2246822519u) & 0xFFFF) / 65535.0f;
    };
    float u = fx * fx * (3 - 2 * fx), v = fy * fy * (3 - 2 * fy);
    float a = h(xi, yi), b = h(xi + 1, yi), c = h(xi, yi + 1), d = h(xi + 1, yi + 1);
    return a + (b - a) * u + (c - a) * v + (a - b - c + d) * u * v;
}

float Fbm(float x, float y, uint32_t seed, int octaves)
{
    float sum = 0, amp = 0.5f, norm = 0;
    for (int i = 0; i < octaves; ++i) {
        sum += amp * Noise2(x, y, seed + i * 17);
        norm += amp;
        x *= 2, y *= 2, amp *= 0.5f;
    }
    return sum / norm;
}

} // namespace art
