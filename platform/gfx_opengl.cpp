// The OpenGL back end: an OpenGL 2.1 compatibility context in the SDL window,
// fixed function only. The game's row-vector, clip-z 0..w matrices are turned
// into OpenGL's at this seam and nowhere else.
#include <SDL.h>
#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
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

// A recorded frame's triangles in OpenGL's clip space, in one static buffer, drawn
// with one texture in one draw per run of the same depth test, blending and texturing.
struct FloorFrame {
    struct Run {
        GLint first = 0;
        GLsizei count = 0;
        bool depthTest = true;
        bool blend = false;
        bool textured = false;
    };
    GfxDevice* device = nullptr;
    GLuint buffer = 0;
    GLuint texture = 0;
    std::vector<Run> runs;
    uint32_t triangles = 0;
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

class OpenGlDevice final : public GfxDevice {
public:
    OpenGlDevice(SDL_Window* window, SDL_GLContext context) : m_window(window), m_context(context) {}

    ~OpenGlDevice() override
    {
        SDL_GL_MakeCurrent(m_window, m_context);
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
        GLint depthBits = 0;
        glGetIntegerv(GL_DEPTH_BITS, &depthBits);
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
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, static_cast<GLsizei>(image.width),
                     static_cast<GLsizei>(image.height), 0, GL_BGRA, GL_UNSIGNED_BYTE, image.pixels.data());
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
        return t;
    }

    void ReleaseTexture(Texture* texture) override
    {
        if (!texture)
            return;
        if (texture->glName) {
            FlushFans(); // gathered fans may still read it
            m_opaqueTextures.erase(texture->glName);
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
        ApplyDrawStateCached(false, layout.diffuse >= 0, true);
        ApplyTextureCached(layout.texCoord >= 0);
        const uint8_t* base = mesh.vertices.data();
        uint32_t arrays = kVertexArray;
        if (layout.normal >= 0)
            arrays |= kNormalArray;
        if (layout.diffuse >= 0) {
            ConvertMeshColours(mesh, layout);
            arrays |= kColourArray;
        }
        if (layout.texCoord >= 0)
            arrays |= kTexCoordArray;
        // Blending a fragment of alpha 1 gives the fragment itself: an opaque subset
        // skips reading the target back.
        const bool lit = m_state.lighting;
        const bool textureOpaque = m_capTexture != 1 || m_opaqueTextures.count(m_boundTexture) != 0;
        const bool colourOpaque = layout.diffuse >= 0 ? m_colourOpaque : true;
        const bool alphaOne = lit && layout.diffuse < 0 ? m_state.material.diffuse[3] >= 1.0f : colourOpaque;
        SetCap(GL_BLEND, m_state.alphaBlend && !(textureOpaque && alphaOne), m_capBlend);
        SetArrays(arrays);
        VertexPointer(3, GL_FLOAT, static_cast<GLsizei>(layout.stride), base);
        if (layout.normal >= 0)
            NormalPointer(GL_FLOAT, static_cast<GLsizei>(layout.stride), base + layout.normal);
        if (layout.diffuse >= 0)
            ColorPointer(4, GL_UNSIGNED_BYTE, 0, m_colours.data());
        else
            glColor4ub(255, 255, 255, 255); // a colour array before leaves the current colour undefined
        if (layout.texCoord >= 0)
            TexCoordPointer(2, GL_FLOAT, static_cast<GLsizei>(layout.stride), base + layout.texCoord);
        DrawElements(GL_TRIANGLES, static_cast<GLsizei>(s->faceCount * 3), GL_UNSIGNED_INT,
                     &mesh.indices[static_cast<size_t>(s->faceStart) * 3]);
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
        m_colourMesh = nullptr;
        m_appliedViewportVersion = 0; // the window may have changed size
        ApplyViewport();
    }
    void EndScene() override
    {
        FlushFans();
        m_colourMesh = nullptr;
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
            for (size_t x = 0; x < rowWords; ++x)
                to[x] = from[x] | 0xFF000000u;
        }
        return true;
    }

    bool IsOpaqueTexture(GLuint name) const { return m_opaqueTextures.count(name) != 0; }
    void ForgetTextureBinding() { m_boundTexture = 0; } // another texture was bound behind the device

    // The floor's draws, on a target cleared as a frame's is; OpenGL is left as the
    // device's own state expects to find it (nothing of it is assumed afterwards).
    void DrawFloor(const FloorFrame& floor);

private:
    // ---- OpenGL calls, counted for the benchmarks' figures ----
    void Enable(GLenum cap) { glEnable(cap); ++m_counts.capabilities; }
    void Disable(GLenum cap) { glDisable(cap); ++m_counts.capabilities; }
    void EnableArray(GLenum array) { glEnableClientState(array); ++m_counts.capabilities; }
    void DisableArray(GLenum array) { glDisableClientState(array); ++m_counts.capabilities; }
    void BindTexture(GLuint name) { glBindTexture(GL_TEXTURE_2D, name); ++m_counts.textureBinds; }
    void MatrixMode(GLenum mode) { glMatrixMode(mode); ++m_counts.matrices; }
    void LoadIdentity() { glLoadIdentity(); ++m_counts.matrices; }
    void LoadMatrix(const GLfloat* m) { glLoadMatrixf(m); ++m_counts.matrices; }
    void MultMatrix(const GLfloat* m) { glMultMatrixf(m); ++m_counts.matrices; }
    void Ortho(double l, double r, double b, double t, double n, double f) { glOrtho(l, r, b, t, n, f); ++m_counts.matrices; }
    void Translate(GLfloat x, GLfloat y, GLfloat z) { glTranslatef(x, y, z); ++m_counts.matrices; }
    void SetMaterialv(GLenum face, GLenum name, const GLfloat* v) { glMaterialfv(face, name, v); ++m_counts.materials; }
    void SetMaterialf(GLenum face, GLenum name, GLfloat v) { glMaterialf(face, name, v); ++m_counts.materials; }
    void ColorMaterial(GLenum face, GLenum mode) { glColorMaterial(face, mode); ++m_counts.materials; }
    void VertexPointer(GLint n, GLenum type, GLsizei stride, const void* p) { glVertexPointer(n, type, stride, p); ++m_counts.pointers; }
    void ColorPointer(GLint n, GLenum type, GLsizei stride, const void* p) { glColorPointer(n, type, stride, p); ++m_counts.pointers; }
    void TexCoordPointer(GLint n, GLenum type, GLsizei stride, const void* p) { glTexCoordPointer(n, type, stride, p); ++m_counts.pointers; }
    void NormalPointer(GLenum type, GLsizei stride, const void* p) { glNormalPointer(type, stride, p); ++m_counts.pointers; }
    void Begin(GLenum mode) { glBegin(mode); ++m_counts.draws; }
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
        const uint8_t* base = mesh.vertices.data();
        EnableArray(GL_VERTEX_ARRAY);
        VertexPointer(3, GL_FLOAT, static_cast<GLsizei>(layout.stride), base);
        if (layout.normal >= 0) {
            EnableArray(GL_NORMAL_ARRAY);
            NormalPointer(GL_FLOAT, static_cast<GLsizei>(layout.stride), base + layout.normal);
        }
        if (layout.diffuse >= 0) {
            m_colourMesh = nullptr; // turned round again for every draw on this path
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
                const GLfloat fix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 2, 0,
                                         1.0f / static_cast<float>(m_viewport.width),
                                         -1.0f / static_cast<float>(m_viewport.height), -1, 1};
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

    // A mesh's vertex colours as OpenGL takes them, and whether every alpha is full. A
    // model's subsets come one after another: their shared vertices' colours are turned
    // round once (never across scenes, so a changed mesh is seen).
    void ConvertMeshColours(const Mesh& mesh, const VertexLayout& layout)
    {
        const uint8_t* base = mesh.vertices.data();
        if (m_colourMesh == &mesh && m_colourBase == base && m_colourCount == mesh.vertexCount &&
            m_colourLayout == mesh.fvf)
            return;
        m_colours.resize(static_cast<size_t>(mesh.vertexCount) * 4);
        bool opaque = true;
        for (uint32_t i = 0; i < mesh.vertexCount; ++i) {
            uint32_t c;
            std::memcpy(&c, base + static_cast<size_t>(i) * layout.stride + layout.diffuse, 4);
            ColourBytes(c, &m_colours[static_cast<size_t>(i) * 4]);
            opaque = opaque && c >= 0xFF000000u;
        }
        m_colourOpaque = opaque;
        m_colourMesh = &mesh;
        m_colourBase = base;
        m_colourCount = mesh.vertexCount;
        m_colourLayout = mesh.fvf;
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
        for (int k = 0; k < 4; ++k)
            out.colour[k] = static_cast<GLfloat>(rgba[k]) / 255.0f;
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
        // Lit, the alpha is the material's; otherwise the vertices' times the texture's.
        const bool lit = m_state.lighting && !pretransformed;
        if (lit ? !(m_state.material.diffuse[3] >= 1.0f) : texture != 0 && m_opaqueTextures.count(texture) == 0)
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
        SetCap(GL_BLEND, m_fanState.alphaBlend && !m_fanOpaque, m_capBlend);
        SetArrays(kVertexArray | kColourArray | kTexCoordArray);
        PointFanArrays(m_fanVertices.data());
        DrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(m_fanVertexCount));
        m_fanVertices.clear();
        m_fanVertexCount = 0;
    }

    void PointFanArrays(const FanVertex* v)
    {
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
    // cannot meet so when their rectangles on the screen are apart, when their depths
    // are apart by more than the buffer can tell, or when they lie on either side of an
    // edge they share (OpenGL gives each pixel on such an edge to exactly one of them).

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
    bool CanReorderFan(const uint8_t* base, const VertexLayout& layout) const
    {
        if (!m_state.depthTest)
            return false;
        if (!m_state.alphaBlend)
            return true;
        const GLuint texture = FanTexture(layout);
        if (texture != 0 && m_opaqueTextures.count(texture) == 0)
            return false;
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

    struct RunQuad {
        float corner[4][3];        // as the game passed them: shared edges are equal corners
        float x[4], y[4];          // on the screen, in pixels of the viewport
        float left, top, right, bottom; // the pixels it may touch, with a margin
        float nearDepth, farDepth; // the depths it may give, with the buffer's slack
        bool watertight;           // every corner before the eye and unclipped: shared edges hold
        uint32_t batch;
        uint32_t seen;
    };

    struct RunBatch {
        GLuint texture = 0;
        std::vector<FanVertex> vertices;
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
            ApplyDrawStateCached(false, layout.diffuse >= 0, false);
            m_runState = m_state;
            m_runViewportVersion = m_viewportVersion;
        }
        m_runStateVersion = m_stateVersion;
        RunQuad quad;
        DescribeRunQuad(base, layout, clip, quad);
        const GLuint texture = FanTexture(layout);
        uint32_t batch = PlaceInRun(quad, texture);
        if (batch == UINT32_MAX) { // too many batches: draw what there is and begin anew
            FlushOpaqueRun();
            ApplyDrawStateCached(false, layout.diffuse >= 0, false);
            m_runState = m_state;
            m_runViewportVersion = m_viewportVersion;
            batch = PlaceInRun(quad, texture);
        }
        FanVertex corners[4];
        const bool lit = m_state.lighting;
        for (int i = 0; i < 4; ++i)
            ConvertFanVertex(base + static_cast<size_t>(i) * layout.stride, layout, lit, corners[i]);
        std::vector<FanVertex>& out = m_runBatches[batch].vertices;
        out.push_back(corners[0]);
        out.push_back(corners[1]);
        out.push_back(corners[2]);
        out.push_back(corners[0]);
        out.push_back(corners[2]);
        out.push_back(corners[3]);
    }

    void DescribeRunQuad(const uint8_t* base, const VertexLayout& layout, const float clip[4][4], RunQuad& q) const
    {
        const float width = static_cast<float>(m_viewport.width), height = static_cast<float>(m_viewport.height);
        bool bounded = true;
        bool watertight = true;
        float nearDepth = 0.0f, farDepth = 0.0f;
        for (int i = 0; i < 4; ++i)
            std::memcpy(q.corner[i], base + static_cast<size_t>(i) * layout.stride, 12);
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
            // Within the depth range and well inside the guard band, nothing is clipped
            // and OpenGL rasterises the corners as given.
            if (!(depth > 1e-6f && depth < 1.0f - 1e-6f && std::fabs(nx) < 4.0f && std::fabs(ny) < 4.0f))
                watertight = false;
        }
        if (!bounded) {
            // Behind the eye the picture may be anywhere: every pixel, every depth.
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
    static bool MayTie(const RunQuad& a, const RunQuad& b)
    {
        if (a.right < b.left || b.right < a.left || a.bottom < b.top || b.bottom < a.top)
            return false;
        if (a.farDepth < b.nearDepth || b.farDepth < a.nearDepth)
            return false;
        return !LieOnEitherSideOfSharedEdge(a, b);
    }

    static bool SameCorner(const float a[3], const float b[3]) { return a[0] == b[0] && a[1] == b[1] && a[2] == b[2]; }

    static bool LieOnEitherSideOfSharedEdge(const RunQuad& a, const RunQuad& b)
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
    uint32_t PlaceInRun(RunQuad& q, GLuint texture)
    {
        uint32_t first = UINT32_MAX;
        for (uint32_t i = 0; i < m_runBatchCount; ++i) {
            if (m_runBatches[i].texture == texture) {
                first = i;
                break;
            }
        }
        uint32_t target = UINT32_MAX;
        int cx0 = 0, cx1 = -1, cy0 = 0, cy1 = -1;
        GridCellsOf(q, cx0, cx1, cy0, cy1);
        if (first != UINT32_MAX) {
            uint32_t latest = first;
            ++m_runSeen;
            for (int cy = cy0; cy <= cy1; ++cy) {
                for (int cx = cx0; cx <= cx1; ++cx) {
                    for (uint32_t index : m_tieGrid[static_cast<size_t>(cy) * kTieGridColumns + static_cast<size_t>(cx)]) {
                        RunQuad& other = m_runQuads[index];
                        if (other.seen == m_runSeen)
                            continue;
                        other.seen = m_runSeen;
                        if (other.batch > latest && MayTie(other, q))
                            latest = other.batch;
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
            m_runBatches[target].vertices.clear();
        }
        q.batch = target;
        q.seen = m_runSeen;
        const uint32_t index = static_cast<uint32_t>(m_runQuads.size());
        m_runQuads.push_back(q);
        for (int cy = cy0; cy <= cy1; ++cy)
            for (int cx = cx0; cx <= cx1; ++cx)
                m_tieGrid[static_cast<size_t>(cy) * kTieGridColumns + static_cast<size_t>(cx)].push_back(index);
        return target;
    }

    // The cells of the tie grid that the quad's rectangle covers (none off the picture).
    void GridCellsOf(const RunQuad& q, int& cx0, int& cx1, int& cy0, int& cy1) const
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
        SetCap(GL_BLEND, false, m_capBlend);
        SetArrays(kVertexArray | kColourArray | kTexCoordArray);
        for (uint32_t i = 0; i < m_runBatchCount; ++i) {
            RunBatch& batch = m_runBatches[i];
            if (batch.vertices.empty())
                continue;
            SetCap(GL_TEXTURE_2D, batch.texture != 0, m_capTexture); // no texture reads as opaque white
            if (batch.texture != 0 && m_boundTexture != batch.texture) {
                BindTexture(batch.texture);
                m_boundTexture = batch.texture;
            }
            PointFanArrays(batch.vertices.data());
            DrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(batch.vertices.size()));
            batch.vertices.clear();
        }
        m_runBatchCount = 0;
        m_runQuads.clear();
        for (std::vector<uint32_t>& cell : m_tieGrid)
            cell.clear();
    }

    // ---- State set only where it changes ----

    void ForgetAppliedState()
    {
        m_capDepth = m_capBlend = m_capLighting = m_capColourMaterial = m_capTexture = -1;
        m_arraysKnown = false;
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
        const bool on = m_texture && m_texture->glName && hasTexCoords;
        SetCap(GL_TEXTURE_2D, on, m_capTexture); // no texture reads as opaque white
        if (on && m_boundTexture != m_texture->glName) {
            BindTexture(m_texture->glName);
            m_boundTexture = m_texture->glName;
        }
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
                const GLfloat fix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 2, 0,
                                         1.0f / static_cast<float>(m_viewport.width),
                                         -1.0f / static_cast<float>(m_viewport.height), -1, 1};
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
    GLuint m_boundTexture = 0;
    uint32_t m_serial = 0;
    uint32_t m_appliedVersion = 0;
    uint32_t m_appliedViewportVersion = 0;
    int m_appliedMode = 0;
    std::vector<GLubyte> m_colours;
    bool m_colourOpaque = true;
    const Mesh* m_colourMesh = nullptr; // whose colours m_colours holds
    const uint8_t* m_colourBase = nullptr;
    uint32_t m_colourCount = 0;
    uint32_t m_colourLayout = 0;
    std::vector<uint32_t> m_readBack; // the last picture read, bottom row first

    // What OpenGL holds now, for the gathered path (-1: not known).
    int m_capDepth = -1, m_capBlend = -1, m_capLighting = -1, m_capColourMaterial = -1, m_capTexture = -1;
    uint32_t m_arrays = 0; // client arrays enabled, when known
    bool m_arraysKnown = false;
    int m_matrixMode = 0; // 0 not known, 1 pixels, 2 world
    uint32_t m_orthoWidth = 0, m_orthoHeight = 0;
    DrawState m_loaded;   // matrices and material last handed to OpenGL
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
    bool m_fanOpaque = true;                    // every fragment of the gathered fans has alpha 1
    std::unordered_set<GLuint> m_opaqueTextures; // textures without a texel below full alpha

    // The run of opaque world quads gathered by texture, and what the tie checks keep.
    Matrix4 m_clipMatrix = MatrixIdentity(); // world x view x projection
    uint32_t m_clipMatrixVersion = 0;
    std::vector<RunBatch> m_runBatches;
    uint32_t m_runBatchCount = 0;
    std::vector<RunQuad> m_runQuads;
    std::vector<std::vector<uint32_t>> m_tieGrid =
        std::vector<std::vector<uint32_t>>(static_cast<size_t>(kTieGridColumns) * kTieGridRows);
    uint32_t m_runSeen = 0;
    DrawState m_runState;
    uint32_t m_runStateVersion = 0;
    uint32_t m_runViewportVersion = 0;
};


// ---- The floor ----

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

    bool Load()
    {
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

// The floor's one texture stands in for every texture of the frame: each triangle's
// coordinates are scaled so that it reads the same number of texels as it did.
constexpr uint32_t kFloorTextureSize = 2048;

struct FloorVertex {
    GLfloat position[4];
    GLubyte colour[4];
    GLfloat uv[2];
};

// A world position as OpenGL clips it: the game's clip space with z from 0..w made
// -w..w, and the half-pixel shift of the device.
void ClipOfWorld(const Matrix4& worldViewProjection, const float p[3], float width, float height, GLfloat out[4])
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
void ClipOfScreen(const float p[4], float width, float height, GLfloat out[4])
{
    const float w = p[3] != 0.0f ? 1.0f / p[3] : 1.0f;
    out[0] = 2.0f / width * (p[0] * w + 0.5f * w) - w;
    out[1] = -2.0f / height * (p[1] * w + 0.5f * w) + w;
    out[2] = 2.0f * p[2] * w - w;
    out[3] = w;
}

GLubyte UnitToByte(float v)
{
    return static_cast<GLubyte>(std::clamp(v, 0.0f, 1.0f) * 255.0f + 0.5f);
}

// The floor's triangles of one draw of the recorded frame.
class FloorBuilder {
public:
    FloorBuilder(const OpenGlDevice& device, const Viewport& viewport, FloorFrame& floor,
                 std::vector<FloorVertex>& vertices)
        : m_device(device), m_width(static_cast<float>(viewport.width)), m_height(static_cast<float>(viewport.height)),
          m_floor(floor), m_vertices(vertices)
    {
    }

    void Add(const RecordedFrame& frame, const RecordedDraw& draw)
    {
        const DrawState& state = frame.StateOf(draw);
        const bool mesh = draw.primitive == RecordedPrimitive::MeshSubset;
        if (mesh && !draw.mesh)
            return;
        const VertexLayout layout = LayoutOfFormat(mesh ? draw.mesh->fvf : draw.fvf);
        if (layout.stride == 0 || (mesh && layout.pretransformed))
            return;
        m_layout = layout;
        m_state = &state;
        m_mesh = mesh;
        m_lit = state.lighting && !layout.pretransformed;
        m_textured = draw.texture && draw.texture->glName && layout.texCoord >= 0;
        m_textureOpaque = !m_textured || m_device.IsOpaqueTexture(draw.texture->glName);
        m_uvScale[0] = m_textured ? static_cast<float>(draw.texture->width) / kFloorTextureSize : 0.0f;
        m_uvScale[1] = m_textured ? static_cast<float>(draw.texture->height) / kFloorTextureSize : 0.0f;
        m_matrix = MatrixMultiply(MatrixMultiply(state.world, state.view), state.projection);
        if (mesh) {
            const MeshSubset* subset = draw.mesh->FindSubset(draw.subset);
            if (!subset)
                return;
            const uint8_t* base = draw.mesh->vertices.data();
            for (uint32_t f = subset->faceStart; f < subset->faceStart + subset->faceCount; ++f) {
                const uint32_t* index = &draw.mesh->indices[static_cast<size_t>(f) * 3];
                AddTriangle(base + static_cast<size_t>(index[0]) * layout.stride,
                            base + static_cast<size_t>(index[1]) * layout.stride,
                            base + static_cast<size_t>(index[2]) * layout.stride);
            }
        } else {
            const uint8_t* base = &frame.vertexBytes[draw.vertexOffset];
            for (uint32_t i = 1; i + 1 < draw.vertexCount; ++i)
                AddTriangle(base, base + static_cast<size_t>(i) * draw.stride, base + static_cast<size_t>(i + 1) * draw.stride);
        }
    }

    // The triangles of the phase so far go out as one draw each of textured and untextured.
    void Finish()
    {
        for (int textured = 1; textured >= 0; --textured) {
            std::vector<FloorVertex>& part = m_phase[textured];
            if (part.empty())
                continue;
            FloorFrame::Run run;
            run.first = static_cast<GLint>(m_vertices.size());
            run.count = static_cast<GLsizei>(part.size());
            run.depthTest = m_phaseDepthTest;
            run.blend = m_phaseBlend;
            run.textured = textured != 0;
            m_floor.runs.push_back(run);
            m_vertices.insert(m_vertices.end(), part.begin(), part.end());
            part.clear();
        }
    }

private:
    // A phase is a stretch of triangles with the same depth test and blending; within
    // it the textured ones are drawn before the untextured ones, which changes which of
    // them a pixel shows but neither the pixels covered nor the work.
    void AddTriangle(const uint8_t* a, const uint8_t* b, const uint8_t* c)
    {
        FloorVertex v[3];
        bool opaque = m_textureOpaque;
        const uint8_t* corners[3] = {a, b, c};
        for (int k = 0; k < 3; ++k)
            opaque = Convert(corners[k], v[k]) && opaque;
        const bool blend = m_state->alphaBlend && !opaque;
        if (m_phaseStarted && (m_phaseDepthTest != m_state->depthTest || m_phaseBlend != blend))
            Finish();
        m_phaseStarted = true;
        m_phaseDepthTest = m_state->depthTest;
        m_phaseBlend = blend;
        m_phase[m_textured ? 1 : 0].insert(m_phase[m_textured ? 1 : 0].end(), v, v + 3);
        ++m_floor.triangles;
    }

    // The vertex as drawn: its place, and its colour as lighting leaves it. False when
    // its alpha is below one.
    bool Convert(const uint8_t* in, FloorVertex& out) const
    {
        float p[4] = {0.0f, 0.0f, 0.0f, 1.0f};
        std::memcpy(p, in, m_layout.pretransformed ? 16 : 12);
        if (m_layout.pretransformed)
            ClipOfScreen(p, m_width, m_height, out.position);
        else
            ClipOfWorld(m_matrix, p, m_width, m_height, out.position);
        GLubyte rgba[4] = {255, 255, 255, 255};
        if (m_layout.diffuse >= 0) {
            uint32_t colour;
            std::memcpy(&colour, in + m_layout.diffuse, 4);
            ColourBytes(colour, rgba);
        }
        if (m_lit) {
            // No lights and no ambient: the emissive colour, with the diffuse alpha (a
            // mesh's own colours stand in for the material's diffuse).
            const Material& material = m_state->material;
            const GLubyte alpha = m_mesh && m_layout.diffuse >= 0 ? rgba[3] : UnitToByte(material.diffuse[3]);
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

    const OpenGlDevice& m_device;
    float m_width, m_height;
    FloorFrame& m_floor;
    std::vector<FloorVertex>& m_vertices;
    VertexLayout m_layout;
    const DrawState* m_state = nullptr;
    Matrix4 m_matrix = MatrixIdentity();
    bool m_mesh = false;
    bool m_lit = false;
    bool m_textured = false;
    bool m_textureOpaque = true;
    float m_uvScale[2] = {0.0f, 0.0f};
    std::vector<FloorVertex> m_phase[2]; // untextured, textured
    bool m_phaseStarted = false;
    bool m_phaseDepthTest = true;
    bool m_phaseBlend = false;
};

void OpenGlDevice::DrawFloor(const FloorFrame& floor)
{
    FlushFans();
    Clear(0xFF000000u, 1.0f);
    BeginScene();
    BufferCalls& gl = Buffers();
    MatrixMode(GL_PROJECTION);
    LoadIdentity();
    MatrixMode(GL_MODELVIEW);
    LoadIdentity();
    Disable(GL_LIGHTING);
    Disable(GL_COLOR_MATERIAL);
    DisableArray(GL_NORMAL_ARRAY);
    gl.bindBuffer(GL_ARRAY_BUFFER, floor.buffer);
    const GLsizei stride = sizeof(FloorVertex);
    EnableArray(GL_VERTEX_ARRAY);
    VertexPointer(4, GL_FLOAT, stride, reinterpret_cast<const void*>(offsetof(FloorVertex, position)));
    EnableArray(GL_COLOR_ARRAY);
    ColorPointer(4, GL_UNSIGNED_BYTE, stride, reinterpret_cast<const void*>(offsetof(FloorVertex, colour)));
    EnableArray(GL_TEXTURE_COORD_ARRAY);
    TexCoordPointer(2, GL_FLOAT, stride, reinterpret_cast<const void*>(offsetof(FloorVertex, uv)));
    BindTexture(floor.texture);
    m_boundTexture = floor.texture;
    for (const FloorFrame::Run& run : floor.runs) {
        if (run.depthTest)
            Enable(GL_DEPTH_TEST);
        else
            Disable(GL_DEPTH_TEST);
        if (run.blend)
            Enable(GL_BLEND);
        else
            Disable(GL_BLEND);
        if (run.textured)
            Enable(GL_TEXTURE_2D);
        else
            Disable(GL_TEXTURE_2D);
        DrawArrays(GL_TRIANGLES, run.first, run.count);
    }
    gl.bindBuffer(GL_ARRAY_BUFFER, 0);
    DisableArray(GL_VERTEX_ARRAY);
    DisableArray(GL_COLOR_ARRAY);
    DisableArray(GL_TEXTURE_COORD_ARRAY);
    ForgetAppliedState();
    m_appliedVersion = 0;
}

} // namespace

FloorFrame* CreateFloorFrame(GfxDevice* device, const RecordedFrame& frame)
{
    OpenGlDevice* gl = dynamic_cast<OpenGlDevice*>(device);
    if (!gl || !Buffers().Load())
        return nullptr;
    FloorFrame* floor = new FloorFrame;
    floor->device = device;
    std::vector<FloorVertex> vertices;
    FloorBuilder builder(*gl, device->GetViewport(), *floor, vertices);
    for (const RecordedDraw& draw : frame.draws)
        builder.Add(frame, draw);
    builder.Finish();
    // One texture of the atlas's size, opaque, with a pattern that is not all one texel.
    std::vector<uint32_t> texels(static_cast<size_t>(kFloorTextureSize) * kFloorTextureSize);
    for (size_t i = 0; i < texels.size(); ++i)
        texels[i] = 0xFF404040u | static_cast<uint32_t>((i * 2654435761u) >> 8); // never black
    glGenTextures(1, &floor->texture);
    glBindTexture(GL_TEXTURE_2D, floor->texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kFloorTextureSize, kFloorTextureSize, 0, GL_BGRA, GL_UNSIGNED_BYTE,
                 texels.data());
    gl->ForgetTextureBinding();
    BufferCalls& calls = Buffers();
    calls.genBuffers(1, &floor->buffer);
    calls.bindBuffer(GL_ARRAY_BUFFER, floor->buffer);
    calls.bufferData(GL_ARRAY_BUFFER, static_cast<std::ptrdiff_t>(vertices.size() * sizeof(FloorVertex)),
                     vertices.data(), GL_STATIC_DRAW);
    calls.bindBuffer(GL_ARRAY_BUFFER, 0);
    return floor;
}

void DrawFloorFrame(FloorFrame* floor)
{
    if (!floor)
        return;
    if (OpenGlDevice* gl = dynamic_cast<OpenGlDevice*>(floor->device))
        gl->DrawFloor(*floor);
}

FloorSummary SummariseFloorFrame(const FloorFrame* floor)
{
    FloorSummary summary;
    if (floor) {
        summary.triangles = floor->triangles;
        summary.draws = static_cast<uint32_t>(floor->runs.size());
    }
    return summary;
}

void ReleaseFloorFrame(FloorFrame* floor)
{
    if (!floor)
        return;
    if (floor->buffer)
        Buffers().deleteBuffers(1, &floor->buffer);
    if (floor->texture)
        glDeleteTextures(1, &floor->texture);
    if (OpenGlDevice* gl = dynamic_cast<OpenGlDevice*>(floor->device))
        gl->ForgetTextureBinding();
    delete floor;
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
