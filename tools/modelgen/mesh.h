// A small mesh builder for the character models: primitives placed by a transform,
// materials with an emissive colour and an optional texture, and a writer for the
// text form of the .x mesh format.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace modelgen {

struct Vec3 {
    float x = 0, y = 0, z = 0;
};
inline Vec3 V(float x, float y, float z)
{
    return Vec3{x, y, z};
}
Vec3 operator+(Vec3 a, Vec3 b);
Vec3 operator-(Vec3 a, Vec3 b);
Vec3 operator*(Vec3 a, float s);
Vec3 Cross(Vec3 a, Vec3 b);
float Dot(Vec3 a, Vec3 b);
Vec3 Normalise(Vec3 a);

// Rotation (rows are the images of the unit axes) followed by a translation.
struct Xform {
    Vec3 r[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    Vec3 t;
    Vec3 Point(Vec3 p) const;
    Vec3 Dir(Vec3 d) const;
};
Xform At(Vec3 t);
// Rotations in degrees about the x, y and z axes through the origin, then a move to t.
Xform Rot(Vec3 t, float rxDeg, float ryDeg = 0, float rzDeg = 0);
Xform Then(const Xform& first, const Xform& second); // first applied, then second

struct Colour {
    float r = 1, g = 1, b = 1;
};
inline Colour C(float r, float g, float b)
{
    return Colour{r, g, b};
}
inline Colour Hex(uint32_t rgb)
{
    return Colour{((rgb >> 16) & 255) / 255.0f, ((rgb >> 8) & 255) / 255.0f, (rgb & 255) / 255.0f};
}
Colour Shade(Colour c, float f);

struct Material {
    Colour emissive;
    std::string texture; // key of the texture image, empty when untextured
};

struct Vertex {
    Vec3 p, n;
    float u = 0, v = 0;
};

class Mesh {
public:
    // Material index of a colour (shared when the same colour is asked twice).
    int Mat(Colour c);
    int TexMat(const std::string& texture);

    // A box of the given full size centred on the transform's origin. faceMat, when
    // not negative, is the material of the front face (-z), mapped 0..1 over it.
    void Box(const Xform& at, Vec3 size, int mat, int faceMat = -1);
    // A cylinder or cone along +y from the transform's origin.
    void Cylinder(const Xform& at, float rBottom, float rTop, float height, int mat, int segments = 10,
                  bool caps = true);
    // An ellipsoid centred on the transform's origin; with texMat the front half (-z)
    // gets texture coordinates spread over its front, so a face can be painted on it.
    void Sphere(const Xform& at, Vec3 radii, int mat, int slices = 10, int stacks = 7);
    // A sphere whose front is textured (u across, v down) and the rest plain.
    void FaceSphere(const Xform& at, Vec3 radii, int mat, int faceMat, int slices = 12, int stacks = 8);
    // One flat triangle or quad (both sides show: culling is off).
    void Quad(Vec3 a, Vec3 b, Vec3 c, Vec3 d, int mat);
    void Tri(Vec3 a, Vec3 b, Vec3 c, int mat);

    const std::vector<Vertex>& Vertices() const { return verts_; }
    const std::vector<uint32_t>& Indices() const { return idx_; }
    const std::vector<int>& TriMaterials() const { return triMat_; }
    const std::vector<Material>& Materials() const { return mats_; }
    void Bounds(Vec3& lo, Vec3& hi) const;

    // Materials that carry triangles, in the order they are written; only these reach the file.
    std::vector<int> UsedMaterials() const;
    // Text .x: one mesh with its material list, normals and texture coordinates.
    // fileNames[k] names the image of the k-th textured material of UsedMaterials().
    std::string WriteX(const std::vector<std::string>& fileNames) const;

private:
    uint32_t Add(Vec3 p, Vec3 n, float u, float v);
    void AddTri(uint32_t a, uint32_t b, uint32_t c, int mat);
    std::vector<Vertex> verts_;
    std::vector<uint32_t> idx_;
    std::vector<int> triMat_;
    std::vector<Material> mats_;
};

} // namespace modelgen
