// Reader of the text form of the .x mesh format. It walks the file once,
// collecting every mesh with the frame it sits in, then applies the frame
// transforms and merges the meshes into one vertex and triangle list.
//
// Input is untrusted: every count is checked against a limit before use and
// memory only grows with the data actually read, so a bad file fails with a
// reason instead of crashing, hanging or allocating without bound.
#include "platform/xfile.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <map>
#include <new>

namespace plat {
namespace {

constexpr uint64_t kMaxCount = 1000000;        // any single count in the file
constexpr size_t kMaxTotalVertices = 16000000; // all meshes together
constexpr int kMaxFrameDepth = 64;

struct XError {
    std::string message;
};

enum class Tok { End, Name, Number, String, Guid, LBrace, RBrace, Semi, Comma, Other };

struct Token {
    Tok kind = Tok::End;
    const char* text = "";
    size_t len = 0;
    size_t line = 1;

    std::string Str() const { return std::string(text, len); }
    bool Is(const char* word) const
    { // type names compare without case
        size_t n = std::strlen(word);
        if (n != len)
            return false;
        for (size_t i = 0; i < n; ++i) {
            char a = text[i], b = word[i];
            if (a >= 'A' && a <= 'Z')
                a = char(a - 'A' + 'a');
            if (b >= 'A' && b <= 'Z')
                b = char(b - 'A' + 'a');
            if (a != b)
                return false;
        }
        return true;
    }
};

bool IsWordByte(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
           c == '+' || c == '.' || c >= 0x80;
}

class Lexer {
public:
    Lexer(const char* begin, const char* end) : p_(begin), end_(end) {}

    const Token& Peek()
    {
        if (!peeked_) {
            next_ = Scan();
            peeked_ = true;
        }
        return next_;
    }
    Token Take()
    {
        Peek();
        peeked_ = false;
        return next_;
    }
    size_t Line() { return Peek().line; }

private:
    Token Scan()
    {
        for (;;) {
            while (p_ < end_ &&
                   (*p_ == ' ' || *p_ == '\t' || *p_ == '\r' || *p_ == '\n' || *p_ == '\f' || *p_ == '\v')) {
                if (*p_ == '\n')
                    ++line_;
                ++p_;
            }
            if (p_ < end_ && (*p_ == '#' || (*p_ == '/' && p_ + 1 < end_ && p_[1] == '/'))) {
                while (p_ < end_ && *p_ != '\n')
                    ++p_;
                continue;
            }
            break;
        }
        Token t;
        t.line = line_;
        t.text = p_;
        if (p_ >= end_)
            return t;
        const char c = *p_;
        auto single = [&](Tok k) {
            t.kind = k;
            t.len = 1;
            ++p_;
            return t;
        };
        switch (c) {
        case '{': return single(Tok::LBrace);
        case '}': return single(Tok::RBrace);
        case ';': return single(Tok::Semi);
        case ',': return single(Tok::Comma);
        case '"': {
            const char* s = ++p_;
            while (p_ < end_ && *p_ != '"') {
                if (*p_ == '\n')
                    ++line_;
                ++p_;
            }
            if (p_ >= end_)
                throw XError{"unterminated string at line " + std::to_string(t.line)};
            t.kind = Tok::String;
            t.text = s;
            t.len = size_t(p_ - s);
            ++p_;
            return t;
        }
        case '<': {
            while (p_ < end_ && *p_ != '>') {
                if (*p_ == '\n')
                    ++line_;
                ++p_;
            }
            if (p_ >= end_)
                throw XError{"unterminated GUID at line " + std::to_string(t.line)};
            ++p_;
            t.kind = Tok::Guid;
            t.len = size_t(p_ - t.text);
            return t;
        }
        default: break;
        }
        if (!IsWordByte(static_cast<unsigned char>(c)))
            return single(Tok::Other);
        // A run of word bytes; '#' inside it belongs to it, so that a number such
        // as 1.#QNAN is refused as a whole rather than read as "1." and a comment.
        while (p_ < end_ && (IsWordByte(static_cast<unsigned char>(*p_)) || *p_ == '#'))
            ++p_;
        t.len = size_t(p_ - t.text);
        t.kind = (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' ? Tok::Number : Tok::Name;
        return t;
    }

    const char* p_;
    const char* end_;
    size_t line_ = 1;
    Token next_;
    bool peeked_ = false;
};

struct MaterialSlot {
    XMaterial material;
    std::string reference; // non-empty: a reference to a named material
};

// One mesh of the file after parsing, vertices already split where a vertex
// carries more than one normal.
struct MeshPart {
    int frame = -1; // index into frames, -1 when outside any frame
    std::vector<float> positions;
    std::vector<float> normals;
    std::vector<float> texCoords;
    std::vector<uint32_t> colours;
    bool hasNormals = false, hasTexCoords = false, hasColours = false;
    std::vector<uint32_t> indices;
    std::vector<uint32_t> triangleMaterial;
    std::vector<MaterialSlot> materials;
};

struct Frame {
    float local[16];
    int parent;
};

void Identity(float m[16])
{
    for (int i = 0; i < 16; ++i)
        m[i] = (i % 5 == 0) ? 1.0f : 0.0f;
}

// out = a * b for row-vector matrices (a applied first).
void Multiply(const float a[16], const float b[16], float out[16])
{
    float r[16];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            double s = 0;
            for (int k = 0; k < 4; ++k)
                s += double(a[i * 4 + k]) * b[k * 4 + j];
            r[i * 4 + j] = float(s);
        }
    std::memcpy(out, r, sizeof r);
}

uint32_t ColourByte(float v)
{
    if (!(v > 0.0f))
        return 0;
    if (v >= 1.0f)
        return 255;
    return uint32_t(std::lround(v * 255.0f));
}

class Parser {
public:
    Parser(const char* begin, const char* end) : lex_(begin, end) {}

    void ParseFile(XMeshData& out)
    {
        for (;;) {
            Token t = lex_.Take();
            if (t.kind == Tok::End)
                break;
            if (t.kind == Tok::Semi || t.kind == Tok::Comma)
                continue;
            if (t.kind == Tok::Name && t.Is("template")) {
                SkipTemplate();
                continue;
            }
            if (t.kind == Tok::Name) {
                ParseObject(t, -1, 0);
                continue;
            }
            if (t.kind == Tok::LBrace) { // a top-level reference means nothing to us
                SkipBody();
                continue;
            }
            Fail("unexpected '" + t.Str() + "'", t.line);
        }
        if (parts_.empty())
            throw XError{"the file holds no mesh"};
        Merge(out);
    }

private:
    [[noreturn]] void Fail(const std::string& what, size_t line)
    {
        throw XError{what + " at line " + std::to_string(line)};
    }

    void Expect(Tok kind, const char* what)
    {
        Token t = lex_.Take();
        if (t.kind != kind)
            Fail(std::string("expected ") + what + ", found '" +
                     (t.kind == Tok::End ? std::string("end of file") : t.Str()) + "'",
                 t.line);
    }

    // Skips to the brace closing one already taken; nesting is counted, not recursed.
    void SkipBody()
    {
        size_t depth = 1;
        while (depth > 0) {
            Token t = lex_.Take();
            if (t.kind == Tok::End)
                Fail("unbalanced braces: end of file inside a block", t.line);
            if (t.kind == Tok::LBrace)
                ++depth;
            if (t.kind == Tok::RBrace)
                --depth;
        }
    }

    void SkipTemplate()
    {
        Expect(Tok::Name, "template name");
        Expect(Tok::LBrace, "'{'");
        SkipBody();
    }

    // After the type: optional name, '{', optional GUID. Returns the name.
    std::string OpenObject()
    {
        std::string name;
        // Some exporters start names with a digit ("3DSMesh_1"); the lexer sees a
        // number, but nothing else may stand between a type and its brace.
        if (lex_.Peek().kind == Tok::Name || lex_.Peek().kind == Tok::Number)
            name = lex_.Take().Str();
        Expect(Tok::LBrace, "'{'");
        if (lex_.Peek().kind == Tok::Guid)
            lex_.Take();
        return name;
    }

    void SkipSeparators()
    {
        while (lex_.Peek().kind == Tok::Semi || lex_.Peek().kind == Tok::Comma)
            lex_.Take();
    }

    Token TakeNumberToken(const char* what)
    {
        SkipSeparators();
        Token t = lex_.Take();
        if (t.kind != Tok::Number)
            Fail(std::string("expected ") + what + ", found '" +
                     (t.kind == Tok::End ? std::string("end of file") : t.Str()) + "'",
                 t.line);
        return t;
    }

    float Float(const char* what)
    {
        Token t = TakeNumberToken(what);
        const char* b = t.text;
        const char* e = t.text + t.len;
        if (b < e && *b == '+')
            ++b;
        float v = 0;
        auto r = std::from_chars(b, e, v);
        if (r.ec != std::errc() || r.ptr != e || !std::isfinite(v))
            Fail(std::string("bad number '") + t.Str() + "' for " + what, t.line);
        return v;
    }

    uint64_t Integer(const char* what, uint64_t limit)
    {
        Token t = TakeNumberToken(what);
        const char* b = t.text;
        const char* e = t.text + t.len;
        if (b < e && *b == '+')
            ++b;
        uint64_t v = 0;
        auto r = std::from_chars(b, e, v);
        if (r.ec != std::errc() || r.ptr != e)
            Fail(std::string("bad whole number '") + t.Str() + "' for " + what, t.line);
        if (v > limit)
            Fail(std::string(what) + " " + t.Str() + " is out of range", t.line);
        return v;
    }

    uint32_t Count(const char* what) { return uint32_t(Integer(what, kMaxCount)); }

    void ParseObject(const Token& type, int frame, int depth)
    {
        if (type.Is("Frame")) {
            OpenObject();
            ParseFrame(frame, depth + 1, type.line);
        } else if (type.Is("Mesh")) {
            OpenObject();
            ParseMesh(frame);
        } else if (type.Is("Material")) {
            std::string name = OpenObject();
            XMaterial m = ParseMaterial();
            if (!name.empty())
                named_[name] = m;
        } else if (type.Is("FrameTransformMatrix") && frame >= 0) {
            OpenObject();
            float m[16];
            for (float& v : m)
                v = Float("matrix element");
            std::memcpy(frames_[size_t(frame)].local, m, sizeof m);
            SkipSeparators();
            Expect(Tok::RBrace, "'}' after the matrix");
        } else {
            OpenObject();
            SkipBody();
        }
    }

    void ParseFrame(int parent, int depth, size_t line)
    {
        if (depth > kMaxFrameDepth)
            Fail("frames nested too deeply", line);
        Frame f;
        Identity(f.local);
        f.parent = parent;
        frames_.push_back(f);
        const int self = int(frames_.size() - 1);
        for (;;) {
            Token t = lex_.Take();
            if (t.kind == Tok::RBrace)
                return;
            if (t.kind == Tok::Semi || t.kind == Tok::Comma)
                continue;
            if (t.kind == Tok::LBrace) {
                SkipBody();
                continue;
            }
            if (t.kind == Tok::Name) {
                ParseObject(t, self, depth);
                continue;
            }
            if (t.kind == Tok::End)
                Fail("unbalanced braces: end of file inside a frame", t.line);
            Fail("unexpected '" + t.Str() + "' in a frame", t.line);
        }
    }

    XMaterial ParseMaterial()
    {
        XMaterial m;
        for (float& v : m.diffuse)
            v = Float("material colour");
        m.power = Float("material power");
        for (float& v : m.specular)
            v = Float("specular colour");
        for (float& v : m.emissive)
            v = Float("emissive colour");
        for (;;) {
            Token t = lex_.Take();
            if (t.kind == Tok::RBrace)
                return m;
            if (t.kind == Tok::Semi || t.kind == Tok::Comma)
                continue;
            if (t.kind == Tok::LBrace) {
                SkipBody();
                continue;
            }
            if (t.kind == Tok::Name && t.Is("TextureFilename")) {
                OpenObject();
                SkipSeparators();
                Token s = lex_.Take();
                if (s.kind != Tok::String)
                    Fail("expected a texture file name", s.line);
                m.textureFile = s.Str();
                SkipBody();
                continue;
            }
            if (t.kind == Tok::Name) {
                OpenObject();
                SkipBody();
                continue;
            }
            if (t.kind == Tok::End)
                Fail("unbalanced braces: end of file inside a material", t.line);
            Fail("unexpected '" + t.Str() + "' in a material", t.line);
        }
    }

    void ParseMesh(int frame)
    {
        const size_t line = lex_.Line();
        const uint32_t vertexCount = Count("vertex count");
        std::vector<float> positions;
        for (uint32_t i = 0; i < vertexCount * 3; ++i)
            positions.push_back(Float("vertex position"));

        const uint32_t faceCount = Count("face count");
        std::vector<uint32_t> faceStart; // faces as runs of faceVerts
        std::vector<uint32_t> faceVerts;
        for (uint32_t f = 0; f < faceCount; ++f) {
            faceStart.push_back(uint32_t(faceVerts.size()));
            const uint32_t n = Count("face size");
            for (uint32_t k = 0; k < n; ++k) {
                const size_t at = lex_.Line();
                const uint64_t v = Integer("face index", UINT32_MAX);
                if (v >= vertexCount)
                    Fail("face index " + std::to_string(v) + " out of range", at);
                faceVerts.push_back(uint32_t(v));
            }
            if (faceVerts.size() > kMaxTotalVertices)
                Fail("too many face indices", line);
        }
        faceStart.push_back(uint32_t(faceVerts.size()));

        std::vector<uint32_t> faceMaterial(faceCount, 0);
        std::vector<MaterialSlot> materials;
        bool haveMaterialList = false;
        std::vector<float> normals;
        std::vector<uint32_t> cornerNormal; // per entry of faceVerts
        std::vector<float> texCoords;
        std::vector<uint32_t> colours;

        for (;;) {
            Token t = lex_.Take();
            if (t.kind == Tok::RBrace)
                break;
            if (t.kind == Tok::Semi || t.kind == Tok::Comma)
                continue;
            if (t.kind == Tok::LBrace) {
                SkipBody();
                continue;
            }
            if (t.kind == Tok::End)
                Fail("unbalanced braces: end of file inside a mesh", t.line);
            if (t.kind != Tok::Name)
                Fail("unexpected '" + t.Str() + "' in a mesh", t.line);
            if (t.Is("MeshMaterialList")) {
                if (haveMaterialList)
                    Fail("second material list in one mesh", t.line);
                haveMaterialList = true;
                OpenObject();
                ParseMaterialList(faceCount, faceMaterial, materials, t.line);
            } else if (t.Is("MeshNormals")) {
                OpenObject();
                ParseNormals(faceStart, normals, cornerNormal, t.line);
            } else if (t.Is("MeshTextureCoords")) {
                OpenObject();
                const uint32_t n = Count("texture coordinate count");
                if (n != vertexCount)
                    Fail("texture coordinate count differs from the vertex count", t.line);
                texCoords.clear();
                for (uint32_t i = 0; i < n * 2; ++i)
                    texCoords.push_back(Float("texture coordinate"));
                SkipSeparators();
                Expect(Tok::RBrace, "'}' after the texture coordinates");
            } else if (t.Is("MeshVertexColors")) {
                OpenObject();
                const uint32_t n = Count("vertex colour count");
                colours.assign(vertexCount, 0xFFFFFFFFu);
                for (uint32_t i = 0; i < n; ++i) {
                    const size_t at = lex_.Line();
                    const uint64_t v = Integer("vertex colour index", UINT32_MAX);
                    if (v >= vertexCount)
                        Fail("vertex colour index out of range", at);
                    float c[4];
                    for (float& x : c)
                        x = Float("vertex colour");
                    colours[size_t(v)] = (ColourByte(c[3]) << 24) | (ColourByte(c[0]) << 16) | (ColourByte(c[1]) << 8) |
                                         ColourByte(c[2]);
                }
                SkipSeparators();
                Expect(Tok::RBrace, "'}' after the vertex colours");
            } else {
                OpenObject();
                SkipBody();
            }
        }

        if (!haveMaterialList || materials.empty()) {
            MaterialSlot white;
            for (float& v : white.material.diffuse)
                v = 1.0f;
            materials.assign(1, white);
            std::fill(faceMaterial.begin(), faceMaterial.end(), 0u);
        }
        BuildPart(frame, vertexCount, positions, faceStart, faceVerts, faceMaterial, normals, cornerNormal, texCoords,
                  colours, std::move(materials), line);
    }

    void ParseMaterialList(uint32_t faceCount, std::vector<uint32_t>& faceMaterial,
                           std::vector<MaterialSlot>& materials, size_t line)
    {
        const uint32_t materialCount = Count("material count");
        const uint32_t indexCount = Count("material index count");
        if (indexCount > faceCount)
            Fail("more material indices than faces", line);
        for (uint32_t i = 0; i < indexCount; ++i) {
            const size_t at = lex_.Line();
            const uint64_t m = Integer("material index", UINT32_MAX);
            if (m >= materialCount)
                Fail("material index out of range", at);
            faceMaterial[i] = uint32_t(m);
        }
        // A short list leaves the remaining faces on its last material.
        for (uint32_t i = indexCount; i < faceCount && indexCount > 0; ++i)
            faceMaterial[i] = faceMaterial[indexCount - 1];
        for (;;) {
            Token t = lex_.Take();
            if (t.kind == Tok::RBrace)
                break;
            if (t.kind == Tok::Semi || t.kind == Tok::Comma)
                continue;
            if (t.kind == Tok::End)
                Fail("unbalanced braces: end of file inside a material list", t.line);
            if (t.kind == Tok::LBrace) {
                Token name = lex_.Take();
                if (name.kind != Tok::Name && name.kind != Tok::Number)
                    Fail("expected a material name in a reference", name.line);
                MaterialSlot slot;
                slot.reference = name.Str();
                materials.push_back(std::move(slot));
                SkipBody();
            } else if (t.kind == Tok::Name && t.Is("Material")) {
                std::string name = OpenObject();
                MaterialSlot slot;
                slot.material = ParseMaterial();
                if (!name.empty())
                    named_[name] = slot.material;
                materials.push_back(std::move(slot));
            } else if (t.kind == Tok::Name) {
                OpenObject();
                SkipBody();
            } else {
                Fail("unexpected '" + t.Str() + "' in a material list", t.line);
            }
            if (materials.size() > materialCount)
                Fail("material list holds more materials than it declares", t.line);
        }
        if (materials.size() != materialCount)
            Fail("material list declares " + std::to_string(materialCount) + " materials but holds " +
                     std::to_string(materials.size()),
                 line);
    }

    void ParseNormals(const std::vector<uint32_t>& faceStart, std::vector<float>& normals,
                      std::vector<uint32_t>& cornerNormal, size_t line)
    {
        const uint32_t normalCount = Count("normal count");
        normals.clear();
        for (uint32_t i = 0; i < normalCount * 3; ++i)
            normals.push_back(Float("normal"));
        const uint32_t faceCount = Count("normal face count");
        if (faceCount != faceStart.size() - 1)
            Fail("normal faces differ from the mesh faces", line);
        cornerNormal.assign(faceStart.back(), 0);
        for (uint32_t f = 0; f < faceCount; ++f) {
            const uint32_t n = Count("normal face size");
            if (n != faceStart[f + 1] - faceStart[f])
                Fail("normal face differs from its mesh face", line);
            for (uint32_t k = 0; k < n; ++k) {
                const size_t at = lex_.Line();
                const uint64_t v = Integer("normal index", UINT32_MAX);
                if (v >= normalCount)
                    Fail("normal index out of range", at);
                cornerNormal[faceStart[f] + k] = uint32_t(v);
            }
        }
        SkipSeparators();
        Expect(Tok::RBrace, "'}' after the normals");
    }

    // Turns one parsed mesh into triangles. A vertex whose corners use different
    // normals is duplicated, so that every output vertex has one normal.
    void BuildPart(int frame, uint32_t vertexCount, const std::vector<float>& positions,
                   const std::vector<uint32_t>& faceStart, const std::vector<uint32_t>& faceVerts,
                   const std::vector<uint32_t>& faceMaterial, const std::vector<float>& normals,
                   const std::vector<uint32_t>& cornerNormal, const std::vector<float>& texCoords,
                   const std::vector<uint32_t>& colours, std::vector<MaterialSlot> materials, size_t line)
    {
        MeshPart part;
        part.frame = frame;
        part.materials = std::move(materials);
        part.hasNormals = !cornerNormal.empty();
        part.hasTexCoords = !texCoords.empty();
        part.hasColours = !colours.empty();
        part.positions = positions;
        if (part.hasTexCoords)
            part.texCoords = texCoords;
        if (part.hasColours)
            part.colours = colours;

        std::vector<uint32_t> corner(faceVerts); // output vertex of each corner
        if (part.hasNormals) {
            part.normals.assign(size_t(vertexCount) * 3, 0.0f);
            std::vector<uint32_t> firstNormal(vertexCount, UINT32_MAX);
            std::map<uint64_t, uint32_t> copies;
            for (size_t c = 0; c < faceVerts.size(); ++c) {
                const uint32_t v = faceVerts[c], n = cornerNormal[c];
                if (firstNormal[v] == UINT32_MAX) {
                    firstNormal[v] = n;
                    std::memcpy(&part.normals[size_t(v) * 3], &normals[size_t(n) * 3], 3 * sizeof(float));
                    continue;
                }
                if (firstNormal[v] == n)
                    continue;
                const uint64_t key = (uint64_t(v) << 32) | n;
                auto it = copies.find(key);
                if (it == copies.end()) {
                    const uint32_t copy = uint32_t(part.positions.size() / 3);
                    it = copies.emplace(key, copy).first;
                    for (int i = 0; i < 3; ++i) {
                        part.positions.push_back(positions[size_t(v) * 3 + i]);
                        part.normals.push_back(normals[size_t(n) * 3 + i]);
                    }
                    if (part.hasTexCoords)
                        for (int i = 0; i < 2; ++i)
                            part.texCoords.push_back(texCoords[size_t(v) * 2 + i]);
                    if (part.hasColours)
                        part.colours.push_back(colours[v]);
                }
                corner[c] = it->second;
            }
        }

        for (size_t f = 0; f + 1 < faceStart.size(); ++f) {
            const uint32_t b = faceStart[f], e = faceStart[f + 1];
            for (uint32_t k = b + 1; k + 1 < e; ++k) { // fan; faces under three corners draw nothing
                part.indices.push_back(corner[b]);
                part.indices.push_back(corner[k]);
                part.indices.push_back(corner[k + 1]);
                part.triangleMaterial.push_back(faceMaterial[f]);
            }
        }
        totalVertices_ += part.positions.size() / 3;
        if (totalVertices_ > kMaxTotalVertices)
            Fail("too many vertices in the file", line);
        parts_.push_back(std::move(part));
    }

    void Merge(XMeshData& out)
    {
        // World matrices: a frame's parent always comes before it.
        std::vector<std::array<float, 16>> world(frames_.size());
        for (size_t i = 0; i < frames_.size(); ++i) {
            if (frames_[i].parent < 0)
                std::memcpy(world[i].data(), frames_[i].local, sizeof frames_[i].local);
            else
                Multiply(frames_[i].local, world[size_t(frames_[i].parent)].data(), world[i].data());
        }

        bool allNormals = true, anyTexCoords = false, anyColours = false;
        for (const MeshPart& p : parts_) {
            allNormals = allNormals && p.hasNormals;
            anyTexCoords = anyTexCoords || p.hasTexCoords;
            anyColours = anyColours || p.hasColours;
        }
        for (const MeshPart& p : parts_) {
            const uint32_t base = uint32_t(out.positions.size() / 3);
            const uint32_t materialBase = uint32_t(out.materials.size());
            const size_t n = p.positions.size() / 3;
            float identity[16];
            Identity(identity);
            const float* m = p.frame >= 0 ? world[size_t(p.frame)].data() : identity;
            for (size_t v = 0; v < n; ++v) {
                const float x = p.positions[v * 3], y = p.positions[v * 3 + 1], z = p.positions[v * 3 + 2];
                float tx = x * m[0] + y * m[4] + z * m[8] + m[12];
                float ty = x * m[1] + y * m[5] + z * m[9] + m[13];
                float tz = x * m[2] + y * m[6] + z * m[10] + m[14];
                const float w = x * m[3] + y * m[7] + z * m[11] + m[15];
                if (w != 1.0f && w != 0.0f && std::isfinite(w)) {
                    tx /= w;
                    ty /= w;
                    tz /= w;
                }
                if (!std::isfinite(tx) || !std::isfinite(ty) || !std::isfinite(tz))
                    throw XError{"a frame transform moves a vertex out of range"};
                out.positions.insert(out.positions.end(), {tx, ty, tz});
                if (allNormals) {
                    const float a = p.normals[v * 3], b = p.normals[v * 3 + 1], c = p.normals[v * 3 + 2];
                    float nx = a * m[0] + b * m[4] + c * m[8];
                    float ny = a * m[1] + b * m[5] + c * m[9];
                    float nz = a * m[2] + b * m[6] + c * m[10];
                    const float len = std::sqrt(nx * nx + ny * ny + nz * nz);
                    if (len > 0.0f && std::isfinite(len)) {
                        nx /= len;
                        ny /= len;
                        nz /= len;
                    } else {
                        nx = ny = nz = 0.0f;
                    }
                    out.normals.insert(out.normals.end(), {nx, ny, nz});
                }
                if (anyTexCoords) {
                    out.texCoords.push_back(p.hasTexCoords ? p.texCoords[v * 2] : 0.0f);
                    out.texCoords.push_back(p.hasTexCoords ? p.texCoords[v * 2 + 1] : 0.0f);
                }
                if (anyColours)
                    out.colours.push_back(p.hasColours ? p.colours[v] : 0xFFFFFFFFu);
            }
            for (uint32_t i : p.indices)
                out.indices.push_back(base + i);
            for (uint32_t t : p.triangleMaterial)
                out.triangleMaterial.push_back(materialBase + t);
            for (const MaterialSlot& s : p.materials) {
                if (s.reference.empty()) {
                    out.materials.push_back(s.material);
                    continue;
                }
                auto it = named_.find(s.reference);
                if (it == named_.end())
                    throw XError{"unknown material '" + s.reference + "'"};
                out.materials.push_back(it->second);
            }
        }
    }

    Lexer lex_;
    std::vector<Frame> frames_;
    std::vector<MeshPart> parts_;
    std::map<std::string, XMaterial> named_;
    size_t totalVertices_ = 0;
};

} // namespace

bool ParseXFile(const uint8_t* data, size_t size, XMeshData& out, std::string* error)
{
    out = XMeshData{};
    auto fail = [&](const std::string& why) {
        out = XMeshData{};
        if (error)
            *error = why;
        return false;
    };
    if (!data || size < 16 || std::memcmp(data, "xof ", 4) != 0)
        return fail("not an .x file (no \"xof \" header)");
    const char* format = reinterpret_cast<const char*>(data) + 8;
    if (std::memcmp(format, "bin ", 4) == 0)
        return fail("binary .x files are not supported");
    if (std::memcmp(format, "tzip", 4) == 0 || std::memcmp(format, "bzip", 4) == 0)
        return fail("compressed .x files are not supported");
    if (std::memcmp(format, "txt ", 4) != 0)
        return fail("unknown .x file format");
    const char* version = reinterpret_cast<const char*>(data) + 4;
    if (std::memcmp(version, "03", 2) != 0)
        return fail("unsupported .x file version");
    const char* floatSize = reinterpret_cast<const char*>(data) + 12;
    if (std::memcmp(floatSize, "0032", 4) != 0 && std::memcmp(floatSize, "0064", 4) != 0)
        return fail("unknown float size in the .x header");
    try {
        const char* text = reinterpret_cast<const char*>(data);
        Parser parser(text + 16, text + size);
        parser.ParseFile(out);
    } catch (const XError& e) {
        return fail(e.message);
    } catch (const std::bad_alloc&) {
        return fail("out of memory while reading the mesh");
    }
    return true;
}

} // namespace plat
