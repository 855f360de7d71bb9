// The OpenGL device's gathered path: fans that share their state go out as one array
// of triangles, and opaque world quads are gathered by texture where their order cannot
// show.
#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>

#include "platform/gfx_opengl_device.h"

namespace plat::opengl {
namespace {

// A run of opaque fans is drawn and a new one begun beyond this many batches.
constexpr size_t kMaxRunBatches = 256;

void RowTimesMatrix(const float in[4], const Matrix4& m, float out[4])
{
    for (int j = 0; j < 4; ++j)
        out[j] = in[0] * m.m[0][j] + in[1] * m.m[1][j] + in[2] * m.m[2][j] + in[3] * m.m[3][j];
}

} // namespace

// The state that decides how a fan is drawn is the one the gathered fans use.
bool OpenGlDevice::SameDrawState(const DrawState& a, const DrawState& b, bool pretransformed)
{
    if (a.depthTest != b.depthTest || a.alphaBlend != b.alphaBlend)
        return false;
    if (pretransformed) // drawn in pixels and never lit
        return true;
    if (a.lighting != b.lighting || !SameMatrix(a.world, b.world) || !SameMatrix(a.view, b.view) ||
        !SameMatrix(a.projection, b.projection))
        return false;
    return !a.lighting || SameMaterial(a.material, b.material);
}

bool OpenGlDevice::FanJoinsBatch(bool pretransformed, GLuint texture) const
{
    if (pretransformed != m_fanPretransformed || texture != m_fanTexture || m_viewportVersion != m_fanViewportVersion)
        return false;
    return m_stateVersion == m_fanStateVersion || SameDrawState(m_state, m_fanState, pretransformed);
}

// The fan's corner as the gathered arrays hold it. False when its alpha is below one.
bool OpenGlDevice::ConvertFanVertex(const uint8_t* v, const VertexLayout& layout, bool lit, FanVertex& out)
{
    float p[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    std::memcpy(p, v, layout.pretransformed ? 16 : 12);
    if (layout.pretransformed) {
        // rhw is 1/w: the homogeneous point keeps texturing perspective-correct.
        const float w = p[3] != 0.0f ? 1.0f / p[3] : 1.0f;
        out.position[0] = p[0] * w;
        out.position[1] = p[1] * w;
        out.position[2] = p[2] * w;
        out.position[3] = w;
    } else {
        std::memcpy(out.position, p, sizeof(out.position));
    }
    GLubyte rgba[4] = {255, 255, 255, 255};
    if (layout.diffuse >= 0) {
        uint32_t c;
        std::memcpy(&c, v + layout.diffuse, 4);
        ColourBytes(c, rgba);
    }
    // As floats, worked out as OpenGL does for glColor4ub: byte colours in an
    // array are widened another way and come out a step off in places.
    static const std::array<GLfloat, 256> kUnit = [] {
        std::array<GLfloat, 256> table{};
        for (int i = 0; i < 256; ++i)
            table[static_cast<size_t>(i)] = static_cast<GLfloat>(i) / 255.0f;
        return table;
    }();
    for (int k = 0; k < 4; ++k)
        out.colour[k] = kUnit[rgba[k]];
    if (layout.texCoord >= 0)
        std::memcpy(out.uv, v + layout.texCoord, 8);
    else
        out.uv[0] = out.uv[1] = 0.0f;
    return rgba[3] == 255 || lit;
}

void OpenGlDevice::GatherFan(const uint8_t* base, uint32_t primitiveCount, const VertexLayout& layout)
{
    const bool pretransformed = layout.pretransformed;
    const GLuint texture = FanTexture(layout);
    if (m_fanVertexCount > 0 && !FanJoinsBatch(pretransformed, texture))
        FlushGathered();
    if (m_fanVertexCount == 0) {
        ApplyDrawStateCached(pretransformed, layout.diffuse >= 0, false);
        ApplyTextureCached(layout.texCoord >= 0);
        m_fanPretransformed = pretransformed;
        m_fanTexture = texture;
        m_fanViewportVersion = m_viewportVersion;
        m_fanState = m_state;
        m_fanOpaque = true;
    }
    m_fanStateVersion = m_stateVersion;
    // Lit, the alpha is the material's times the texture's; otherwise the vertices'.
    const bool lit = m_state.lighting && !pretransformed;
    if ((lit && !(m_state.material.diffuse[3] >= 1.0f)) || (texture != 0 && m_opaqueTextures.count(texture) == 0))
        m_fanOpaque = false;

    const uint32_t count = primitiveCount + 2;
    m_fanCorners.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
        if (!ConvertFanVertex(base + static_cast<size_t>(i) * layout.stride, layout, lit, m_fanCorners[i]))
            m_fanOpaque = false;
    }
    m_fanVertices.reserve(m_fanVertices.size() + static_cast<size_t>(primitiveCount) * 3);
    for (uint32_t i = 1; i + 1 < count; ++i) {
        m_fanVertices.push_back(m_fanCorners[0]);
        m_fanVertices.push_back(m_fanCorners[i]);
        m_fanVertices.push_back(m_fanCorners[i + 1]);
    }
    m_fanVertexCount = m_fanVertices.size();
}

void OpenGlDevice::FlushGathered()
{
    if (m_fanVertexCount == 0)
        return;
    // Blending a fragment of alpha 1 gives the fragment itself: opaque fans skip
    // reading the target back.
    SetBlending(m_fanState.alphaBlend, m_fanOpaque, !m_fanPretransformed);
    SetArrays(kVertexArray | kColourArray | kTexCoordArray);
    PointFanArrays(m_fanVertices.data());
    DrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(m_fanVertexCount));
    m_fanVertices.clear();
    m_fanVertexCount = 0;
}

void OpenGlDevice::PointFanArrays(const FanVertex* v)
{
    BindArrayBuffer(0);
    m_pointedMesh = nullptr;
    const GLsizei stride = sizeof(FanVertex);
    VertexPointer(4, GL_FLOAT, stride, v->position);
    ColorPointer(4, GL_FLOAT, stride, v->colour);
    TexCoordPointer(2, GL_FLOAT, stride, v->uv);
}

// ---- Opaque world fans, gathered by texture ----
// With the depth test on and nothing seen through them, the picture of opaque
// fans does not depend on their order, except where two of them give one pixel the
// same depth: there the later one shows. So a run of such quads is gathered into
// one batch per texture, except that a quad that might meet an earlier one at equal
// depth is never drawn before it: it goes to a batch after that one's. Two quads
// cannot meet so when
//  - their rectangles on the screen are apart, or their depths are apart by more
//    than the buffer can tell;
//  - they lie farther apart in space than two points of one pixel's ray that the
//    buffer stores alike;
//  - they lie on either side of an edge they share, or touch only at a corner they
//    share with a line through it between them (OpenGL gives each pixel of a shared
//    edge or corner to one of them at most);
//  - they are rectangles of one plane that overlap nowhere but at corners and whole
//    edges they share.
// A quad that the run repeats later is left out where it first came.

// The fan's corners in the game's clip space (x, y, z, w), and whether every corner
// lies beyond one side of the view volume as OpenGL clips it (half-pixel shift and
// all), which the clipper would throw away whole.
bool OpenGlDevice::WorldFanIsOutOfView(const uint8_t* base, uint32_t count, const VertexLayout& layout,
                                       float clip[4][4])
{
    if (m_clipMatrixVersion != m_stateVersion) {
        m_clipMatrix = MatrixMultiply(MatrixMultiply(m_state.world, m_state.view), m_state.projection);
        m_clipMatrixVersion = m_stateVersion;
    }
    const float width = static_cast<float>(m_viewport.width), height = static_cast<float>(m_viewport.height);
    uint32_t outside = 0x3F;
    for (uint32_t i = 0; i < count; ++i) {
        float p[4] = {0.0f, 0.0f, 0.0f, 1.0f};
        std::memcpy(p, base + static_cast<size_t>(i) * layout.stride, 12);
        float c[4];
        RowTimesMatrix(p, m_clipMatrix, c);
        if (i < 4)
            std::memcpy(clip[i], c, sizeof c);
        const float w = c[3];
        const float slack = 1e-5f * std::fabs(w) + 1e-6f;
        const float x = c[0] + w / width, y = c[1] - w / height, z = 2.0f * c[2] - w;
        uint32_t code = 0;
        code |= x < -w - slack ? 1u : 0u;
        code |= x > w + slack ? 2u : 0u;
        code |= y < -w - slack ? 4u : 0u;
        code |= y > w + slack ? 8u : 0u;
        code |= z < -w - slack ? 16u : 0u;
        code |= z > w + slack ? 32u : 0u;
        outside &= code;
    }
    return outside != 0;
}

// Opaque: nothing behind it shows through, so blending it changes nothing.
bool OpenGlDevice::CanReorderFan(const uint8_t* base, const VertexLayout& layout)
{
    if (!m_state.depthTest)
        return false;
    if (!m_state.alphaBlend)
        return true;
    const GLuint texture = FanTexture(layout);
    if (texture != 0 && texture != m_lastOpaqueTexture) {
        if (m_opaqueTextures.count(texture) == 0)
            return false;
        m_lastOpaqueTexture = texture; // quads come in long stretches of one texture
    }
    if (m_state.lighting)
        return m_state.material.diffuse[3] >= 1.0f;
    if (layout.diffuse < 0)
        return true;
    for (int i = 0; i < 4; ++i) {
        uint32_t c;
        std::memcpy(&c, base + static_cast<size_t>(i) * layout.stride + layout.diffuse, 4);
        if (c < 0xFF000000u)
            return false;
    }
    return true;
}

bool OpenGlDevice::RunTakesFan() const
{
    if (m_runBatchCount == 0 || m_runViewportVersion != m_viewportVersion)
        return false;
    return m_stateVersion == m_runStateVersion || SameDrawState(m_state, m_runState, false);
}

void OpenGlDevice::AddToOpaqueRun(const uint8_t* base, const VertexLayout& layout, const float clip[4][4])
{
    if (!RunTakesFan()) {
        FlushFans();
        BeginOpaqueRun(layout);
    }
    m_runStateVersion = m_stateVersion;
    RunQuad quad;
    QuadShape shape;
    for (int i = 0; i < 4; ++i)
        std::memcpy(shape.corner[i], base + static_cast<size_t>(i) * layout.stride, 12);
    quad.texture = FanTexture(layout);
    const bool lit = m_state.lighting;
    FanVertex corners[4];
    for (int i = 0; i < 4; ++i)
        ConvertFanVertex(base + static_cast<size_t>(i) * layout.stride, layout, lit, corners[i]);
    DropEarlierCopy(quad, shape, corners);
    uint32_t batch = PlaceInRun(quad, shape, clip);
    if (batch == UINT32_MAX) { // too many batches: draw what there is and begin anew
        FlushOpaqueRun();
        BeginOpaqueRun(layout);
        DropEarlierCopy(quad, shape, corners); // remembered in the new run
        batch = PlaceInRun(quad, shape, clip);
    }
    std::vector<FanVertex>& out = m_runBatches[batch].vertices;
    m_runQuads.back().firstVertex = static_cast<uint32_t>(out.size());
    for (int corner : {0, 1, 2, 0, 2, 3})
        out.push_back(corners[corner]);
}

void OpenGlDevice::BeginOpaqueRun(const VertexLayout& layout)
{
    ApplyDrawStateCached(false, layout.diffuse >= 0, false);
    m_runState = m_state;
    m_runViewportVersion = m_viewportVersion;
    // A left-handed perspective projection stores depth = A - B / z; B (= zn zf / (zf - zn))
    // tells how fast depth falls off with distance. Any other projection: no such test.
    const Matrix4& p = m_state.projection;
    const bool perspective = p.m[2][3] == 1.0f && p.m[3][3] == 0.0f && p.m[0][3] == 0.0f && p.m[1][3] == 0.0f;
    m_runDepthFalloff = perspective && -p.m[3][2] > 0.0f ? -p.m[3][2] : 0.0f;
}

// Where a quad repeats one drawn earlier in the run (as the wall between two cells is
// drawn by each), the earlier one is left out: the later gives the same fragments at
// the same depths and so wins wherever the earlier would have, whatever lies between.
// It no longer holds other quads back either.
void OpenGlDevice::DropEarlierCopy(RunQuad& quad, const QuadShape& shape, const FanVertex corners[4])
{
    uint64_t key = 0x9E3779B97F4A7C15u ^ quad.texture;
    for (const float* corner : shape.corner) {
        for (int k = 0; k < 3; ++k) {
            uint32_t bits;
            std::memcpy(&bits, &corner[k], 4);
            key = (key ^ bits) * 0x100000001B3u;
            key ^= key >> 29;
        }
    }
    quad.lookKey = key;
    // An open-addressed table of the last quad of each look, emptied by a new run.
    if (m_lookTable.size() < m_runQuads.size() * 2 + 64) {
        m_lookTable.assign(std::max<size_t>(m_lookTable.size() * 2, 1024), LookEntry{});
        for (uint32_t i = 0; i < m_runQuads.size(); ++i) // the run so far, again
            if (!m_runQuads[i].dropped)
                Remember(m_runQuads[i].lookKey, i);
    }
    const uint32_t index = static_cast<uint32_t>(m_runQuads.size());
    const size_t mask = m_lookTable.size() - 1;
    for (size_t slot = key & mask;; slot = (slot + 1) & mask) {
        LookEntry& entry = m_lookTable[slot];
        if (entry.run != m_runNumber) {
            entry = LookEntry{key, index, m_runNumber};
            return;
        }
        if (entry.key != key)
            continue;
        RunQuad& earlier = m_runQuads[entry.quad];
        const FanVertex* drawn = &m_runBatches[earlier.batch].vertices[earlier.firstVertex];
        // Its six vertices are corners 0, 1, 2, 0, 2, 3.
        if (!earlier.dropped && earlier.texture == quad.texture && SameBits(drawn[0], corners[0]) &&
            SameBits(drawn[1], corners[1]) && SameBits(drawn[2], corners[2]) && SameBits(drawn[5], corners[3])) {
            earlier.dropped = true;
            ++m_runBatches[earlier.batch].dropped;
        }
        entry.quad = index;
        return;
    }
}

// Bit for bit the same, so that the two give the very same fragments.
bool OpenGlDevice::SameBits(const FanVertex& a, const FanVertex& b)
{
    const auto same = [](const GLfloat* x, const GLfloat* y, int count) {
        for (int i = 0; i < count; ++i)
            if (std::bit_cast<uint32_t>(x[i]) != std::bit_cast<uint32_t>(y[i]))
                return false;
        return true;
    };
    return same(a.position, b.position, 4) && same(a.colour, b.colour, 4) && same(a.uv, b.uv, 2);
}

void OpenGlDevice::Remember(uint64_t key, uint32_t index)
{
    const size_t mask = m_lookTable.size() - 1;
    for (size_t slot = key & mask;; slot = (slot + 1) & mask) {
        LookEntry& entry = m_lookTable[slot];
        if (entry.run != m_runNumber || entry.key == key) {
            entry = LookEntry{key, index, m_runNumber};
            return;
        }
    }
}

// The batch the quad joins: the first of its texture that comes no earlier than any
// quad it may tie with. UINT32_MAX when a new batch would be one too many.
// The quad is described for the checks only when they need it: a quad that joins the
// last batch comes after everything anyway, and one in the first batch can never be
// one that a later quad must come after (no later quad goes before the first batch).
uint32_t OpenGlDevice::PlaceInRun(RunQuad& q, QuadShape& shape, const float clip[4][4])
{
    const GLuint texture = q.texture;
    uint32_t first = UINT32_MAX;
    for (uint32_t i = 0; i < m_runBatchCount; ++i) {
        if (m_runBatches[i].texture == texture) {
            first = i;
            break;
        }
    }
    uint32_t target = UINT32_MAX;
    bool described = false;
    int cx0 = 0, cx1 = -1, cy0 = 0, cy1 = -1;
    const auto describe = [&] {
        if (!described) {
            DescribeQuadShape(clip, static_cast<float>(m_viewport.width), static_cast<float>(m_viewport.height),
                              m_viewportScale, m_depthSlack, shape);
            GridCellsOf(shape, cx0, cx1, cy0, cy1);
            described = true;
        }
    };
    if (first != UINT32_MAX && first + 1 == m_runBatchCount) {
        target = first;
    } else if (first != UINT32_MAX) {
        describe();
        uint32_t latest = first;
        ++m_runSeen;
        for (int cy = cy0; cy <= cy1; ++cy) {
            for (int cx = cx0; cx <= cx1; ++cx) {
                for (uint32_t index : m_tieGrid[static_cast<size_t>(cy) * kTieGridColumns + static_cast<size_t>(cx)]) {
                    QuadShape& other = m_runShapes[index];
                    if (other.seen == m_runSeen)
                        continue;
                    other.seen = m_runSeen;
                    const RunQuad& placed = m_runQuads[other.quad];
                    if (placed.batch > latest && !placed.dropped &&
                        MayTie(other, shape, m_depthSlack, m_runDepthFalloff))
                        latest = placed.batch;
                }
            }
        }
        for (uint32_t i = latest; i < m_runBatchCount; ++i) {
            if (m_runBatches[i].texture == texture) {
                target = i;
                break;
            }
        }
    }
    if (target == UINT32_MAX) {
        if (m_runBatchCount >= kMaxRunBatches)
            return UINT32_MAX;
        target = m_runBatchCount++;
        if (m_runBatches.size() < m_runBatchCount)
            m_runBatches.resize(m_runBatchCount);
        m_runBatches[target].texture = texture;
        m_runBatches[target].quads.clear();
        m_runBatches[target].vertices.clear();
        m_runBatches[target].dropped = 0;
    }
    q.batch = target;
    const uint32_t index = static_cast<uint32_t>(m_runQuads.size());
    m_runQuads.push_back(q);
    m_runBatches[target].quads.push_back(index);
    if (target > 0) {
        describe();
        shape.quad = index;
        shape.seen = m_runSeen;
        const uint32_t shapeIndex = static_cast<uint32_t>(m_runShapes.size());
        m_runShapes.push_back(shape);
        for (int cy = cy0; cy <= cy1; ++cy)
            for (int cx = cx0; cx <= cx1; ++cx)
                m_tieGrid[static_cast<size_t>(cy) * kTieGridColumns + static_cast<size_t>(cx)].push_back(shapeIndex);
    }
    return target;
}

// The cells of the tie grid that the quad's rectangle covers (none off the picture).
void OpenGlDevice::GridCellsOf(const QuadShape& q, int& cx0, int& cx1, int& cy0, int& cy1) const
{
    const float width = static_cast<float>(m_viewport.width), height = static_cast<float>(m_viewport.height);
    if (q.right < 0.0f || q.bottom < 0.0f || q.left > width || q.top > height)
        return;
    const float cellWidth = width / kTieGridColumns, cellHeight = height / kTieGridRows;
    const auto cell = [](float v, float size, int count) {
        return static_cast<int>(std::clamp(v / size, 0.0f, static_cast<float>(count - 1)));
    };
    cx0 = cell(q.left, cellWidth, kTieGridColumns);
    cx1 = cell(q.right, cellWidth, kTieGridColumns);
    cy0 = cell(q.top, cellHeight, kTieGridRows);
    cy1 = cell(q.bottom, cellHeight, kTieGridRows);
}

void OpenGlDevice::FlushOpaqueRun()
{
    if (m_runBatchCount == 0)
        return;
    // The run's state was set when it began; nothing has touched OpenGL since.
    // Every fan in it is opaque, so blending would change nothing.
    SetBlending(m_runState.alphaBlend, true, true);
    SetArrays(kVertexArray | kColourArray | kTexCoordArray);
    for (uint32_t i = 0; i < m_runBatchCount; ++i) {
        RunBatch& batch = m_runBatches[i];
        if (batch.dropped > 0) { // leave out the quads repeated later
            size_t kept = 0;
            for (uint32_t index : batch.quads) {
                const RunQuad& quad = m_runQuads[index];
                if (quad.dropped)
                    continue;
                std::memmove(&batch.vertices[kept], &batch.vertices[quad.firstVertex], 6 * sizeof(FanVertex));
                kept += 6;
            }
            batch.vertices.resize(kept);
        }
        if (!batch.vertices.empty()) {
            UseTexture(batch.texture);
            PointFanArrays(batch.vertices.data());
            DrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(batch.vertices.size()));
        }
        batch.vertices.clear();
        batch.quads.clear();
        batch.dropped = 0;
    }
    m_runBatchCount = 0;
    m_runQuads.clear();
    m_runShapes.clear();
    ++m_runNumber;
    for (std::vector<uint32_t>& cell : m_tieGrid)
        cell.clear();
}

} // namespace plat::opengl
