// The OpenGL device's parts, shared by the files that make it up: the device and its
// plain path (gfx_opengl.cpp), the gathering of fans into batches (gfx_opengl_batching.cpp),
// the meshes' vertex buffers (gfx_opengl_buffers.cpp) and the state set only where it
// changes (gfx_opengl_state.cpp); the depth-tie checks of the gathered quads are pure
// geometry (gfx_quad_ties.h). Only these files include it.
#pragma once
#include <GL/gl.h>
#include <SDL.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/gfx_device.h"
#include "platform/gfx_quad_ties.h"

#ifndef GL_BGRA
#define GL_BGRA 0x80E1
#endif
#ifndef GL_ARRAY_BUFFER
#define GL_ARRAY_BUFFER 0x8892
#endif
#ifndef GL_STATIC_DRAW
#define GL_STATIC_DRAW 0x88E4
#endif
#ifndef GL_ELEMENT_ARRAY_BUFFER
#define GL_ELEMENT_ARRAY_BUFFER 0x8893
#endif

namespace plat {

// Clip-space triangles in static buffers (see CreateClipGeometry).
struct ClipGeometry {
    GfxDevice* device = nullptr;
    GLuint vertices = 0;
    GLuint indices = 0;
};

namespace opengl {

// The projection that takes the device's clip space (z 0..w) to OpenGL's (-w..w), with
// the half-pixel shift of the 2D path, for a viewport of that size.
inline void ClipFixMatrix(int width, int height, GLfloat fix[16])
{
    const GLfloat m[16] = {
        1,  0, 0, 0, 0, 1, 0, 0, 0, 0, 2, 0, 1.0f / static_cast<float>(width), -1.0f / static_cast<float>(height),
        -1, 1};
    for (int i = 0; i < 16; ++i)
        fix[i] = m[i];
}

inline void ColourBytes(uint32_t argb, GLubyte out[4])
{
    out[0] = static_cast<GLubyte>(argb >> 16);
    out[1] = static_cast<GLubyte>(argb >> 8);
    out[2] = static_cast<GLubyte>(argb);
    out[3] = static_cast<GLubyte>(argb >> 24);
}

// The vertex-buffer calls are OpenGL 1.5: taken from the driver when first needed.
struct BufferCalls {
    using GenBuffers = void (*)(GLsizei, GLuint*);
    using DeleteBuffers = void (*)(GLsizei, const GLuint*);
    using BindBuffer = void (*)(GLenum, GLuint);
    using BufferData = void (*)(GLenum, std::ptrdiff_t, const void*, GLenum);
    GenBuffers genBuffers = nullptr;
    DeleteBuffers deleteBuffers = nullptr;
    BindBuffer bindBuffer = nullptr;
    BufferData bufferData = nullptr;
    bool tried = false;

    // Whether the driver has them; asked once.
    bool Load();
};

BufferCalls& Buffers();

// A corner of the gathered arrays.
struct FanVertex {
    GLfloat position[4];
    GLfloat colour[4];
    GLfloat uv[2];
};

// Client arrays, as bits of a mask.
inline constexpr uint32_t kVertexArray = 1;
inline constexpr uint32_t kNormalArray = 2;
inline constexpr uint32_t kColourArray = 4;
inline constexpr uint32_t kTexCoordArray = 8;

// The tie checks of the gathered opaque fans: the picture is split into cells so that
// a fan is checked only against the fans whose rectangles share a cell with its own.
inline constexpr int kTieGridColumns = 20;
inline constexpr int kTieGridRows = 15;

class OpenGlDevice final : public GfxDevice {
public:
    OpenGlDevice(SDL_Window* window, SDL_GLContext context) : m_window(window), m_context(context) {}
    ~OpenGlDevice() override;
    GfxBackend Backend() const override { return GfxBackend::OpenGL; }
    void ApplyFixedState();
    Texture* CreateTexture(const Image& image) override;
    void ReleaseTexture(Texture* texture) override;
    void DrawTriangleFan(const void* vertices, uint32_t primitiveCount, uint32_t stride) override;
    void DrawMeshSubset(const Mesh& mesh, uint32_t subset) override;
    void Clear(uint32_t colour, float z) override;
    void BeginScene() override;
    void EndScene() override;
    bool Present() override;
    bool ReadPixels(std::vector<uint32_t>& out) override;
    bool MakeClipGeometry(const std::vector<ClipVertex>& vertices, const std::vector<uint32_t>& indices,
                          ClipGeometry& geometry);
    void ReleaseClipGeometry(const ClipGeometry& geometry);
    void DrawClipGeometry(const ClipGeometry& geometry, const Texture* texture, const std::vector<ClipRun>& runs);

private:
    // ---- OpenGL calls, counted for the benchmarks' figures ----
    void Enable(GLenum cap)
    {
        glEnable(cap);
        CountCapability(cap);
    }

    void Disable(GLenum cap)
    {
        glDisable(cap);
        CountCapability(cap);
    }

    void CountCapability(GLenum cap)
    {
        ++m_counts.capabilities;
        if (cap == GL_TEXTURE_2D || cap == GL_BLEND || cap == GL_DEPTH_TEST)
            ++m_counts.fragmentStateChanges;
    }

    void EnableArray(GLenum array)
    {
        glEnableClientState(array);
        ++m_counts.capabilities;
    }

    void DisableArray(GLenum array)
    {
        glDisableClientState(array);
        ++m_counts.capabilities;
    }

    void BindTexture(GLuint name)
    {
        glBindTexture(GL_TEXTURE_2D, name);
        ++m_counts.textureBinds;
        ++m_counts.fragmentStateChanges;
    }

    void MatrixMode(GLenum mode)
    {
        glMatrixMode(mode);
        ++m_counts.matrices;
    }

    void LoadIdentity()
    {
        glLoadIdentity();
        ++m_counts.matrices;
    }

    void LoadMatrix(const GLfloat* m)
    {
        glLoadMatrixf(m);
        ++m_counts.matrices;
    }

    void MultMatrix(const GLfloat* m)
    {
        glMultMatrixf(m);
        ++m_counts.matrices;
    }

    void Ortho(double l, double r, double b, double t, double n, double f)
    {
        glOrtho(l, r, b, t, n, f);
        ++m_counts.matrices;
    }

    void Translate(GLfloat x, GLfloat y, GLfloat z)
    {
        glTranslatef(x, y, z);
        ++m_counts.matrices;
    }

    void SetMaterialv(GLenum face, GLenum name, const GLfloat* v)
    {
        glMaterialfv(face, name, v);
        ++m_counts.materials;
    }

    void SetMaterialf(GLenum face, GLenum name, GLfloat v)
    {
        glMaterialf(face, name, v);
        ++m_counts.materials;
    }

    // The five terms of a material on both faces, the shininess kept within OpenGL's range.
    void ApplyMaterial(const Material& mat)
    {
        SetMaterialv(GL_FRONT_AND_BACK, GL_DIFFUSE, mat.diffuse);
        SetMaterialv(GL_FRONT_AND_BACK, GL_AMBIENT, mat.ambient);
        SetMaterialv(GL_FRONT_AND_BACK, GL_SPECULAR, mat.specular);
        SetMaterialv(GL_FRONT_AND_BACK, GL_EMISSION, mat.emissive);
        SetMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, std::clamp(mat.power, 0.0f, 128.0f));
    }

    void ColorMaterial(GLenum face, GLenum mode)
    {
        glColorMaterial(face, mode);
        ++m_counts.materials;
    }

    void VertexPointer(GLint n, GLenum type, GLsizei stride, const void* p)
    {
        glVertexPointer(n, type, stride, p);
        ++m_counts.pointers;
    }

    void ColorPointer(GLint n, GLenum type, GLsizei stride, const void* p)
    {
        glColorPointer(n, type, stride, p);
        ++m_counts.pointers;
    }

    void TexCoordPointer(GLint n, GLenum type, GLsizei stride, const void* p)
    {
        glTexCoordPointer(n, type, stride, p);
        ++m_counts.pointers;
    }

    void NormalPointer(GLenum type, GLsizei stride, const void* p)
    {
        glNormalPointer(type, stride, p);
        ++m_counts.pointers;
    }

    void Begin(GLenum mode)
    {
        glBegin(mode);
        ++m_counts.draws;
    }

    void DrawArrays(GLenum mode, GLint first, GLsizei count)
    {
        glDrawArrays(mode, first, count);
        ++m_counts.draws;
        m_counts.triangles += static_cast<uint32_t>(count / 3);
    }

    void DrawElements(GLenum mode, GLsizei count, GLenum type, const void* indices)
    {
        glDrawElements(mode, count, type, indices);
        ++m_counts.draws;
        m_counts.triangles += static_cast<uint32_t>(count / 3);
    }
    void ApplyViewport();

    // ---- The plain path: every draw on its own, its whole state set again ----
    void DrawFanAlone(const uint8_t* base, uint32_t primitiveCount, const VertexLayout& layout);
    void DrawMeshAlone(const Mesh& mesh, const MeshSubset& s, const VertexLayout& layout);
    void ApplyTexture(bool hasTexCoords);
    void ApplyDrawState(bool pretransformed, bool vertexColour, bool mesh);
    void ConvertMeshColours(const Mesh& mesh, const VertexLayout& layout);

    // ---- The gathered path ----
    // llvmpipe pays for every draw call far more than for its few triangles, so fans
    // that share their state and texture go out as one array of triangles. Each fan
    // becomes the triangles (0, i, i + 1) in its own order, so the picture is the one
    // the fans draw. Anything that touches OpenGL otherwise sends the gathered fans first.
    void FlushFans()
    {
        FlushOpaqueRun();
        FlushGathered();
    }
    static bool SameDrawState(const DrawState& a, const DrawState& b, bool pretransformed);
    bool FanJoinsBatch(bool pretransformed, GLuint texture) const;

    GLuint FanTexture(const VertexLayout& layout) const
    {
        return m_texture && m_texture->glName && layout.texCoord >= 0 ? m_texture->glName : 0;
    }
    static bool ConvertFanVertex(const uint8_t* v, const VertexLayout& layout, bool lit, FanVertex& out);
    void GatherFan(const uint8_t* base, uint32_t primitiveCount, const VertexLayout& layout);
    void FlushGathered();
    void PointFanArrays(const FanVertex* v);

    // ---- Opaque world fans, gathered by texture ----
    bool WorldFanIsOutOfView(const uint8_t* base, uint32_t count, const VertexLayout& layout, float clip[4][4]);
    bool CanReorderFan(const uint8_t* base, const VertexLayout& layout);

    // Every quad of the run.
    struct RunQuad {
        GLuint texture = 0;
        uint32_t batch = 0;
        uint32_t firstVertex = 0; // of its six in its batch's vertices
        bool dropped = false;     // a later quad gives the very same fragments
        uint64_t lookKey = 0;     // its corners and texture, hashed
    };

    struct LookEntry {
        uint64_t key = 0;
        uint32_t quad = 0;
        uint32_t run = 0; // the run it belongs to; any other: empty
    };

    struct RunBatch {
        GLuint texture = 0;
        std::vector<FanVertex> vertices; // six a quad, in the run's order
        std::vector<uint32_t> quads;     // the quads they belong to
        uint32_t dropped = 0;
    };
    bool RunTakesFan() const;
    void AddToOpaqueRun(const uint8_t* base, const VertexLayout& layout, const float clip[4][4]);
    void BeginOpaqueRun(const VertexLayout& layout);
    void DropEarlierCopy(RunQuad& quad, const QuadShape& shape, const FanVertex corners[4]);
    static bool SameBits(const FanVertex& a, const FanVertex& b);
    void Remember(uint64_t key, uint32_t index);
    uint32_t PlaceInRun(RunQuad& q, QuadShape& shape, const float clip[4][4]);
    void GridCellsOf(const QuadShape& q, int& cx0, int& cx1, int& cy0, int& cy1) const;
    void FlushOpaqueRun();

    // ---- Meshes in buffers of their own ----
    // A model's vertices, colours and faces are handed to OpenGL once, not with every
    // subset drawn. The buffers are the mesh's for as long as its serial is the one
    // they were made from.
    struct MeshBuffers {
        uint64_t serial = 0;
        GLuint vertices = 0;
        GLuint colours = 0; // as OpenGL takes them (RGBA bytes)
        GLuint indices = 0;
        bool colourOpaque = true;
    };
    void PointMeshArrays(const MeshBuffers& buffers, const VertexLayout& layout);
    static const void* BufferOffset(size_t bytes) { return reinterpret_cast<const void*>(bytes); }
    const MeshBuffers* BuffersOf(const Mesh& mesh, const VertexLayout& layout);
    void ReleaseMeshBuffers();
    void BindArrayBuffer(GLuint name);
    void BindElementBuffer(GLuint name);
    void BindBuffersUnknown();

    // ---- State set only where it changes ----
    void ForgetAppliedState();

    void SetCap(GLenum cap, bool on, int& known)
    {
        if (known == static_cast<int>(on))
            return;
        if (on)
            Enable(cap);
        else
            Disable(cap);
        known = on;
    }
    void RestoreCap(GLenum cap, int was, int& known);
    void RestoreBufferBindings(GLuint arrayBuffer, GLuint elementBuffer, bool known);
    void SetArrays(uint32_t arrays);
    void ApplyTextureCached(bool hasTexCoords);
    void UseTexture(GLuint name);
    void SetBlending(bool blendState, bool opaque, bool ground);
    void ApplyDrawStateCached(bool pretransformed, bool vertexColour, bool mesh);

    static bool SameFloats(const float* a, const float* b, int count)
    {
        for (int i = 0; i < count; ++i)
            if (!(a[i] == b[i])) // a NaN never matches: the state is set again
                return false;
        return true;
    }
    static bool SameMatrix(const Matrix4& a, const Matrix4& b) { return SameFloats(&a.m[0][0], &b.m[0][0], 16); }

    static bool SameMaterial(const Material& a, const Material& b)
    {
        return SameFloats(a.diffuse, b.diffuse, 4) && SameFloats(a.ambient, b.ambient, 4) &&
               SameFloats(a.specular, b.specular, 4) && SameFloats(a.emissive, b.emissive, 4) &&
               SameFloats(&a.power, &b.power, 1);
    }
    GlCallCounts m_counts;
    SDL_Window* m_window;
    SDL_GLContext m_context;
    GLint m_maxTextureSize = 2048;
    GLint m_glViewport[4] = {-1, -1, -1, -1};
    float m_viewportScale = 1.0f; // drawable pixels per viewport pixel
    float m_depthSlack = 1e-4f;   // depths closer than this may be stored alike
    bool m_targetHasAlpha = true; // the picture keeps alpha, which the read-back must fill
    GLuint m_boundTexture = 0;
    uint32_t m_serial = 0;
    uint32_t m_appliedVersion = 0;
    uint32_t m_appliedViewportVersion = 0;
    int m_appliedMode = 0;
    std::vector<GLubyte> m_colours;   // a mesh's colours on the plain path
    std::vector<uint32_t> m_readBack; // the last picture read, bottom row first

    // What OpenGL holds now, for the gathered path (-1: not known).
    int m_capDepth = -1, m_capBlend = -1, m_capLighting = -1, m_capColourMaterial = -1, m_capTexture = -1;
    uint32_t m_arrays = 0; // client arrays enabled, when known
    bool m_arraysKnown = false;
    int m_matrixMode = 0; // 0 not known, 1 pixels, 2 world
    uint32_t m_orthoWidth = 0, m_orthoHeight = 0;
    DrawState m_loaded; // matrices and material last handed to OpenGL
    bool m_materialValid = false;
    bool m_diffuseDirty = true;

    // The fans gathered so far and the state they are drawn with.
    std::vector<FanVertex> m_fanVertices;
    std::vector<FanVertex> m_fanCorners;
    size_t m_fanVertexCount = 0;
    bool m_fanPretransformed = false;
    GLuint m_fanTexture = 0;
    uint32_t m_fanStateVersion = 0;
    uint32_t m_fanViewportVersion = 0;
    DrawState m_fanState;
    bool m_fanOpaque = true;                     // every fragment of the gathered fans has alpha 1
    std::unordered_set<GLuint> m_opaqueTextures; // textures without a texel below full alpha
    GLuint m_lastOpaqueTexture = 0;              // the last one found there

    // Meshes in buffers, and the buffers bound (when known).
    std::unordered_map<const Mesh*, MeshBuffers> m_meshBuffers;
    GLuint m_arrayBuffer = 0, m_elementBuffer = 0;
    bool m_buffersKnown = false;
    const Mesh* m_pointedMesh = nullptr; // whose buffers the array pointers point into
    uint64_t m_pointedSerial = 0;
    MeshBuffers m_pointedBuffers; // and its buffers and layout, to point back at after other draws
    VertexLayout m_pointedLayout{};

    // The run of opaque world quads gathered by texture, and what the tie checks keep.
    Matrix4 m_clipMatrix = MatrixIdentity(); // world x view x projection
    uint32_t m_clipMatrixVersion = 0;
    std::vector<RunBatch> m_runBatches;
    uint32_t m_runBatchCount = 0;
    std::vector<RunQuad> m_runQuads;
    std::vector<QuadShape> m_runShapes; // of the quads registered in the tie grid
    std::vector<LookEntry> m_lookTable; // the last quad of each look (a power of two long)
    uint32_t m_runNumber = 1;
    std::vector<std::vector<uint32_t>> m_tieGrid =
        std::vector<std::vector<uint32_t>>(static_cast<size_t>(kTieGridColumns) * kTieGridRows);
    uint32_t m_runSeen = 0;
    DrawState m_runState;
    float m_runDepthFalloff = 0.0f; // B of the run's projection, 0 when not a perspective one
    uint32_t m_runStateVersion = 0;
    uint32_t m_runViewportVersion = 0;
};

} // namespace opengl
} // namespace plat
