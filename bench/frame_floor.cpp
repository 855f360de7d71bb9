#include "frame_floor.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace bench {

struct FloorFrame {
    plat::GfxDevice* device = nullptr;
    plat::ClipGeometry* geometry = nullptr;
    plat::Texture* texture = nullptr;
    std::vector<plat::ClipRun> runs;
    uint32_t triangles = 0;
    uint32_t vertices = 0;
};

namespace {

// The floor's one texture stands in for every texture of the frame: each triangle's
// coordinates are scaled so that it reads the same number of texels as it did.
constexpr uint32_t kFloorTextureSize = 2048;
constexpr uint32_t kNone = UINT32_MAX;

void RowTimesMatrix(const float in[4], const plat::Matrix4& m, float out[4])
{
    for (int j = 0; j < 4; ++j)
        out[j] = in[0] * m.m[0][j] + in[1] * m.m[1][j] + in[2] * m.m[2][j] + in[3] * m.m[3][j];
}

// A world position as OpenGL clips it: the game's clip space with z from 0..w made
// -w..w, and the half-pixel shift of the device.
void ClipOfWorld(const plat::Matrix4& worldViewProjection, const float p[3], float width, float height, float out[4])
{
    const float in[4] = {p[0], p[1], p[2], 1.0f};
    float c[4];
    RowTimesMatrix(in, worldViewProjection, c);
    out[0] = c[0] + c[3] / width;
    out[1] = c[1] - c[3] / height;
    out[2] = 2.0f * c[2] - c[3];
    out[3] = c[3];
}

// A pre-transformed position (pixels, depth, reciprocal w) as OpenGL clips it.
void ClipOfScreen(const float p[4], float width, float height, float out[4])
{
    const float w = p[3] != 0.0f ? 1.0f / p[3] : 1.0f;
    out[0] = 2.0f / width * (p[0] * w + 0.5f * w) - w;
    out[1] = -2.0f / height * (p[1] * w + 0.5f * w) + w;
    out[2] = 2.0f * p[2] * w - w;
    out[3] = w;
}

uint8_t UnitToByte(float v)
{
    return static_cast<uint8_t>(std::clamp(v, 0.0f, 1.0f) * 255.0f + 0.5f);
}

void ColourBytes(uint32_t argb, uint8_t out[4])
{
    out[0] = static_cast<uint8_t>(argb >> 16);
    out[1] = static_cast<uint8_t>(argb >> 8);
    out[2] = static_cast<uint8_t>(argb);
    out[3] = static_cast<uint8_t>(argb >> 24);
}

// The sides of the view volume a clip-space point lies beyond, as bits.
uint32_t OutsideBits(const float p[4])
{
    return (p[0] < -p[3] ? 1u : 0u) | (p[0] > p[3] ? 2u : 0u) | (p[1] < -p[3] ? 4u : 0u) | (p[1] > p[3] ? 8u : 0u) |
           (p[2] < -p[3] ? 16u : 0u) | (p[2] > p[3] ? 32u : 0u);
}

bool SameFloats(const float* a, const float* b, int count)
{
    for (int i = 0; i < count; ++i)
        if (!(a[i] == b[i]))
            return false;
    return true;
}

// The state under which the game keeps gathering opaque world quads into one run.
bool SameRunState(const plat::DrawState& a, const plat::DrawState& b)
{
    if (a.depthTest != b.depthTest || a.alphaBlend != b.alphaBlend || a.lighting != b.lighting ||
        !SameFloats(&a.world.m[0][0], &b.world.m[0][0], 16) || !SameFloats(&a.view.m[0][0], &b.view.m[0][0], 16) ||
        !SameFloats(&a.projection.m[0][0], &b.projection.m[0][0], 16))
        return false;
    const plat::Material& x = a.material;
    const plat::Material& y = b.material;
    return !a.lighting || (SameFloats(x.diffuse, y.diffuse, 4) && SameFloats(x.ambient, y.ambient, 4) &&
                           SameFloats(x.specular, y.specular, 4) && SameFloats(x.emissive, y.emissive, 4) &&
                           SameFloats(&x.power, &y.power, 1));
}

// A corner as the floor draws it, its bytes as a key.
struct CornerKey {
    std::array<uint32_t, sizeof(plat::ClipVertex) / 4> words{};
    bool operator==(const CornerKey&) const = default;
};
struct CornerHash {
    size_t operator()(const CornerKey& key) const
    {
        uint64_t h = 0xCBF29CE484222325u;
        for (uint32_t w : key.words)
            h = (h ^ w) * 0x100000001B3u;
        return static_cast<size_t>(h ^ (h >> 32));
    }
};

// A world quad as the game compares quads for repeats: its texture and its four corners
// as passed (place, colour, texture coordinates).
struct QuadKey {
    const plat::Texture* texture = nullptr;
    std::array<uint32_t, 4 * 6> words{};
    bool operator==(const QuadKey&) const = default;
};
struct QuadHash {
    size_t operator()(const QuadKey& key) const
    {
        uint64_t h = 0x9E3779B97F4A7C15u ^ reinterpret_cast<uintptr_t>(key.texture);
        for (uint32_t w : key.words)
            h = (h ^ w) * 0x100000001B3u;
        return static_cast<size_t>(h ^ (h >> 29));
    }
};

// The floor's triangles of one recorded frame.
class FloorBuilder {
public:
    FloorBuilder(const plat::Viewport& viewport, FloorFrame& floor)
        : m_width(static_cast<float>(viewport.width)), m_height(static_cast<float>(viewport.height)), m_floor(floor)
    {}

    void Add(const plat::RecordedFrame& frame, const plat::RecordedDraw& draw)
    {
        const plat::DrawState& state = frame.StateOf(draw);
        const bool mesh = draw.primitive == plat::RecordedPrimitive::MeshSubset;
        if (mesh && !draw.mesh)
            return;
        const plat::VertexLayout layout = plat::LayoutOfFormat(mesh ? draw.mesh->fvf : draw.fvf);
        if (layout.stride == 0 || (mesh && layout.pretransformed))
            return;
        m_layout = layout;
        m_state = &state;
        m_mesh = mesh;
        m_lit = state.lighting && !layout.pretransformed;
        m_textured = draw.texture && draw.texture->glName && layout.texCoord >= 0;
        m_textureOpaque = !m_textured || draw.texture->opaque;
        m_uvScale[0] = m_textured ? static_cast<float>(draw.texture->width) / kFloorTextureSize : 0.0f;
        m_uvScale[1] = m_textured ? static_cast<float>(draw.texture->height) / kFloorTextureSize : 0.0f;
        m_matrix = plat::MatrixMultiply(plat::MatrixMultiply(state.world, state.view), state.projection);
        if (mesh) {
            EndQuadRun();
            const plat::MeshSubset* subset = draw.mesh->FindSubset(draw.subset);
            if (!subset)
                return;
            // Each corner of the model is moved once, however many faces share it.
            const uint8_t* base = draw.mesh->vertices.data();
            m_drawCorners.assign(draw.mesh->vertexCount, kNone);
            for (uint32_t f = subset->faceStart; f < subset->faceStart + subset->faceCount; ++f) {
                const uint32_t* index = &draw.mesh->indices[static_cast<size_t>(f) * 3];
                AddTriangle({Corner(base, index[0]), Corner(base, index[1]), Corner(base, index[2])});
            }
            return;
        }
        const uint8_t* base = &frame.vertexBytes[draw.vertexOffset];
        m_drawCorners.assign(draw.vertexCount, kNone);
        for (uint32_t i = 0; i < draw.vertexCount; ++i)
            Corner(base, i);
        if (OutOfView(draw.vertexCount))
            return; // the game sends none of it, and goes on gathering
        const bool runQuad = TakeRunQuad(draw, base);
        if (!runQuad)
            EndQuadRun();
        m_placing = Placed{};
        for (uint32_t i = 1; i + 1 < draw.vertexCount; ++i)
            AddTriangle({m_drawCorners[0], m_drawCorners[i], m_drawCorners[i + 1]});
        if (runQuad)
            m_runQuads[m_quadKey] = m_placing;
    }

    // The triangles of the phase so far go out as one draw each of textured and untextured.
    void Finish()
    {
        for (int textured = 1; textured >= 0; --textured) {
            std::vector<uint32_t>& part = m_phase[textured];
            part.erase(std::remove(part.begin(), part.end(), kNone), part.end());
            if (part.empty())
                continue;
            plat::ClipRun run;
            run.firstIndex = static_cast<uint32_t>(m_indices.size());
            run.indexCount = static_cast<uint32_t>(part.size());
            run.depthTest = m_phaseDepthTest;
            run.blend = m_phaseBlend;
            run.textured = textured != 0;
            m_floor.runs.push_back(run);
            m_indices.insert(m_indices.end(), part.begin(), part.end());
            part.clear();
        }
    }

    const std::vector<plat::ClipVertex>& Vertices() const { return m_vertices; }
    const std::vector<uint32_t>& Indices() const { return m_indices; }

private:
    // Where a quad's triangles went: which part of the phase, from which index, how many.
    struct Placed {
        int part = 0;
        uint32_t firstIndex = 0;
        uint32_t triangles = 0;
    };

    // The floor's vertex of the draw's corner i, made when first asked for.
    uint32_t Corner(const uint8_t* base, uint32_t i)
    {
        uint32_t& made = m_drawCorners[i];
        if (made != kNone)
            return made;
        plat::ClipVertex v{};
        const bool opaque = Convert(base + static_cast<size_t>(i) * m_layout.stride, v);
        CornerKey key;
        std::memcpy(key.words.data(), &v, sizeof v);
        const auto [found, added] = m_cornerIndex.try_emplace(key, static_cast<uint32_t>(m_vertices.size()));
        if (added) {
            m_vertices.push_back(v);
            m_vertexOpaque.push_back(opaque);
        }
        made = found->second;
        return made;
    }

    // Whether every corner of the fan lies beyond one side of the view.
    bool OutOfView(uint32_t count) const
    {
        uint32_t outside = 0x3F;
        for (uint32_t i = 0; i < count; ++i)
            outside &= OutsideBits(m_vertices[m_drawCorners[i]].position);
        return outside != 0;
    }

    // The game gathers opaque world quads under one state into a run, and of a quad that
    // the run repeats draws only the last copy: the floor leaves out the same ones.
    bool TakeRunQuad(const plat::RecordedDraw& draw, const uint8_t* base)
    {
        if (m_layout.pretransformed || draw.vertexCount != 4 || !m_state->depthTest)
            return false;
        if (m_state->alphaBlend) {
            if (m_textured && !draw.texture->opaque)
                return false;
            if (m_lit ? !(m_state->material.diffuse[3] >= 1.0f) : !AllColoursOpaque(base))
                return false;
        }
        if (m_runState == nullptr || !SameRunState(*m_runState, *m_state))
            EndQuadRun();
        m_runState = m_state;
        QuadKey key;
        key.texture = m_textured ? draw.texture : nullptr;
        for (int i = 0; i < 4; ++i) {
            const uint8_t* v = base + static_cast<size_t>(i) * m_layout.stride;
            uint32_t* out = &key.words[static_cast<size_t>(i) * 6];
            std::memcpy(out, v, 12);
            out[3] = 0xFFFFFFFFu;
            if (m_layout.diffuse >= 0)
                std::memcpy(&out[3], v + m_layout.diffuse, 4);
            out[4] = out[5] = 0;
            if (m_layout.texCoord >= 0)
                std::memcpy(&out[4], v + m_layout.texCoord, 8);
        }
        const auto found = m_runQuads.find(key);
        if (found != m_runQuads.end()) { // the earlier copy is left out
            const Placed& earlier = found->second;
            std::vector<uint32_t>& part = m_phase[earlier.part];
            std::fill_n(part.begin() + static_cast<std::ptrdiff_t>(earlier.firstIndex), earlier.triangles * 3, kNone);
            m_floor.triangles -= earlier.triangles;
        }
        m_quadKey = key;
        return true;
    }

    bool AllColoursOpaque(const uint8_t* base) const
    {
        if (m_layout.diffuse < 0)
            return true;
        for (int i = 0; i < 4; ++i) {
            uint32_t c;
            std::memcpy(&c, base + static_cast<size_t>(i) * m_layout.stride + m_layout.diffuse, 4);
            if (c < 0xFF000000u)
                return false;
        }
        return true;
    }

    void EndQuadRun()
    {
        m_runQuads.clear();
        m_runState = nullptr;
    }

    // A phase is a stretch of triangles with the same depth test and blending; within
    // it the textured ones are drawn before the untextured ones, which changes which of
    // them a pixel shows but neither the pixels covered nor the work.
    void AddTriangle(const std::array<uint32_t, 3>& corners)
    {
        bool opaque = m_textureOpaque;
        uint32_t outside = 0x3F;
        for (uint32_t c : corners) {
            opaque = opaque && m_vertexOpaque[c];
            outside &= OutsideBits(m_vertices[c].position);
        }
        // A triangle wholly beyond one side of the view covers no pixel: the cheapest
        // way leaves it out.
        if (outside != 0)
            return;
        const bool blend = m_state->alphaBlend && !opaque;
        // (A run's quads are all of one phase: a new phase begins before its first quad.)
        if (m_phaseStarted && (m_phaseDepthTest != m_state->depthTest || m_phaseBlend != blend))
            Finish();
        m_phaseStarted = true;
        m_phaseDepthTest = m_state->depthTest;
        m_phaseBlend = blend;
        std::vector<uint32_t>& part = m_phase[m_textured ? 1 : 0];
        if (m_placing.triangles++ == 0) {
            m_placing.part = m_textured ? 1 : 0;
            m_placing.firstIndex = static_cast<uint32_t>(part.size());
        }
        part.insert(part.end(), corners.begin(), corners.end());
        ++m_floor.triangles;
    }

    // The vertex as drawn: its place, and its colour as lighting leaves it. False when
    // its alpha is below one.
    bool Convert(const uint8_t* in, plat::ClipVertex& out) const
    {
        float p[4] = {0.0f, 0.0f, 0.0f, 1.0f};
        std::memcpy(p, in, m_layout.pretransformed ? 16 : 12);
        if (m_layout.pretransformed)
            ClipOfScreen(p, m_width, m_height, out.position);
        else
            ClipOfWorld(m_matrix, p, m_width, m_height, out.position);
        uint8_t rgba[4] = {255, 255, 255, 255};
        if (m_layout.diffuse >= 0) {
            uint32_t colour;
            std::memcpy(&colour, in + m_layout.diffuse, 4);
            ColourBytes(colour, rgba);
        }
        if (m_lit) {
            // No lights and no ambient: the emissive colour, with the diffuse alpha (a
            // mesh's own colours stand in for the material's diffuse).
            const plat::Material& material = m_state->material;
            const uint8_t alpha = m_mesh && m_layout.diffuse >= 0 ? rgba[3] : UnitToByte(material.diffuse[3]);
            for (int k = 0; k < 3; ++k)
                rgba[k] = UnitToByte(material.emissive[k]);
            rgba[3] = alpha;
        }
        std::memcpy(out.colour, rgba, 4);
        out.uv[0] = out.uv[1] = 0.0f;
        if (m_textured) {
            float uv[2];
            std::memcpy(uv, in + m_layout.texCoord, 8);
            out.uv[0] = uv[0] * m_uvScale[0];
            out.uv[1] = uv[1] * m_uvScale[1];
        }
        return rgba[3] == 255;
    }

    float m_width, m_height;
    FloorFrame& m_floor;
    plat::VertexLayout m_layout;
    const plat::DrawState* m_state = nullptr;
    plat::Matrix4 m_matrix = plat::MatrixIdentity();
    bool m_mesh = false;
    bool m_lit = false;
    bool m_textured = false;
    bool m_textureOpaque = true;
    float m_uvScale[2] = {0.0f, 0.0f};

    std::vector<plat::ClipVertex> m_vertices;
    std::vector<bool> m_vertexOpaque;
    std::unordered_map<CornerKey, uint32_t, CornerHash> m_cornerIndex;
    std::vector<uint32_t> m_drawCorners; // the floor's vertex of each corner of the draw
    std::vector<uint32_t> m_indices;

    std::vector<uint32_t> m_phase[2]; // untextured, textured: three indices a triangle (kNone: left out)
    bool m_phaseStarted = false;
    bool m_phaseDepthTest = true;
    bool m_phaseBlend = false;

    // The game's run of opaque world quads, and where each of its quads went.
    const plat::DrawState* m_runState = nullptr;
    std::unordered_map<QuadKey, Placed, QuadHash> m_runQuads;
    QuadKey m_quadKey; // of the fan being added, when it is a quad of the run
    Placed m_placing;  // where the fan's triangles go
};

} // namespace

FloorFrame* CreateFloorFrame(plat::GfxDevice* device, const plat::RecordedFrame& frame)
{
    if (device == nullptr || device->Backend() != plat::GfxBackend::OpenGL)
        return nullptr;
    FloorFrame* floor = new FloorFrame;
    floor->device = device;
    FloorBuilder builder(device->GetViewport(), *floor);
    for (const plat::RecordedDraw& draw : frame.draws)
        builder.Add(frame, draw);
    builder.Finish();
    floor->vertices = static_cast<uint32_t>(builder.Vertices().size());
    floor->geometry = plat::CreateClipGeometry(device, builder.Vertices(), builder.Indices());
    // One texture of the atlas's size, opaque, with a pattern that is not all one texel.
    plat::Image image;
    image.width = image.height = image.imageWidth = image.imageHeight = kFloorTextureSize;
    image.pixels.resize(static_cast<size_t>(kFloorTextureSize) * kFloorTextureSize);
    for (size_t i = 0; i < image.pixels.size(); ++i)
        image.pixels[i] = 0xFF404040u | static_cast<uint32_t>((i * 2654435761u) >> 8); // never black
    floor->texture = device->CreateTexture(image);
    if (floor->geometry == nullptr || floor->texture == nullptr) {
        ReleaseFloorFrame(floor);
        return nullptr;
    }
    return floor;
}

void DrawFloorFrame(FloorFrame* floor)
{
    if (!floor)
        return;
    floor->device->Clear(0xFF000000u, 1.0f);
    floor->device->BeginScene();
    plat::DrawClipGeometry(floor->geometry, floor->texture, floor->runs);
}

FloorSummary SummariseFloorFrame(const FloorFrame* floor)
{
    FloorSummary summary;
    if (floor) {
        summary.triangles = floor->triangles;
        summary.vertices = floor->vertices;
        summary.draws = static_cast<uint32_t>(floor->runs.size());
    }
    return summary;
}

void ReleaseFloorFrame(FloorFrame* floor)
{
    if (!floor)
        return;
    plat::ReleaseClipGeometry(floor->geometry);
    floor->device->ReleaseTexture(floor->texture);
    delete floor;
}

} // namespace bench
