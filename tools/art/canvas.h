// A small software canvas for the content tool: ARGB pixels (straight alpha),
// anti-aliased shapes by signed distance, gradients and a clip rectangle.
// Texels that stay untouched are the colour key (opaque pure green), which the
// game's loader turns transparent.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

namespace art {

constexpr uint32_t kKey = 0xFF00FF00u;

struct Rect {
    int l = 0, t = 0, r = 0, b = 0;
    int w() const { return r - l; }
    int h() const { return b - t; }
};

struct Pt {
    float x, y;
};

uint32_t Argb(int a, int r, int g, int b);
uint32_t Rgb(uint32_t rgb);                    // 0xRRGGBB, opaque
uint32_t Mix(uint32_t a, uint32_t b, float t); // per channel, alpha included
uint32_t Shade(uint32_t c, float f);           // scale RGB (f > 1 lightens toward white)
uint32_t WithAlpha(uint32_t c, int a);

// Colour as a function of a point: solid, linear or radial gradient.
struct Paint {
    enum Kind { Solid, Linear, Radial } kind = Solid;
    uint32_t c0 = 0xFFFFFFFFu, c1 = 0xFFFFFFFFu;
    float x0 = 0, y0 = 0, x1 = 0, y1 = 0; // linear: from p0 to p1; radial: centre p0, radius x1
    Paint() = default;
    Paint(uint32_t c) : c0(c), c1(c) {}
    static Paint Lin(float ax, float ay, uint32_t ca, float bx, float by, uint32_t cb);
    static Paint Rad(float cx, float cy, float radius, uint32_t inner, uint32_t outer);
    uint32_t At(float x, float y) const;
};

class Canvas {
public:
    Canvas(int w, int h, uint32_t fill = kKey);
    int w() const { return w_; }
    int h() const { return h_; }
    uint32_t* data() { return px_.data(); }
    const uint32_t* data() const { return px_.data(); }
    uint32_t Get(int x, int y) const { return px_[size_t(y) * w_ + x]; }
    void Set(int x, int y, uint32_t c);

    void SetClip(Rect r);
    void ResetClip();
    Rect clip() const { return clip_; }

    // Source-over blend with extra coverage 0..1; a key texel counts as empty.
    void Blend(int x, int y, uint32_t c, float coverage = 1.0f);
    void Fill(Rect r, uint32_t c);          // overwrite (no blending)
    void FillPaint(Rect r, const Paint& p); // blend, paint in pixel coordinates

    // Texels with alpha 0 become the key, so the output holds no stray black.
    void Finish();

private:
    int w_, h_;
    std::vector<uint32_t> px_;
    Rect clip_;
};

// Draws shapes in a local coordinate space mapped to the canvas by
// pixel = origin + scale * local. Signed distances are computed in local units and
// scaled, so edges are anti-aliased over one pixel at any scale.
class Painter {
public:
    Painter(Canvas& c, float ox = 0, float oy = 0, float s = 1) : c_(c), ox_(ox), oy_(oy), s_(s) {}
    Canvas& canvas() { return c_; }
    float scale() const { return s_; }

    using Sdf = std::function<float(float, float)>;
    // Fills where sdf < 0; bounds are in local units.
    void Shape(float l, float t, float r, float b, const Sdf& sdf, const Paint& p, float alpha = 1.0f);

    void Circle(float cx, float cy, float r, const Paint& p, float alpha = 1.0f);
    void Ellipse(float cx, float cy, float rx, float ry, const Paint& p, float alpha = 1.0f);
    void Box(float l, float t, float r, float b, const Paint& p, float alpha = 1.0f);
    void RoundBox(float l, float t, float r, float b, float rad, const Paint& p, float alpha = 1.0f);
    void Capsule(float x0, float y0, float x1, float y1, float r, const Paint& p, float alpha = 1.0f);
    void Poly(const std::vector<Pt>& pts, const Paint& p, float alpha = 1.0f);
    // Ring of width w along an ellipse.
    void Ring(float cx, float cy, float rx, float ry, float w, const Paint& p, float alpha = 1.0f);
    // A closed smooth blob through control points (Catmull-Rom sampled into a polygon).
    void Blob(const std::vector<Pt>& pts, const Paint& p, float alpha = 1.0f);
    // Quadratic curve stroke.
    void Curve(Pt a, Pt ctrl, Pt b, float width, const Paint& p, float alpha = 1.0f);

private:
    Canvas& c_;
    float ox_, oy_, s_;
};

float SdEllipse(float x, float y, float rx, float ry);
float SdPoly(const std::vector<Pt>& pts, float x, float y);
float SdSegment(float x, float y, float ax, float ay, float bx, float by);

// Deterministic value noise in 0..1.
float Noise2(float x, float y, uint32_t seed);
float Fbm(float x, float y, uint32_t seed, int octaves = 4);
uint32_t Hash(uint32_t x);

} // namespace art
