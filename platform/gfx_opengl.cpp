// The OpenGL back end: an OpenGL 2.1 compatibility context in the SDL window,
// fixed function only. The game's row-vector, clip-z 0..w matrices are turned
// into OpenGL's at this seam and nowhere else.
#include <GL/gl.h>
#include <SDL.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <unordered_map>
#include <unordered_set>

#include "platform/gfx_device.h"

#ifndef GL_BGRA
#define GL_BGRA 0x80E1
#endif

namespace plat {

void PrepareGlWindowAttributes(bool depth24)
{
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, 0);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, depth24 ? 24 : 16);
}

#ifndef GL_ARRAY_BUFFER
#define GL_ARRAY_BUFFER 0x8892
#endif
#ifndef GL_STATIC_DRAW
#define GL_STATIC_DRAW 0x88E4
#endif
#ifndef GL_ELEMENT_ARRAY_BUFFER
#define GL_ELEMENT_ARRAY_BUFFER 0x8893
#endif

// Clip-space triangles in static buffers (see CreateClipGeometry).
struct ClipGeometry {
    GfxDevice* device = nullptr;
    GLuint vertices = 0;
    GLuint indices = 0;
};

namespace {

bool g_glBatching = true;
GlCallCounts g_lastCounts;

void ColourBytes(uint32_t argb, GLubyte out[4])
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
    bool Load()
    {
        if (tried)
            return genBuffers && deleteBuffers && bindBuffer && bufferData;
        tried = true;
        genBuffers = reinterpret_cast<GenBuffers>(SDL_GL_GetProcAddress("glGenBuffers"));
        deleteBuffers = reinterpret_cast<DeleteBuffers>(SDL_GL_GetProcAddress("glDeleteBuffers"));
        bindBuffer = reinterpret_cast<BindBuffer>(SDL_GL_GetProcAddress("glBindBuffer"));
        bufferData = reinterpret_cast<BufferData>(SDL_GL_GetProcAddress("glBufferData"));
        return genBuffers && deleteBuffers && bindBuffer && bufferData;
    }
};

BufferCalls& Buffers()
{
    static BufferCalls calls;
    return calls;
}

// A corner of the gathered arrays.
struct FanVertex {
    GLfloat position[4];
    GLfloat colour[4];
    GLfloat uv[2];
};

void RowTimesMatrix(const float in[4], const Matrix4& m, float out[4])
{
    for (int j = 0; j < 4; ++j)
        out[j] = in[0] * m.m[0][j] + in[1] * m.m[1][j] + in[2] * m.m[2][j] + in[3] * m.m[3][j];
}

// Client arrays, as bits of a mask.
constexpr uint32_t kVertexArray = 1;
constexpr uint32_t kNormalArray = 2;
constexpr uint32_t kColourArray = 4;
constexpr uint32_t kTexCoordArray = 8;

// The tie checks of the gathered opaque fans: the picture is split into cells so that
// a fan is checked only against the fans whose rectangles share a cell with its own.
constexpr int kTieGridColumns = 20;
constexpr int kTieGridRows = 15;
// A run of opaque fans is drawn and a new one begun beyond this many batches.
constexpr size_t kMaxRunBatches = 256;
// Meshes kept in buffers at most (the game has 28).
constexpr size_t kMaxMeshBuffers = 256;

class OpenGlDevice final : public GfxDevice {
public:
    OpenGlDevice(SDL_Window* window, SDL_GLContext context) : m_window(window), m_context(context) {}

    ~OpenGlDevice() override
    {
        SDL_GL_MakeCurrent(m_window, m_context);
        ReleaseMeshBuffers();
        SDL_GL_DeleteContext(m_context);
    }

    GfxBackend Backend() const override { return GfxBackend::OpenGL; }

    void ApplyFixedState()
    {
        glDepthFunc(GL_LEQUAL);
        glDepthMask(GL_TRUE);
        glDisable(GL_CULL_FACE);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        const GLfloat black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
        glLightModelfv(GL_LIGHT_MODEL_AMBIENT, black); // no global ambient: only the emissive colour shows
        glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_TRUE);
        for (int i = 0; i < 8; ++i)
            glDisable(GL_LIGHT0 + i);
        glShadeModel(GL_SMOOTH);
        glDisable(GL_DITHER);
        glDisable(GL_ALPHA_TEST);
        glDisable(GL_FOG);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &m_maxTextureSize);
        GLint depthBits = 0, alphaBits = 0;
        glGetIntegerv(GL_DEPTH_BITS, &depthBits);
        glGetIntegerv(GL_ALPHA_BITS, &alphaBits);
        m_targetHasAlpha = alphaBits != 0;
        // Two depths closer than a few steps of the buffer may be stored as one.
        m_depthSlack = 16.0f / static_cast<float>(1u << std::clamp(depthBits > 0 ? depthBits : 16, 8, 24)) + 2e-6f;
        m_appliedVersion = 0;
        ForgetAppliedState();
    }

    Texture* CreateTexture(const Image& image) override
    {
        if (image.width == 0 || image.height == 0 ||
            image.pixels.size() != static_cast<size_t>(image.width) * image.height ||
            image.width > static_cast<uint32_t>(m_maxTextureSize) ||
            image.height > static_cast<uint32_t>(m_maxTextureSize))
            return nullptr;
        FlushFans(); // the upload rebinds the texture unit
        GLuint name = 0;
        glGenTextures(1, &name);
        if (name == 0)
            return nullptr;
        glBindTexture(GL_TEXTURE_2D, name);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        while (glGetError() != GL_NO_ERROR) {
        }
        // 0xAARRGGBB words are B, G, R, A bytes in memory.
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, static_cast<GLsizei>(image.width), static_cast<GLsizei>(image.height),
                     0, GL_BGRA, GL_UNSIGNED_BYTE, image.pixels.data());
        m_boundTexture = name;
        if (glGetError() != GL_NO_ERROR) {
            glDeleteTextures(1, &name);
            m_boundTexture = 0;
            return nullptr;
        }
        if (std::all_of(image.pixels.begin(), image.pixels.end(), [](uint32_t p) { return p >= 0xFF000000u; }))
            m_opaqueTextures.insert(name);
        Texture* t = new Texture;
        t->width = image.width;
        t->height = image.height;
        t->glName = name;
        t->serial = ++m_serial;
        t->opaque = m_opaqueTextures.count(name) != 0;
        return t;
    }

    void ReleaseTexture(Texture* texture) override
    {
        if (!texture)
            return;
        if (texture->glName) {
            FlushFans(); // gathered fans may still read it
            m_opaqueTextures.erase(texture->glName);
            if (m_lastOpaqueTexture == texture->glName) // its name may come again for another
                m_lastOpaqueTexture = 0;
            if (m_boundTexture == texture->glName)
                m_boundTexture = 0;
            glDeleteTextures(1, &texture->glName);
        }
        delete texture;
    }

    void DrawTriangleFan(const void* vertices, uint32_t primitiveCount, uint32_t stride) override
    {
        const VertexLayout layout = LayoutOfFormat(m_fvf);
        if (!vertices || primitiveCount == 0 || layout.stride == 0 || stride != layout.stride)
            return;
        const uint8_t* base = static_cast<const uint8_t*>(vertices);
        if (!g_glBatching) {
            DrawFanAlone(base, primitiveCount, layout);
            return;
        }
        if (!layout.pretransformed) {
            // A fan wholly outside the view would be thrown away by the clipper.
            float clip[4][4];
            if (WorldFanIsOutOfView(base, primitiveCount + 2, layout, clip))
                return;
            if (primitiveCount == 2 && CanReorderFan(base, layout)) {
                AddToOpaqueRun(base, layout, clip);
                return;
            }
        }
        FlushOpaqueRun();
        GatherFan(base, primitiveCount, layout);
    }

    void DrawMeshSubset(const Mesh& mesh, uint32_t subset) override
    {
        const MeshSubset* s = mesh.FindSubset(subset);
        const VertexLayout layout = LayoutOfFormat(mesh.fvf);
        if (!s || s->faceCount == 0 || layout.stride == 0 || layout.pretransformed)
            return;
        FlushFans();
        if (!g_glBatching) {
            DrawMeshAlone(mesh, *s, layout);
            return;
        }
        const MeshBuffers* buffers = BuffersOf(mesh, layout);
        if (!buffers) { // no vertex buffers: the plain way
            DrawMeshAlone(mesh, *s, layout);
            return;
        }
        ApplyDrawStateCached(false, layout.diffuse >= 0, true);
        ApplyTextureCached(layout.texCoord >= 0);
        uint32_t arrays = kVertexArray;
        if (layout.normal >= 0)
            arrays |= kNormalArray;
        if (layout.diffuse >= 0)
            arrays |= kColourArray;
        if (layout.texCoord >= 0)
            arrays |= kTexCoordArray;
        // The subset's alpha: the texture's times the material's (lit) or the vertices'.
        const bool lit = m_state.lighting;
        const bool textureOpaque = m_capTexture != 1 || m_opaqueTextures.count(m_boundTexture) != 0;
        const bool colourOpaque = layout.diffuse >= 0 ? buffers->colourOpaque : true;
        const bool alphaOne = lit && layout.diffuse < 0 ? m_state.material.diffuse[3] >= 1.0f : colourOpaque;
        SetBlending(m_state.alphaBlend, textureOpaque && alphaOne, false);
        SetArrays(arrays);
        // A model's subsets come one after another from the same buffers.
        if (m_pointedMesh != &mesh || m_pointedSerial != mesh.serial.value) {
            PointMeshArrays(*buffers, layout);
            m_pointedMesh = &mesh;
            m_pointedSerial = mesh.serial.value;
        }
        if (layout.diffuse < 0)
            glColor4ub(255, 255, 255, 255); // a colour array before leaves the current colour undefined
        DrawElements(GL_TRIANGLES, static_cast<GLsizei>(s->faceCount * 3), GL_UNSIGNED_INT,
                     BufferOffset(static_cast<size_t>(s->faceStart) * 3 * sizeof(uint32_t)));
    }

    void Clear(uint32_t colour, float z) override
    {
        FlushFans();
        Disable(GL_SCISSOR_TEST);
        glDepthMask(GL_TRUE);
        glClearColor(static_cast<float>((colour >> 16) & 0xFF) / 255.0f,
                     static_cast<float>((colour >> 8) & 0xFF) / 255.0f, static_cast<float>(colour & 0xFF) / 255.0f,
                     static_cast<float>(colour >> 24) / 255.0f);
        glClearDepth(z);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }

    void BeginScene() override
    {
        FlushFans();
        m_counts = GlCallCounts{};
        m_appliedViewportVersion = 0; // the window may have changed size
        ApplyViewport();
    }
    void EndScene() override
    {
        FlushFans();
        glFlush();
    }

    bool Present() override
    {
        FlushFans();
        g_lastCounts = m_counts;
        SDL_GL_SwapWindow(m_window);
        return true;
    }

    bool ReadPixels(std::vector<uint32_t>& out) override
    {
        FlushFans();
        ApplyViewport();
        const GLint w = m_glViewport[2], h = m_glViewport[3];
        if (w <= 0 || h <= 0)
            return false;
        // Reading waits for the drawing by itself. OpenGL's rows run bottom-up: they are
        // read into a buffer kept from frame to frame and turned over into the caller's.
        const size_t rowWords = static_cast<size_t>(w);
        m_readBack.resize(rowWords * static_cast<size_t>(h));
        glReadPixels(m_glViewport[0], m_glViewport[1], w, h, GL_BGRA, GL_UNSIGNED_BYTE, m_readBack.data());
        out.resize(m_readBack.size());
        for (GLint y = 0; y < h; ++y) {
            const uint32_t* from = &m_readBack[static_cast<size_t>(h - 1 - y) * rowWords];
            uint32_t* to = &out[static_cast<size_t>(y) * rowWords];
            if (m_targetHasAlpha) {
                for (size_t x = 0; x < rowWords; ++x)
                    to[x] = from[x] | 0xFF000000u;
            } else { // without alpha bits OpenGL reads alpha as 1 already
                std::memcpy(to, from, rowWords * sizeof(uint32_t));
            }
        }
        return true;
    }

    // Clip-space triangles in new static buffers; false when the driver has none.
    bool MakeClipGeometry(const std::vector<ClipVertex>& vertices, const std::vector<uint32_t>& indices,
                          ClipGeometry& geometry)
    {
        BufferCalls& gl = Buffers();
        if (!gl.Load())
            return false;
        FlushFans();
        GLuint names[2] = {0, 0};
        gl.genBuffers(2, names);
        geometry.vertices = names[0];
        geometry.indices = names[1];
        const GLuint arrayBuffer = m_arrayBuffer, elementBuffer = m_elementBuffer;
        const bool known = m_buffersKnown;
        BindArrayBuffer(geometry.vertices);
        gl.bufferData(GL_ARRAY_BUFFER, static_cast<std::ptrdiff_t>(vertices.size() * sizeof(ClipVertex)),
                      vertices.data(), GL_STATIC_DRAW);
        BindElementBuffer(geometry.indices);
        gl.bufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<std::ptrdiff_t>(indices.size() * sizeof(uint32_t)),
                      indices.data(), GL_STATIC_DRAW);
        RestoreBufferBindings(arrayBuffer, elementBuffer, known);
        return true;
    }

    void ReleaseClipGeometry(const ClipGeometry& geometry)
    {
        FlushFans();
        const GLuint names[2] = {geometry.vertices, geometry.indices};
        if (Buffers().Load())
            Buffers().deleteBuffers(2, names);
        // A deleted buffer that was bound is unbound.
        if (m_arrayBuffer == names[0] || m_arrayBuffer == names[1])
            m_arrayBuffer = 0;
        if (m_elementBuffer == names[0] || m_elementBuffer == names[1])
            m_elementBuffer = 0;
    }

    // The runs, with OpenGL put back afterwards as the device's state cache holds it, so
    // that the device's next draws find what they left.
    void DrawClipGeometry(const ClipGeometry& geometry, const Texture* texture, const std::vector<ClipRun>& runs)
    {
        FlushFans();
        if (!Buffers().Load())
            return;
        const int depth = m_capDepth, blend = m_capBlend, lighting = m_capLighting,
                  colourMaterial = m_capColourMaterial, texturing = m_capTexture;
        const uint32_t arrays = m_arrays;
        const bool arraysKnown = m_arraysKnown;
        const GLuint arrayBuffer = m_arrayBuffer, elementBuffer = m_elementBuffer, bound = m_boundTexture;
        const bool buffersKnown = m_buffersKnown;
        const Mesh* pointedMesh = m_pointedMesh;

        MatrixMode(GL_PROJECTION);
        glPushMatrix();
        LoadIdentity();
        MatrixMode(GL_MODELVIEW);
        glPushMatrix();
        LoadIdentity();
        SetCap(GL_LIGHTING, false, m_capLighting);
        SetCap(GL_COLOR_MATERIAL, false, m_capColourMaterial);
        SetArrays(kVertexArray | kColourArray | kTexCoordArray);
        BindArrayBuffer(geometry.vertices);
        const GLsizei stride = sizeof(ClipVertex);
        VertexPointer(4, GL_FLOAT, stride, BufferOffset(offsetof(ClipVertex, position)));
        ColorPointer(4, GL_UNSIGNED_BYTE, stride, BufferOffset(offsetof(ClipVertex, colour)));
        TexCoordPointer(2, GL_FLOAT, stride, BufferOffset(offsetof(ClipVertex, uv)));
        m_pointedMesh = nullptr;
        BindElementBuffer(geometry.indices);
        const GLuint name = texture ? texture->glName : 0;
        if (name != 0 && m_boundTexture != name) {
            BindTexture(name);
            m_boundTexture = name;
        }
        for (const ClipRun& run : runs) {
            SetCap(GL_DEPTH_TEST, run.depthTest, m_capDepth);
            SetCap(GL_BLEND, run.blend, m_capBlend);
            SetCap(GL_TEXTURE_2D, run.textured && name != 0, m_capTexture);
            DrawElements(GL_TRIANGLES, static_cast<GLsizei>(run.indexCount), GL_UNSIGNED_INT,
                         BufferOffset(static_cast<size_t>(run.firstIndex) * sizeof(uint32_t)));
        }

        MatrixMode(GL_PROJECTION);
        glPopMatrix();
        MatrixMode(GL_MODELVIEW);
        glPopMatrix();
        RestoreCap(GL_DEPTH_TEST, depth, m_capDepth);
        RestoreCap(GL_BLEND, blend, m_capBlend);
        RestoreCap(GL_LIGHTING, lighting, m_capLighting);
        RestoreCap(GL_COLOR_MATERIAL, colourMaterial, m_capColourMaterial);
        RestoreCap(GL_TEXTURE_2D, texturing, m_capTexture);
        if (arraysKnown)
            SetArrays(arrays);
        else
            m_arraysKnown = false;
        if (pointedMesh) {
            PointMeshArrays(m_pointedBuffers, m_pointedLayout);
            m_pointedMesh = pointedMesh;
        }
        RestoreBufferBindings(arrayBuffer, elementBuffer, buffersKnown);
        if (bound != 0 && m_boundTexture != bound)
            BindTexture(bound);
        m_boundTexture = bound;
        // The plain path keeps no cache of capabilities: it sets them all again.
        if (depth < 0 || blend < 0 || lighting < 0 || colourMaterial < 0 || texturing < 0)
            m_appliedVersion = 0;
    }

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

    // The viewport scaled into the drawable (a full-screen window may be larger
    // than 640 x 480: the picture is scaled and centred).
    void ApplyViewport()
    {
        if (m_appliedViewportVersion == m_viewportVersion)
            return;
        m_appliedViewportVersion = m_viewportVersion;
        int dw = 0, dh = 0;
        SDL_GL_GetDrawableSize(m_window, &dw, &dh);
        if (dw <= 0 || dh <= 0) {
            dw = static_cast<int>(kScreenWidth);
            dh = static_cast<int>(kScreenHeight);
        }
        const float scale = std::min(static_cast<float>(dw) / kScreenWidth, static_cast<float>(dh) / kScreenHeight);
        const float ox = (static_cast<float>(dw) - kScreenWidth * scale) / 2.0f;
        const float oy = (static_cast<float>(dh) - kScreenHeight * scale) / 2.0f;
        const GLint x = static_cast<GLint>(ox + m_viewport.x * scale + 0.5f);
        const GLint w = static_cast<GLint>(m_viewport.width * scale + 0.5f);
        const GLint h = static_cast<GLint>(m_viewport.height * scale + 0.5f);
        const GLint yTop = static_cast<GLint>(oy + m_viewport.y * scale + 0.5f);
        const GLint y = dh - yTop - h;
        if (x != m_glViewport[0] || y != m_glViewport[1] || w != m_glViewport[2] || h != m_glViewport[3]) {
            glViewport(x, y, w, h);
            m_glViewport[0] = x;
            m_glViewport[1] = y;
            m_glViewport[2] = w;
            m_glViewport[3] = h;
        }
        m_viewportScale = scale > 0.0f ? scale : 1.0f;
        glDepthRange(m_viewport.minZ, m_viewport.maxZ);
    }

    // ---- The plain path: every draw on its own, its whole state set again ----
    // Kept as the picture the gathered path must match.

    void DrawFanAlone(const uint8_t* base, uint32_t primitiveCount, const VertexLayout& layout)
    {
        ApplyDrawState(layout.pretransformed, layout.diffuse >= 0, false);
        ApplyTexture(layout.texCoord >= 0);
        Begin(GL_TRIANGLE_FAN);
        m_counts.triangles += primitiveCount;
        for (uint32_t i = 0; i < primitiveCount + 2; ++i) {
            const uint8_t* v = base + static_cast<size_t>(i) * layout.stride;
            if (layout.diffuse >= 0) {
                uint32_t c;
                std::memcpy(&c, v + layout.diffuse, 4);
                GLubyte rgba[4];
                ColourBytes(c, rgba);
                glColor4ubv(rgba);
            } else {
                glColor4ub(255, 255, 255, 255);
            }
            if (layout.normal >= 0) {
                float n[3];
                std::memcpy(n, v + layout.normal, 12);
                glNormal3fv(n);
            }
            if (layout.texCoord >= 0) {
                float uv[2];
                std::memcpy(uv, v + layout.texCoord, 8);
                glTexCoord2fv(uv);
            }
            float p[4];
            std::memcpy(p, v, layout.pretransformed ? 16 : 12);
            if (layout.pretransformed) {
                // rhw is 1/w: hand OpenGL the homogeneous point so that texturing stays perspective-correct.
                const float w = p[3] != 0.0f ? 1.0f / p[3] : 1.0f;
                glVertex4f(p[0] * w, p[1] * w, p[2] * w, w);
            } else {
                glVertex3fv(p);
            }
        }
        glEnd();
    }

    void DrawMeshAlone(const Mesh& mesh, const MeshSubset& s, const VertexLayout& layout)
    {
        ApplyDrawState(false, layout.diffuse >= 0, true);
        ApplyTexture(layout.texCoord >= 0);
        BindArrayBuffer(0);
        BindElementBuffer(0);
        m_pointedMesh = nullptr;
        const uint8_t* base = mesh.vertices.data();
        EnableArray(GL_VERTEX_ARRAY);
        VertexPointer(3, GL_FLOAT, static_cast<GLsizei>(layout.stride), base);
        if (layout.normal >= 0) {
            EnableArray(GL_NORMAL_ARRAY);
            NormalPointer(GL_FLOAT, static_cast<GLsizei>(layout.stride), base + layout.normal);
        }
        if (layout.diffuse >= 0) {
            ConvertMeshColours(mesh, layout);
            EnableArray(GL_COLOR_ARRAY);
            ColorPointer(4, GL_UNSIGNED_BYTE, 0, m_colours.data());
        } else {
            glColor4ub(255, 255, 255, 255);
        }
        if (layout.texCoord >= 0) {
            EnableArray(GL_TEXTURE_COORD_ARRAY);
            TexCoordPointer(2, GL_FLOAT, static_cast<GLsizei>(layout.stride), base + layout.texCoord);
        }
        DrawElements(GL_TRIANGLES, static_cast<GLsizei>(s.faceCount * 3), GL_UNSIGNED_INT,
                     &mesh.indices[static_cast<size_t>(s.faceStart) * 3]);
        DisableArray(GL_VERTEX_ARRAY);
        DisableArray(GL_NORMAL_ARRAY);
        DisableArray(GL_COLOR_ARRAY);
        DisableArray(GL_TEXTURE_COORD_ARRAY);
    }

    void ApplyTexture(bool hasTexCoords)
    {
        ForgetAppliedState();
        if (m_texture && m_texture->glName && hasTexCoords) {
            Enable(GL_TEXTURE_2D);
            if (m_boundTexture != m_texture->glName) {
                BindTexture(m_texture->glName);
                m_boundTexture = m_texture->glName;
            }
        } else {
            Disable(GL_TEXTURE_2D); // no texture reads as opaque white
        }
    }

    void ApplyDrawState(bool pretransformed, bool vertexColour, bool mesh)
    {
        ForgetAppliedState();
        ApplyViewport();
        const int mode = pretransformed ? 1 : 2;
        if (m_appliedVersion != m_stateVersion || m_appliedMode != mode) {
            if (m_state.depthTest)
                Enable(GL_DEPTH_TEST);
            else
                Disable(GL_DEPTH_TEST);
            if (m_state.alphaBlend)
                Enable(GL_BLEND);
            else
                Disable(GL_BLEND);
            MatrixMode(GL_PROJECTION);
            if (pretransformed) {
                // Pixels of the 640 x 480 area, y down, z as depth 0..1; pixel centres
                // lie on whole numbers as the game expects, hence the half-pixel shift.
                LoadIdentity();
                Ortho(0.0, m_viewport.width, m_viewport.height, 0.0, 0.0, -1.0);
                Translate(0.5f, 0.5f, 0.0f);
                MatrixMode(GL_MODELVIEW);
                LoadIdentity();
            } else {
                // Clip z 0..w becomes -w..w, and the same half-pixel shift as above.
                const GLfloat fix[16] = {1,
                                         0,
                                         0,
                                         0,
                                         0,
                                         1,
                                         0,
                                         0,
                                         0,
                                         0,
                                         2,
                                         0,
                                         1.0f / static_cast<float>(m_viewport.width),
                                         -1.0f / static_cast<float>(m_viewport.height),
                                         -1,
                                         1};
                LoadMatrix(fix);
                MultMatrix(&m_state.projection.m[0][0]); // row-major row-vector = column-major transposed
                MatrixMode(GL_MODELVIEW);
                LoadMatrix(&m_state.view.m[0][0]);
                MultMatrix(&m_state.world.m[0][0]);
                const Material& mat = m_state.material;
                SetMaterialv(GL_FRONT_AND_BACK, GL_DIFFUSE, mat.diffuse);
                SetMaterialv(GL_FRONT_AND_BACK, GL_AMBIENT, mat.ambient);
                SetMaterialv(GL_FRONT_AND_BACK, GL_SPECULAR, mat.specular);
                SetMaterialv(GL_FRONT_AND_BACK, GL_EMISSION, mat.emissive);
                SetMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, std::clamp(mat.power, 0.0f, 128.0f));
            }
            m_appliedVersion = m_stateVersion;
            m_appliedMode = mode;
        }
        // Pre-transformed vertices are never lit.
        const bool lit = m_state.lighting && !pretransformed;
        if (lit) {
            Enable(GL_LIGHTING);
            // A mesh's own vertex colours stand in for the material's diffuse colour (and alpha).
            if (vertexColour && mesh) {
                ColorMaterial(GL_FRONT_AND_BACK, GL_DIFFUSE);
                Enable(GL_COLOR_MATERIAL);
            } else {
                Disable(GL_COLOR_MATERIAL);
            }
        } else {
            Disable(GL_LIGHTING);
            Disable(GL_COLOR_MATERIAL);
        }
        if (lit && !(vertexColour && mesh)) // undo what colour tracking may have written
            SetMaterialv(GL_FRONT_AND_BACK, GL_DIFFUSE, m_state.material.diffuse);
    }

    // A mesh's vertex colours as OpenGL takes them.
    void ConvertMeshColours(const Mesh& mesh, const VertexLayout& layout)
    {
        const uint8_t* base = mesh.vertices.data();
        m_colours.resize(static_cast<size_t>(mesh.vertexCount) * 4);
        for (uint32_t i = 0; i < mesh.vertexCount; ++i) {
            uint32_t c;
            std::memcpy(&c, base + static_cast<size_t>(i) * layout.stride + layout.diffuse, 4);
            ColourBytes(c, &m_colours[static_cast<size_t>(i) * 4]);
        }
    }

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

    // The state that decides how a fan is drawn is the one the gathered fans use.
    static bool SameDrawState(const DrawState& a, const DrawState& b, bool pretransformed)
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

    bool FanJoinsBatch(bool pretransformed, GLuint texture) const
    {
        if (pretransformed != m_fanPretransformed || texture != m_fanTexture ||
            m_viewportVersion != m_fanViewportVersion)
            return false;
        return m_stateVersion == m_fanStateVersion || SameDrawState(m_state, m_fanState, pretransformed);
    }

    GLuint FanTexture(const VertexLayout& layout) const
    {
        return m_texture && m_texture->glName && layout.texCoord >= 0 ? m_texture->glName : 0;
    }

    // The fan's corner as the gathered arrays hold it. False when its alpha is below one.
    static bool ConvertFanVertex(const uint8_t* v, const VertexLayout& layout, bool lit, FanVertex& out)
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

    void GatherFan(const uint8_t* base, uint32_t primitiveCount, const VertexLayout& layout)
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

    void FlushGathered()
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

    void PointFanArrays(const FanVertex* v)
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
    bool WorldFanIsOutOfView(const uint8_t* base, uint32_t count, const VertexLayout& layout, float clip[4][4])
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
    bool CanReorderFan(const uint8_t* base, const VertexLayout& layout)
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

    // Every quad of the run.
    struct RunQuad {
        GLuint texture = 0;
        uint32_t batch = 0;
        uint32_t firstVertex = 0; // of its six in its batch's vertices
        bool dropped = false;     // a later quad gives the very same fragments
        uint64_t lookKey = 0;     // its corners and texture, hashed
    };

    // What the tie checks need of a quad; kept for the quads that later ones may have to
    // come after.
    struct QuadShape {
        float corner[4][3];             // as the game passed them: shared edges are equal corners
        float x[4], y[4];               // on the screen, in pixels of the viewport
        float left, top, right, bottom; // the pixels it may touch, with a margin
        float nearDepth, farDepth;      // the depths it may give, with the buffer's slack
        bool watertight;                // every corner before the eye and unclipped: shared edges hold
        int plane;                      // the axis it lies across when an axis-aligned rectangle, else -1
        float lo[3], hi[3];             // its extent along each axis
        float farthest;                 // clip w of its farthest corner: its largest view depth
        uint32_t quad;                  // its RunQuad
        uint32_t seen;
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

    bool RunTakesFan() const
    {
        if (m_runBatchCount == 0 || m_runViewportVersion != m_viewportVersion)
            return false;
        return m_stateVersion == m_runStateVersion || SameDrawState(m_state, m_runState, false);
    }

    void AddToOpaqueRun(const uint8_t* base, const VertexLayout& layout, const float clip[4][4])
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

    void BeginOpaqueRun(const VertexLayout& layout)
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
    void DropEarlierCopy(RunQuad& quad, const QuadShape& shape, const FanVertex corners[4])
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
    static bool SameBits(const FanVertex& a, const FanVertex& b)
    {
        const auto same = [](const GLfloat* x, const GLfloat* y, int count) {
            for (int i = 0; i < count; ++i)
                if (std::bit_cast<uint32_t>(x[i]) != std::bit_cast<uint32_t>(y[i]))
                    return false;
            return true;
        };
        return same(a.position, b.position, 4) && same(a.colour, b.colour, 4) && same(a.uv, b.uv, 2);
    }

    void Remember(uint64_t key, uint32_t index)
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

    // Whether the corners make a rectangle with its sides along two axes, across the third.
    static int RectanglePlane(const QuadShape& q)
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

    // What the tie checks need of a quad whose corners are in place.
    void DescribeQuadShape(const float clip[4][4], QuadShape& q) const
    {
        const float width = static_cast<float>(m_viewport.width), height = static_cast<float>(m_viewport.height);
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
            if (!(w > 1e-5f) || !std::isfinite(clip[i][0]) || !std::isfinite(clip[i][1]) ||
                !std::isfinite(clip[i][2])) {
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
        const float margin = 1.0f + 1.0f / m_viewportScale;
        q.left = *std::min_element(q.x, q.x + 4) - margin;
        q.right = *std::max_element(q.x, q.x + 4) + margin;
        q.top = *std::min_element(q.y, q.y + 4) - margin;
        q.bottom = *std::max_element(q.y, q.y + 4) + margin;
        q.nearDepth = nearDepth - m_depthSlack;
        q.farDepth = farDepth + m_depthSlack;
        q.watertight = watertight;
    }

    // Whether a and b may give one pixel the same depth.
    bool MayTie(const QuadShape& a, const QuadShape& b) const
    {
        if (a.right < b.left || b.right < a.left || a.bottom < b.top || b.bottom < a.top)
            return false;
        if (a.farDepth < b.nearDepth || b.farDepth < a.nearDepth)
            return false;
        if (m_runDepthFalloff > 0.0f) {
            // Both fragments of one pixel lie on its ray. At view depth z the stored depth
            // changes by falloff / z^2 per unit, so within the buffer's slack they are at
            // most slack z^2 / falloff apart: quads farther apart than that never tie.
            float gap = 0.0f;
            for (int k = 0; k < 3; ++k)
                gap = std::max(gap, std::max(a.lo[k] - b.hi[k], b.lo[k] - a.hi[k]));
            const float z = std::max(a.farthest, b.farthest);
            if (gap > 2.0f * m_depthSlack * z * z / m_runDepthFalloff + 1e-4f)
                return false;
        }
        return !MeetOnlyAtSharedCornersInOnePlane(a, b) && !LieOnEitherSideOfSharedEdge(a, b) &&
               !TouchOnlyAtSharedCorner(a, b);
    }

    // One corner shared, and on the screen a line through it with one quad on each side,
    // touching it at that corner only (or, for the quad whose side it is, along that side).
    static bool TouchOnlyAtSharedCorner(const QuadShape& a, const QuadShape& b)
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
    static bool MeetOnlyAtSharedCornersInOnePlane(const QuadShape& a, const QuadShape& b)
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

    static bool SameCorner(const float a[3], const float b[3]) { return a[0] == b[0] && a[1] == b[1] && a[2] == b[2]; }

    static bool LieOnEitherSideOfSharedEdge(const QuadShape& a, const QuadShape& b)
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

    // The batch the quad joins: the first of its texture that comes no earlier than any
    // quad it may tie with. UINT32_MAX when a new batch would be one too many.
    // The quad is described for the checks only when they need it: a quad that joins the
    // last batch comes after everything anyway, and one in the first batch can never be
    // one that a later quad must come after (no later quad goes before the first batch).
    uint32_t PlaceInRun(RunQuad& q, QuadShape& shape, const float clip[4][4])
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
                DescribeQuadShape(clip, shape);
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
                    for (uint32_t index :
                         m_tieGrid[static_cast<size_t>(cy) * kTieGridColumns + static_cast<size_t>(cx)]) {
                        QuadShape& other = m_runShapes[index];
                        if (other.seen == m_runSeen)
                            continue;
                        other.seen = m_runSeen;
                        const RunQuad& placed = m_runQuads[other.quad];
                        if (placed.batch > latest && !placed.dropped && MayTie(other, shape))
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
                    m_tieGrid[static_cast<size_t>(cy) * kTieGridColumns + static_cast<size_t>(cx)].push_back(
                        shapeIndex);
        }
        return target;
    }

    // The cells of the tie grid that the quad's rectangle covers (none off the picture).
    void GridCellsOf(const QuadShape& q, int& cx0, int& cx1, int& cy0, int& cy1) const
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

    void FlushOpaqueRun()
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

    // The array pointers into a mesh's buffers, and the element buffer bound.
    void PointMeshArrays(const MeshBuffers& buffers, const VertexLayout& layout)
    {
        const GLsizei stride = static_cast<GLsizei>(layout.stride);
        if (layout.diffuse >= 0) {
            BindArrayBuffer(buffers.colours);
            ColorPointer(4, GL_UNSIGNED_BYTE, 0, nullptr);
        }
        BindArrayBuffer(buffers.vertices);
        VertexPointer(3, GL_FLOAT, stride, nullptr);
        if (layout.normal >= 0)
            NormalPointer(GL_FLOAT, stride, BufferOffset(static_cast<size_t>(layout.normal)));
        if (layout.texCoord >= 0)
            TexCoordPointer(2, GL_FLOAT, stride, BufferOffset(static_cast<size_t>(layout.texCoord)));
        BindElementBuffer(buffers.indices);
        m_pointedBuffers = buffers;
        m_pointedLayout = layout;
    }

    static const void* BufferOffset(size_t bytes) { return reinterpret_cast<const void*>(bytes); }

    // Null when the driver has no vertex buffers.
    const MeshBuffers* BuffersOf(const Mesh& mesh, const VertexLayout& layout)
    {
        BufferCalls& gl = Buffers();
        if (!gl.Load())
            return nullptr;
        auto found = m_meshBuffers.find(&mesh);
        if (found != m_meshBuffers.end() && found->second.serial == mesh.serial.value)
            return &found->second;
        if (found == m_meshBuffers.end() && m_meshBuffers.size() >= kMaxMeshBuffers)
            ReleaseMeshBuffers(); // meshes come and go without the device: start again
        MeshBuffers& b = m_meshBuffers[&mesh];
        if (b.vertices == 0) {
            GLuint names[3] = {0, 0, 0};
            gl.genBuffers(3, names);
            b.vertices = names[0];
            b.colours = names[1];
            b.indices = names[2];
        }
        const size_t vertexBytes = static_cast<size_t>(mesh.vertexCount) * layout.stride;
        BindArrayBuffer(b.vertices);
        gl.bufferData(GL_ARRAY_BUFFER, static_cast<std::ptrdiff_t>(std::min(vertexBytes, mesh.vertices.size())),
                      mesh.vertices.data(), GL_STATIC_DRAW);
        b.colourOpaque = true;
        if (layout.diffuse >= 0) {
            std::vector<GLubyte> colours(static_cast<size_t>(mesh.vertexCount) * 4);
            for (uint32_t i = 0; i < mesh.vertexCount; ++i) {
                uint32_t c;
                std::memcpy(
                    &c, &mesh.vertices[static_cast<size_t>(i) * layout.stride + static_cast<size_t>(layout.diffuse)],
                    4);
                ColourBytes(c, &colours[static_cast<size_t>(i) * 4]);
                b.colourOpaque = b.colourOpaque && c >= 0xFF000000u;
            }
            BindArrayBuffer(b.colours);
            gl.bufferData(GL_ARRAY_BUFFER, static_cast<std::ptrdiff_t>(colours.size()), colours.data(), GL_STATIC_DRAW);
        }
        BindElementBuffer(b.indices);
        gl.bufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<std::ptrdiff_t>(mesh.indices.size() * sizeof(uint32_t)),
                      mesh.indices.data(), GL_STATIC_DRAW);
        b.serial = mesh.serial.value;
        m_pointedMesh = nullptr;
        return &b;
    }

    void ReleaseMeshBuffers()
    {
        BufferCalls& gl = Buffers();
        for (const auto& entry : m_meshBuffers) {
            const GLuint names[3] = {entry.second.vertices, entry.second.colours, entry.second.indices};
            if (gl.deleteBuffers)
                gl.deleteBuffers(3, names);
        }
        m_meshBuffers.clear();
        m_buffersKnown = false;
        m_pointedMesh = nullptr;
    }

    void BindArrayBuffer(GLuint name)
    {
        if ((m_buffersKnown && m_arrayBuffer == name) || !Buffers().Load())
            return;
        if (!m_buffersKnown)
            BindBuffersUnknown();
        Buffers().bindBuffer(GL_ARRAY_BUFFER, name);
        ++m_counts.pointers;
        m_arrayBuffer = name;
    }

    void BindElementBuffer(GLuint name)
    {
        if ((m_buffersKnown && m_elementBuffer == name) || !Buffers().Load())
            return;
        if (!m_buffersKnown)
            BindBuffersUnknown();
        Buffers().bindBuffer(GL_ELEMENT_ARRAY_BUFFER, name);
        ++m_counts.pointers;
        m_elementBuffer = name;
    }

    // Both bindings made known: no buffer.
    void BindBuffersUnknown()
    {
        Buffers().bindBuffer(GL_ARRAY_BUFFER, 0);
        Buffers().bindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
        m_arrayBuffer = m_elementBuffer = 0;
        m_buffersKnown = true;
    }

    // ---- State set only where it changes ----

    void ForgetAppliedState()
    {
        m_capDepth = m_capBlend = m_capLighting = m_capColourMaterial = m_capTexture = -1;
        m_arraysKnown = false;
        m_buffersKnown = false;
        m_pointedMesh = nullptr;
        m_matrixMode = 0;
        m_materialValid = false;
        m_diffuseDirty = true;
    }

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

    // A capability back to what the cache held (-1: not known, left as it is now).
    void RestoreCap(GLenum cap, int was, int& known)
    {
        if (was >= 0)
            SetCap(cap, was != 0, known);
        else
            known = -1;
    }

    void RestoreBufferBindings(GLuint arrayBuffer, GLuint elementBuffer, bool known)
    {
        if (known) {
            BindArrayBuffer(arrayBuffer);
            BindElementBuffer(elementBuffer);
        } else {
            m_buffersKnown = false;
        }
    }

    void SetArrays(uint32_t arrays)
    {
        if (m_arraysKnown && arrays == m_arrays)
            return;
        static constexpr struct {
            uint32_t bit;
            GLenum array;
        } kArrays[] = {{kVertexArray, GL_VERTEX_ARRAY},
                       {kNormalArray, GL_NORMAL_ARRAY},
                       {kColourArray, GL_COLOR_ARRAY},
                       {kTexCoordArray, GL_TEXTURE_COORD_ARRAY}};
        for (const auto& a : kArrays) {
            const bool on = (arrays & a.bit) != 0;
            if (m_arraysKnown && on == ((m_arrays & a.bit) != 0))
                continue;
            if (on)
                EnableArray(a.array);
            else
                DisableArray(a.array);
        }
        m_arrays = arrays;
        m_arraysKnown = true;
    }

    void ApplyTextureCached(bool hasTexCoords)
    {
        UseTexture(m_texture && m_texture->glName && hasTexCoords ? m_texture->glName : 0);
    }

    // Without a texture, texturing is switched off (no texture reads as opaque white).
    // (Reading a white texel instead would spare the switches but cost the rasteriser a
    // texel for every fragment of the untextured models, which is dearer.)
    void UseTexture(GLuint name)
    {
        SetCap(GL_TEXTURE_2D, name != 0, m_capTexture);
        if (name != 0 && m_boundTexture != name) {
            BindTexture(name);
            m_boundTexture = name;
        }
    }

    // Blending a fragment of alpha 1 gives the fragment itself, so where everything drawn
    // is opaque blending is left as it is, saving llvmpipe a change of state; only opaque
    // ground (world quads, which cover much of the picture) turns it off, saving the
    // reading of the target under it.
    void SetBlending(bool blendState, bool opaque, bool ground)
    {
        if (!blendState)
            SetCap(GL_BLEND, false, m_capBlend);
        else if (!opaque)
            SetCap(GL_BLEND, true, m_capBlend);
        else if (ground || m_capBlend < 0)
            SetCap(GL_BLEND, !ground, m_capBlend);
    }

    // Everything but blending, which the draw sets once it knows whether what it
    // draws is opaque.
    void ApplyDrawStateCached(bool pretransformed, bool vertexColour, bool mesh)
    {
        m_appliedVersion = 0; // the plain path must set everything again after this one
        ApplyViewport();
        SetCap(GL_DEPTH_TEST, m_state.depthTest, m_capDepth);
        if (pretransformed) {
            if (m_matrixMode != 1 || m_orthoWidth != m_viewport.width || m_orthoHeight != m_viewport.height) {
                // Pixels of the 640 x 480 area, y down, z as depth 0..1; pixel centres
                // lie on whole numbers as the game expects, hence the half-pixel shift.
                MatrixMode(GL_PROJECTION);
                LoadIdentity();
                Ortho(0.0, m_viewport.width, m_viewport.height, 0.0, 0.0, -1.0);
                Translate(0.5f, 0.5f, 0.0f);
                MatrixMode(GL_MODELVIEW);
                LoadIdentity();
                m_matrixMode = 1;
                m_orthoWidth = m_viewport.width;
                m_orthoHeight = m_viewport.height;
            }
        } else {
            if (m_matrixMode != 2 || m_orthoWidth != m_viewport.width || m_orthoHeight != m_viewport.height ||
                !SameMatrix(m_loaded.projection, m_state.projection) || !SameMatrix(m_loaded.view, m_state.view) ||
                !SameMatrix(m_loaded.world, m_state.world)) {
                // Clip z 0..w becomes -w..w, and the same half-pixel shift as above.
                const GLfloat fix[16] = {1,
                                         0,
                                         0,
                                         0,
                                         0,
                                         1,
                                         0,
                                         0,
                                         0,
                                         0,
                                         2,
                                         0,
                                         1.0f / static_cast<float>(m_viewport.width),
                                         -1.0f / static_cast<float>(m_viewport.height),
                                         -1,
                                         1};
                MatrixMode(GL_PROJECTION);
                LoadMatrix(fix);
                MultMatrix(&m_state.projection.m[0][0]); // row-major row-vector = column-major transposed
                MatrixMode(GL_MODELVIEW);
                LoadMatrix(&m_state.view.m[0][0]);
                MultMatrix(&m_state.world.m[0][0]);
                m_matrixMode = 2;
                m_orthoWidth = m_viewport.width;
                m_orthoHeight = m_viewport.height;
                m_loaded.projection = m_state.projection;
                m_loaded.view = m_state.view;
                m_loaded.world = m_state.world;
            }
            if (!m_materialValid || !SameMaterial(m_loaded.material, m_state.material)) {
                const Material& mat = m_state.material;
                SetMaterialv(GL_FRONT_AND_BACK, GL_DIFFUSE, mat.diffuse);
                SetMaterialv(GL_FRONT_AND_BACK, GL_AMBIENT, mat.ambient);
                SetMaterialv(GL_FRONT_AND_BACK, GL_SPECULAR, mat.specular);
                SetMaterialv(GL_FRONT_AND_BACK, GL_EMISSION, mat.emissive);
                SetMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, std::clamp(mat.power, 0.0f, 128.0f));
                m_loaded.material = mat;
                m_materialValid = true;
                // Written while colour tracking is on, the diffuse colour may not hold.
                m_diffuseDirty = m_capColourMaterial != 0;
            }
        }
        // Pre-transformed vertices are never lit.
        const bool lit = m_state.lighting && !pretransformed;
        // A mesh's own vertex colours stand in for the material's diffuse colour (and alpha).
        const bool tracked = lit && vertexColour && mesh;
        SetCap(GL_LIGHTING, lit, m_capLighting);
        if (tracked && m_capColourMaterial != 1)
            ColorMaterial(GL_FRONT_AND_BACK, GL_DIFFUSE);
        SetCap(GL_COLOR_MATERIAL, tracked, m_capColourMaterial);
        if (tracked) {
            m_diffuseDirty = true;
        } else if (lit && m_diffuseDirty) { // undo what colour tracking wrote
            SetMaterialv(GL_FRONT_AND_BACK, GL_DIFFUSE, m_state.material.diffuse);
            m_diffuseDirty = false;
        }
    }

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

} // namespace

ClipGeometry* CreateClipGeometry(GfxDevice* device, const std::vector<ClipVertex>& vertices,
                                 const std::vector<uint32_t>& indices)
{
    OpenGlDevice* gl = dynamic_cast<OpenGlDevice*>(device);
    if (!gl)
        return nullptr;
    ClipGeometry* geometry = new ClipGeometry;
    geometry->device = device;
    if (!gl->MakeClipGeometry(vertices, indices, *geometry)) {
        delete geometry;
        return nullptr;
    }
    return geometry;
}

void DrawClipGeometry(const ClipGeometry* geometry, const Texture* texture, const std::vector<ClipRun>& runs)
{
    if (!geometry)
        return;
    if (OpenGlDevice* gl = dynamic_cast<OpenGlDevice*>(geometry->device))
        gl->DrawClipGeometry(*geometry, texture, runs);
}

void ReleaseClipGeometry(ClipGeometry* geometry)
{
    if (!geometry)
        return;
    if (OpenGlDevice* gl = dynamic_cast<OpenGlDevice*>(geometry->device))
        gl->ReleaseClipGeometry(*geometry);
    delete geometry;
}
void UseGlDrawBatching(bool on)
{
    g_glBatching = on;
}

GlCallCounts LastGlFrameCallCounts()
{
    return g_lastCounts;
}

GfxDevice* CreateOpenGlDevice(void* window, const DeviceSettings& settings, std::string* error)
{
    SDL_Window* sdlWindow = static_cast<SDL_Window*>(window);
    if (!sdlWindow) {
        if (error)
            *error = "no window for the OpenGL device";
        return nullptr;
    }
    // Full screen or windowed is the window's placement (made before the device);
    // a full-screen window larger than 640 x 480 gets the picture scaled and centred.
    PrepareGlWindowAttributes(settings.depth24);
    SDL_GLContext context = SDL_GL_CreateContext(sdlWindow);
    if (!context) {
        if (error)
            *error = SDL_GetError();
        return nullptr;
    }
    if (SDL_GL_MakeCurrent(sdlWindow, context) != 0) {
        if (error)
            *error = SDL_GetError();
        SDL_GL_DeleteContext(context);
        return nullptr;
    }
    SDL_GL_SetSwapInterval(settings.vsync ? 1 : 0); // not every driver can choose; either way is playable
    OpenGlDevice* device = new OpenGlDevice(sdlWindow, context);
    device->ApplyFixedState();
    return device;
}

} // namespace plat
