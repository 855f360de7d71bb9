// The OpenGL back end: an OpenGL 2.1 compatibility context in the SDL window,
// fixed function only. The game's row-vector, clip-z 0..w matrices are turned
// into OpenGL's at this seam and nowhere else.
#include <SDL.h>
#include <GL/gl.h>

#include <algorithm>
#include <cstring>
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

namespace {

bool g_glBatching = true;

void ColourBytes(uint32_t argb, GLubyte out[4])
{
    out[0] = static_cast<GLubyte>(argb >> 16);
    out[1] = static_cast<GLubyte>(argb >> 8);
    out[2] = static_cast<GLubyte>(argb);
    out[3] = static_cast<GLubyte>(argb >> 24);
}

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
        if (g_glBatching) {
            GatherFan(static_cast<const uint8_t*>(vertices), primitiveCount, layout);
            return;
        }
        ApplyDrawState(layout.pretransformed, layout.diffuse >= 0, false);
        ApplyTexture(layout.texCoord >= 0);
        const uint8_t* base = static_cast<const uint8_t*>(vertices);
        glBegin(GL_TRIANGLE_FAN);
        for (uint32_t i = 0; i < primitiveCount + 2; ++i) {
            const uint8_t* v = base + static_cast<size_t>(i) * stride;
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

    void DrawMeshSubset(const Mesh& mesh, uint32_t subset) override
    {
        const MeshSubset* s = mesh.FindSubset(subset);
        const VertexLayout layout = LayoutOfFormat(mesh.fvf);
        if (!s || s->faceCount == 0 || layout.stride == 0 || layout.pretransformed)
            return;
        FlushFans();
        if (g_glBatching) {
            ApplyDrawStateCached(false, layout.diffuse >= 0, true);
            ApplyTextureCached(layout.texCoord >= 0);
        } else {
            ApplyDrawState(false, layout.diffuse >= 0, true);
            ApplyTexture(layout.texCoord >= 0);
        }
        const uint8_t* base = mesh.vertices.data();
        glEnableClientState(GL_VERTEX_ARRAY);
        glVertexPointer(3, GL_FLOAT, static_cast<GLsizei>(layout.stride), base);
        if (layout.normal >= 0) {
            glEnableClientState(GL_NORMAL_ARRAY);
            glNormalPointer(GL_FLOAT, static_cast<GLsizei>(layout.stride), base + layout.normal);
        }
        if (layout.diffuse >= 0) {
            // A model's subsets come one after another: their shared vertices' colours
            // are turned round once (never across scenes, so a changed mesh is seen).
            const bool same = g_glBatching && m_colourMesh == &mesh && m_colourBase == base &&
                              m_colourCount == mesh.vertexCount && m_colourLayout == mesh.fvf;
            if (!same) {
                m_colours.resize(static_cast<size_t>(mesh.vertexCount) * 4);
                for (uint32_t i = 0; i < mesh.vertexCount; ++i) {
                    uint32_t c;
                    std::memcpy(&c, base + static_cast<size_t>(i) * layout.stride + layout.diffuse, 4);
                    ColourBytes(c, &m_colours[static_cast<size_t>(i) * 4]);
                }
                m_colourMesh = &mesh;
                m_colourBase = base;
                m_colourCount = mesh.vertexCount;
                m_colourLayout = mesh.fvf;
            }
            glEnableClientState(GL_COLOR_ARRAY);
            glColorPointer(4, GL_UNSIGNED_BYTE, 0, m_colours.data());
        } else {
            glColor4ub(255, 255, 255, 255);
        }
        if (layout.texCoord >= 0) {
            glEnableClientState(GL_TEXTURE_COORD_ARRAY);
            glTexCoordPointer(2, GL_FLOAT, static_cast<GLsizei>(layout.stride), base + layout.texCoord);
        }
        glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(s->faceCount * 3), GL_UNSIGNED_INT,
                       &mesh.indices[static_cast<size_t>(s->faceStart) * 3]);
        glDisableClientState(GL_VERTEX_ARRAY);
        glDisableClientState(GL_NORMAL_ARRAY);
        glDisableClientState(GL_COLOR_ARRAY);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    }

    void Clear(uint32_t colour, float z) override
    {
        FlushFans();
        glDisable(GL_SCISSOR_TEST);
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
        std::vector<uint32_t> raw(static_cast<size_t>(w) * h);
        glFinish();
        glReadPixels(m_glViewport[0], m_glViewport[1], w, h, GL_BGRA, GL_UNSIGNED_BYTE, raw.data());
        out.resize(raw.size());
        for (GLint y = 0; y < h; ++y) // OpenGL rows run bottom-up
            std::memcpy(&out[static_cast<size_t>(y) * w], &raw[static_cast<size_t>(h - 1 - y) * w],
                        static_cast<size_t>(w) * 4);
        for (uint32_t& p : out)
            p |= 0xFF000000u;
        return true;
    }

private:
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
        glDepthRange(m_viewport.minZ, m_viewport.maxZ);
    }

    void ApplyTexture(bool hasTexCoords)
    {
        ForgetAppliedState();
        if (m_texture && m_texture->glName && hasTexCoords) {
            glEnable(GL_TEXTURE_2D);
            if (m_boundTexture != m_texture->glName) {
                glBindTexture(GL_TEXTURE_2D, m_texture->glName);
                m_boundTexture = m_texture->glName;
            }
        } else {
            glDisable(GL_TEXTURE_2D); // no texture reads as opaque white
        }
    }

    // Every draw sets its whole state again: the plain path, kept as the picture the
    // gathered path must match.
    void ApplyDrawState(bool pretransformed, bool vertexColour, bool mesh)
    {
        ForgetAppliedState();
        ApplyViewport();
        const int mode = pretransformed ? 1 : 2;
        if (m_appliedVersion != m_stateVersion || m_appliedMode != mode) {
            if (m_state.depthTest)
                glEnable(GL_DEPTH_TEST);
            else
                glDisable(GL_DEPTH_TEST);
            if (m_state.alphaBlend)
                glEnable(GL_BLEND);
            else
                glDisable(GL_BLEND);
            glMatrixMode(GL_PROJECTION);
            if (pretransformed) {
                // Pixels of the 640 x 480 area, y down, z as depth 0..1; pixel centres
                // lie on whole numbers as the game expects, hence the half-pixel shift.
                glLoadIdentity();
                glOrtho(0.0, m_viewport.width, m_viewport.height, 0.0, 0.0, -1.0);
                glTranslatef(0.5f, 0.5f, 0.0f);
                glMatrixMode(GL_MODELVIEW);
                glLoadIdentity();
            } else {
                // Clip z 0..w becomes -w..w, and the same half-pixel shift as above.
                const GLfloat fix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 2, 0,
                                         1.0f / static_cast<float>(m_viewport.width),
                                         -1.0f / static_cast<float>(m_viewport.height), -1, 1};
                glLoadMatrixf(fix);
                glMultMatrixf(&m_state.projection.m[0][0]); // row-major row-vector = column-major transposed
                glMatrixMode(GL_MODELVIEW);
                glLoadMatrixf(&m_state.view.m[0][0]);
                glMultMatrixf(&m_state.world.m[0][0]);
                const Material& mat = m_state.material;
                glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, mat.diffuse);
                glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, mat.ambient);
                glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, mat.specular);
                glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, mat.emissive);
                glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, std::clamp(mat.power, 0.0f, 128.0f));
            }
            m_appliedVersion = m_stateVersion;
            m_appliedMode = mode;
        }
        // Pre-transformed vertices are never lit.
        const bool lit = m_state.lighting && !pretransformed;
        if (lit) {
            glEnable(GL_LIGHTING);
            // A mesh's own vertex colours stand in for the material's diffuse colour (and alpha).
            if (vertexColour && mesh) {
                glColorMaterial(GL_FRONT_AND_BACK, GL_DIFFUSE);
                glEnable(GL_COLOR_MATERIAL);
            } else {
                glDisable(GL_COLOR_MATERIAL);
            }
        } else {
            glDisable(GL_LIGHTING);
            glDisable(GL_COLOR_MATERIAL);
        }
        if (lit && !(vertexColour && mesh)) // undo what colour tracking may have written
            glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, m_state.material.diffuse);
    }

    // ---- Gathered fans ----
    // llvmpipe pays for every draw call far more than for its few triangles, so
    // consecutive fans that share their state and texture go out as one array of
    // triangles. Each fan becomes the triangles (0, i, i + 1) in its own order, so
    // the picture is the one the fans draw. Anything that touches OpenGL otherwise
    // sends the gathered fans first.

    // The state that decides how a fan is drawn is the one the gathered fans use.
    bool FanJoinsBatch(bool pretransformed, GLuint texture) const
    {
        if (pretransformed != m_fanPretransformed || texture != m_fanTexture ||
            m_viewportVersion != m_fanViewportVersion)
            return false;
        if (m_stateVersion == m_fanStateVersion)
            return true;
        const DrawState& a = m_state;
        const DrawState& b = m_fanState;
        if (a.depthTest != b.depthTest || a.alphaBlend != b.alphaBlend)
            return false;
        if (pretransformed) // drawn in pixels and never lit
            return true;
        if (a.lighting != b.lighting || !SameMatrix(a.world, b.world) || !SameMatrix(a.view, b.view) ||
            !SameMatrix(a.projection, b.projection))
            return false;
        return !a.lighting || SameMaterial(a.material, b.material);
    }

    void GatherFan(const uint8_t* base, uint32_t primitiveCount, const VertexLayout& layout)
    {
        const bool pretransformed = layout.pretransformed;
        const bool hasTexCoords = layout.texCoord >= 0;
        const GLuint texture = m_texture && m_texture->glName && hasTexCoords ? m_texture->glName : 0;
        if (m_fanVertexCount > 0 && !FanJoinsBatch(pretransformed, texture))
            FlushFans();
        if (m_fanVertexCount == 0) {
            ApplyDrawStateCached(pretransformed, layout.diffuse >= 0, false);
            ApplyTextureCached(hasTexCoords);
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
            const uint8_t* v = base + static_cast<size_t>(i) * layout.stride;
            FanVertex& out = m_fanCorners[i];
            float p[4] = {0.0f, 0.0f, 0.0f, 1.0f};
            std::memcpy(p, v, pretransformed ? 16 : 12);
            if (pretransformed) {
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
            if (rgba[3] != 255 && !lit)
                m_fanOpaque = false;
            if (hasTexCoords)
                std::memcpy(out.uv, v + layout.texCoord, 8);
            else
                out.uv[0] = out.uv[1] = 0.0f;
        }
        m_fanVertices.reserve(m_fanVertices.size() + static_cast<size_t>(primitiveCount) * 3);
        for (uint32_t i = 1; i + 1 < count; ++i) {
            m_fanVertices.push_back(m_fanCorners[0]);
            m_fanVertices.push_back(m_fanCorners[i]);
            m_fanVertices.push_back(m_fanCorners[i + 1]);
        }
        m_fanVertexCount = m_fanVertices.size();
    }

    void FlushFans()
    {
        if (m_fanVertexCount == 0)
            return;
        // Blending a fragment of alpha 1 gives the fragment itself: opaque fans skip
        // reading the target back.
        SetCap(GL_BLEND, m_fanState.alphaBlend && !m_fanOpaque, m_capBlend);
        const FanVertex* v = m_fanVertices.data();
        const GLsizei stride = sizeof(FanVertex);
        glEnableClientState(GL_VERTEX_ARRAY);
        glVertexPointer(4, GL_FLOAT, stride, v->position);
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(4, GL_FLOAT, stride, v->colour);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, stride, v->uv);
        glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(m_fanVertexCount));
        glDisableClientState(GL_VERTEX_ARRAY);
        glDisableClientState(GL_COLOR_ARRAY);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        // The colour array leaves the current colour undefined; the plain path sets it per vertex anyway.
        m_fanVertices.clear();
        m_fanVertexCount = 0;
    }

    // ---- State set only where it changes ----

    void ForgetAppliedState()
    {
        m_capDepth = m_capBlend = m_capLighting = m_capColourMaterial = m_capTexture = -1;
        m_matrixMode = 0;
        m_materialValid = false;
        m_diffuseDirty = true;
    }

    static void SetCap(GLenum cap, bool on, int& known)
    {
        if (known == static_cast<int>(on))
            return;
        if (on)
            glEnable(cap);
        else
            glDisable(cap);
        known = on;
    }

    void ApplyTextureCached(bool hasTexCoords)
    {
        const bool on = m_texture && m_texture->glName && hasTexCoords;
        SetCap(GL_TEXTURE_2D, on, m_capTexture); // no texture reads as opaque white
        if (on && m_boundTexture != m_texture->glName) {
            glBindTexture(GL_TEXTURE_2D, m_texture->glName);
            m_boundTexture = m_texture->glName;
        }
    }

    void ApplyDrawStateCached(bool pretransformed, bool vertexColour, bool mesh)
    {
        m_appliedVersion = 0; // the plain path must set everything again after this one
        ApplyViewport();
        SetCap(GL_DEPTH_TEST, m_state.depthTest, m_capDepth);
        SetCap(GL_BLEND, m_state.alphaBlend, m_capBlend);
        if (pretransformed) {
            if (m_matrixMode != 1 || m_orthoWidth != m_viewport.width || m_orthoHeight != m_viewport.height) {
                // Pixels of the 640 x 480 area, y down, z as depth 0..1; pixel centres
                // lie on whole numbers as the game expects, hence the half-pixel shift.
                glMatrixMode(GL_PROJECTION);
                glLoadIdentity();
                glOrtho(0.0, m_viewport.width, m_viewport.height, 0.0, 0.0, -1.0);
                glTranslatef(0.5f, 0.5f, 0.0f);
                glMatrixMode(GL_MODELVIEW);
                glLoadIdentity();
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
                glMatrixMode(GL_PROJECTION);
                glLoadMatrixf(fix);
                glMultMatrixf(&m_state.projection.m[0][0]); // row-major row-vector = column-major transposed
                glMatrixMode(GL_MODELVIEW);
                glLoadMatrixf(&m_state.view.m[0][0]);
                glMultMatrixf(&m_state.world.m[0][0]);
                m_matrixMode = 2;
                m_orthoWidth = m_viewport.width;
                m_orthoHeight = m_viewport.height;
                m_loaded.projection = m_state.projection;
                m_loaded.view = m_state.view;
                m_loaded.world = m_state.world;
            }
            if (!m_materialValid || !SameMaterial(m_loaded.material, m_state.material)) {
                const Material& mat = m_state.material;
                glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, mat.diffuse);
                glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, mat.ambient);
                glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, mat.specular);
                glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, mat.emissive);
                glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, std::clamp(mat.power, 0.0f, 128.0f));
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
            glColorMaterial(GL_FRONT_AND_BACK, GL_DIFFUSE);
        SetCap(GL_COLOR_MATERIAL, tracked, m_capColourMaterial);
        if (tracked) {
            m_diffuseDirty = true;
        } else if (lit && m_diffuseDirty) { // undo what colour tracking wrote
            glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, m_state.material.diffuse);
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

    struct FanVertex {
        GLfloat position[4];
        GLfloat colour[4];
        GLfloat uv[2];
    };

    SDL_Window* m_window;
    SDL_GLContext m_context;
    GLint m_maxTextureSize = 2048;
    GLint m_glViewport[4] = {-1, -1, -1, -1};
    GLuint m_boundTexture = 0;
    uint32_t m_serial = 0;
    uint32_t m_appliedVersion = 0;
    uint32_t m_appliedViewportVersion = 0;
    int m_appliedMode = 0;
    std::vector<GLubyte> m_colours;
    const Mesh* m_colourMesh = nullptr; // whose colours m_colours holds
    const uint8_t* m_colourBase = nullptr;
    uint32_t m_colourCount = 0;
    uint32_t m_colourLayout = 0;

    // What OpenGL holds now, for the gathered path (-1: not known).
    int m_capDepth = -1, m_capBlend = -1, m_capLighting = -1, m_capColourMaterial = -1, m_capTexture = -1;
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
};

} // namespace

void UseGlDrawBatching(bool on)
{
    g_glBatching = on;
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
