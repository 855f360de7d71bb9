#include "mesh.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace modelgen {

namespace {
constexpr float kPi = 3.14159265358979f;
float Rad(float deg)
{
    return deg * kPi / 180.0f;
}
} // namespace

Vec3 operator+(Vec3 a, Vec3 b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Vec3 operator-(Vec3 a, Vec3 b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec3 operator*(Vec3 a, float s)
{
    return {a.x * s, a.y * s, a.z * s};
}
Vec3 Cross(Vec3 a, Vec3 b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
float Dot(Vec3 a, Vec3 b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vec3 Normalise(Vec3 a)
{
    float l = std::sqrt(Dot(a, a));
    return l > 1e-12f ? a * (1.0f / l) : Vec3{0, 1, 0};
}

Vec3 Xform::Point(Vec3 p) const
{
    return Dir(p) + t;
}
Vec3 Xform::Dir(Vec3 d) const
{
    return r[0] * d.x + r[1] * d.y + r[2] * d.z;
}

Xform At(Vec3 t)
{
    Xform x;
    x.t = t;
    return x;
}

Xform Rot(Vec3 t, float rxDeg, float ryDeg, float rzDeg)
{
    // Row-vector rotations applied x, then y, then z.
    auto rx = [](Vec3 v, float a) {
        float c = std::cos(a), s = std::sin(a);
        return Vec3{v.x, v.y * c - v.z * s, v.y * s + v.z * c};
    };
    auto ry = [](Vec3 v, float a) {
        float c = std::cos(a), s = std::sin(a);
        return Vec3{v.x * c + v.z * s, v.y, -v.x * s + v.z * c};
    };
    auto rz = [](Vec3 v, float a) {
        float c = std::cos(a), s = std::sin(a);
        return Vec3{v.x * c - v.y * s, v.x * s + v.y * c, v.z};
    };
    Xform x;
    Vec3 axes[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    for (int i = 0; i < 3; ++i)
        x.r[i] = rz(ry(rx(axes[i], Rad(rxDeg)), Rad(ryDeg)), Rad(rzDeg));
    x.t = t;
    return x;
}

Xform Then(const Xform& first, const Xform& second)
{
    Xform x;
    for (int i = 0; i < 3; ++i)
        x.r[i] = second.Dir(first.r[i]);
    x.t = second.Point(first.t);
    return x;
}

Colour Shade(Colour c, float f)
{
    auto k = [f](float v) { return std::clamp(v * f, 0.0f, 1.0f); };
    return Colour{k(c.r), k(c.g), k(c.b)};
}

int Mesh::Mat(Colour c)
{
    for (size_t i = 0; i < mats_.size(); ++i) {
        const Material& m = mats_[i];
        if (m.texture.empty() && m.emissive.r == c.r && m.emissive.g == c.g && m.emissive.b == c.b)
            return static_cast<int>(i);
    }
    mats_.push_back(Material{c, ""});
    return static_cast<int>(mats_.size() - 1);
}

int Mesh::TexMat(const std::string& texture)
{
    for (size_t i = 0; i < mats_.size(); ++i)
        if (mats_[i].texture == texture)
            return static_cast<int>(i);
    // Textured surfaces show the texel times the emissive colour: white keeps the image as painted.
    mats_.push_back(Material{Colour{1, 1, 1}, texture});
    return static_cast<int>(mats_.size() - 1);
}

uint32_t Mesh::Add(Vec3 p, Vec3 n, float u, float v)
{
    verts_.push_back(Vertex{p, Normalise(n), u, v});
    return static_cast<uint32_t>(verts_.size() - 1);
}

void Mesh::AddTri(uint32_t a, uint32_t b, uint32_t c, int mat)
{
    idx_.push_back(a);
    idx_.push_back(b);
    idx_.push_back(c);
    triMat_.push_back(mat);
}

void Mesh::Box(const Xform& at, Vec3 size, int mat, int faceMat)
{
    Vec3 h = size * 0.5f;
    // Each face: normal, and two in-plane axes (right, down as seen from outside).
    struct Face {
        Vec3 n, right, down;
    };
    const Face faces[6] = {
        {{0, 0, -1}, {1, 0, 0}, {0, -1, 0}},  // front
        {{0, 0, 1}, {-1, 0, 0}, {0, -1, 0}},  // back
        {{1, 0, 0}, {0, 0, 1}, {0, -1, 0}},   // right
        {{-1, 0, 0}, {0, 0, -1}, {0, -1, 0}}, // left
        {{0, 1, 0}, {1, 0, 0}, {0, 0, -1}},   // top
        {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}},   // bottom
    };
    for (int f = 0; f < 6; ++f) {
        const Face& fc = faces[f];
        int m = (f == 0 && faceMat >= 0) ? faceMat : mat;
        auto corner = [&](float su, float sv) {
            Vec3 local{fc.n.x * h.x + fc.right.x * su * h.x + fc.down.x * sv * h.x,
                       fc.n.y * h.y + fc.right.y * su * h.y + fc.down.y * sv * h.y,
                       fc.n.z * h.z + fc.right.z * su * h.z + fc.down.z * sv * h.z};
            return Add(at.Point(local), at.Dir(fc.n), (su + 1) * 0.5f, (sv + 1) * 0.5f);
        };
        uint32_t a = corner(-1, -1), b = corner(1, -1), c = corner(1, 1), d = corner(-1, 1);
        AddTri(a, b, c, m);
        AddTri(a, c, d, m);
    }
}

void Mesh::Cylinder(const Xform& at, float rBottom, float rTop, float height, int mat, int segments, bool caps)
{
    float slope = (rBottom - rTop) / std::max(height, 1e-6f);
    std::vector<uint32_t> lo, hi;
    for (int i = 0; i <= segments; ++i) {
        float a = 2 * kPi * i / segments;
        float c = std::cos(a), s = std::sin(a);
        Vec3 n{c, slope, s};
        lo.push_back(Add(at.Point({c * rBottom, 0, s * rBottom}), at.Dir(n), float(i) / segments, 1));
        hi.push_back(Add(at.Point({c * rTop, height, s * rTop}), at.Dir(n), float(i) / segments, 0));
    }
    for (int i = 0; i < segments; ++i) {
        AddTri(lo[i], hi[i], hi[i + 1], mat);
        AddTri(lo[i], hi[i + 1], lo[i + 1], mat);
    }
    if (!caps)
        return;
    for (int end = 0; end < 2; ++end) {
        float r = end ? rTop : rBottom;
        if (r <= 1e-5f)
            continue;
        float y = end ? height : 0;
        Vec3 n{0, end ? 1.0f : -1.0f, 0};
        uint32_t centre = Add(at.Point({0, y, 0}), at.Dir(n), 0.5f, 0.5f);
        std::vector<uint32_t> ring;
        for (int i = 0; i <= segments; ++i) {
            float a = 2 * kPi * i / segments;
            ring.push_back(Add(at.Point({std::cos(a) * r, y, std::sin(a) * r}), at.Dir(n), 0.5f, 0.5f));
        }
        for (int i = 0; i < segments; ++i)
            AddTri(centre, ring[i], ring[i + 1], mat);
    }
}

void Mesh::Sphere(const Xform& at, Vec3 radii, int mat, int slices, int stacks)
{
    FaceSphere(at, radii, mat, -1, slices, stacks);
}

void Mesh::FaceSphere(const Xform& at, Vec3 radii, int mat, int faceMat, int slices, int stacks)
{
    // Rings from the top pole down; the seam of longitude lies at the back (+z).
    std::vector<std::vector<uint32_t>> grid(stacks + 1);
    for (int j = 0; j <= stacks; ++j) {
        float th = kPi * j / stacks;
        for (int i = 0; i <= slices; ++i) {
            float ph = 2 * kPi * i / slices + kPi / 2; // starts at +z
            Vec3 unit{std::cos(ph) * std::sin(th), std::cos(th), std::sin(ph) * std::sin(th)};
            Vec3 p{unit.x * radii.x, unit.y * radii.y, unit.z * radii.z};
            Vec3 n{unit.x / radii.x, unit.y / radii.y, unit.z / radii.z};
            // Front projection: the face image spans x and y of the front half.
            float u = 0.5f + unit.x * 0.5f, v = 0.5f - unit.y * 0.5f;
            grid[j].push_back(Add(at.Point(p), at.Dir(n), u, v));
        }
    }
    for (int j = 0; j < stacks; ++j)
        for (int i = 0; i < slices; ++i) {
            uint32_t a = grid[j][i], b = grid[j][i + 1], c = grid[j + 1][i + 1], d = grid[j + 1][i];
            int m = mat;
            if (faceMat >= 0) {
                // Facets whose centre faces the front (-z) carry the face.
                float ph = 2 * kPi * (i + 0.5f) / slices + kPi / 2;
                float th = kPi * (j + 0.5f) / stacks;
                if (std::sin(ph) < -0.35f && th > 0.25f * kPi && th < 0.85f * kPi)
                    m = faceMat;
            }
            if (j != 0)
                AddTri(a, b, c, m);
            if (j != stacks - 1)
                AddTri(a, c, d, m);
        }
}

void Mesh::Quad(Vec3 a, Vec3 b, Vec3 c, Vec3 d, int mat)
{
    Vec3 n = Normalise(Cross(b - a, c - a));
    uint32_t ia = Add(a, n, 0, 0), ib = Add(b, n, 1, 0), ic = Add(c, n, 1, 1), id = Add(d, n, 0, 1);
    AddTri(ia, ib, ic, mat);
    AddTri(ia, ic, id, mat);
}

void Mesh::Tri(Vec3 a, Vec3 b, Vec3 c, int mat)
{
    Vec3 n = Normalise(Cross(b - a, c - a));
    AddTri(Add(a, n, 0, 0), Add(b, n, 1, 0), Add(c, n, 0.5f, 1), mat);
}

void Mesh::Bounds(Vec3& lo, Vec3& hi) const
{
    lo = hi = verts_.empty() ? Vec3{} : verts_[0].p;
    for (const Vertex& v : verts_) {
        lo = {std::min(lo.x, v.p.x), std::min(lo.y, v.p.y), std::min(lo.z, v.p.z)};
        hi = {std::max(hi.x, v.p.x), std::max(hi.y, v.p.y), std::max(hi.z, v.p.z)};
    }
}

std::vector<int> Mesh::UsedMaterials() const
{
    std::vector<int> used;
    for (size_t m = 0; m < mats_.size(); ++m)
        if (std::find(triMat_.begin(), triMat_.end(), static_cast<int>(m)) != triMat_.end())
            used.push_back(static_cast<int>(m));
    return used;
}

namespace {
void Appendf(std::string& s, const char* fmt, double a, double b, double c)
{
    char buf[128];
    std::snprintf(buf, sizeof buf, fmt, a, b, c);
    s += buf;
}
} // namespace

std::string Mesh::WriteX(const std::vector<std::string>& fileNames) const
{
    std::vector<int> used = UsedMaterials();
    std::vector<int> remap(mats_.size(), -1);
    for (size_t k = 0; k < used.size(); ++k)
        remap[used[k]] = static_cast<int>(k);

    std::string s = "xof 0303txt 0032\n\nMesh model {\n";
    s += " " + std::to_string(verts_.size()) + ";\n";
    for (size_t i = 0; i < verts_.size(); ++i) {
        Appendf(s, " %.5f;%.5f;%.5f;", verts_[i].p.x, verts_[i].p.y, verts_[i].p.z);
        s += i + 1 < verts_.size() ? ",\n" : ";\n";
    }
    size_t triCount = triMat_.size();
    s += " " + std::to_string(triCount) + ";\n";
    for (size_t t = 0; t < triCount; ++t) {
        s += " 3;" + std::to_string(idx_[3 * t]) + "," + std::to_string(idx_[3 * t + 1]) + "," +
             std::to_string(idx_[3 * t + 2]) + ";";
        s += t + 1 < triCount ? ",\n" : ";\n";
    }

    s += "\n MeshMaterialList {\n  " + std::to_string(used.size()) + ";\n  " + std::to_string(triCount) + ";\n";
    for (size_t t = 0; t < triCount; ++t) {
        s += "  " + std::to_string(remap[triMat_[t]]);
        s += t + 1 < triCount ? ",\n" : ";\n";
    }
    size_t textured = 0;
    for (int m : used) {
        const Material& mat = mats_[m];
        s += "  Material {\n";
        // Diffuse carries only the alpha that counts; the colour that shows is the emissive.
        Appendf(s, "   %.4f;%.4f;%.4f;1.0000;;\n", mat.emissive.r, mat.emissive.g, mat.emissive.b);
        s += "   0.000000;\n   0.000000;0.000000;0.000000;;\n";
        Appendf(s, "   %.4f;%.4f;%.4f;;\n", mat.emissive.r, mat.emissive.g, mat.emissive.b);
        if (!mat.texture.empty()) {
            std::string name = textured < fileNames.size() ? fileNames[textured] : mat.texture;
            ++textured;
            s += "   TextureFilename {\n    \"" + name + "\";\n   }\n";
        }
        s += "  }\n";
    }
    s += " }\n";

    s += "\n MeshNormals {\n  " + std::to_string(verts_.size()) + ";\n";
    for (size_t i = 0; i < verts_.size(); ++i) {
        Appendf(s, "  %.4f;%.4f;%.4f;", verts_[i].n.x, verts_[i].n.y, verts_[i].n.z);
        s += i + 1 < verts_.size() ? ",\n" : ";\n";
    }
    s += "  " + std::to_string(triCount) + ";\n";
    for (size_t t = 0; t < triCount; ++t) {
        s += "  3;" + std::to_string(idx_[3 * t]) + "," + std::to_string(idx_[3 * t + 1]) + "," +
             std::to_string(idx_[3 * t + 2]) + ";";
        s += t + 1 < triCount ? ",\n" : ";\n";
    }
    s += " }\n";

    s += "\n MeshTextureCoords {\n  " + std::to_string(verts_.size()) + ";\n";
    for (size_t i = 0; i < verts_.size(); ++i) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "  %.4f;%.4f;", verts_[i].u, verts_[i].v);
        s += buf;
        s += i + 1 < verts_.size() ? ",\n" : ";\n";
    }
    s += " }\n}\n";
    return s;
}

} // namespace modelgen
