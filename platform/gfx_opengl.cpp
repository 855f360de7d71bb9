// The OpenGL back end: an OpenGL 2.1 compatibility context in the SDL window,
// fixed function only. The game's row-vector, clip-z 0..w matrices are turned
// into OpenGL's at this seam and nowhere else. This file holds the device, its plain
// path and the draws of clip-space geometry; gfx_opengl_device.h lists the other parts.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "platform/gfx_opengl_device.h"

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
GlCallCounts g_lastCounts;

} // namespace

namespace opengl {

OpenGlDevice::~OpenGlDevice()
{
    SDL_GL_MakeCurrent(m_window, m_context);
    ReleaseMeshBuffers();
    SDL_GL_DeleteContext(m_context);
}

void OpenGlDevice::ApplyFixedState()
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

Texture* OpenGlDevice::CreateTexture(const Image& image)
{
    if (image.width == 0 || image.height == 0 ||
        image.pixels.size() != static_cast<size_t>(image.width) * image.height ||
        image.width > static_cast<uint32_t>(m_maxTextureSize) || image.height > static_cast<uint32_t>(m_maxTextureSize))
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
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, static_cast<GLsizei>(image.width), static_cast<GLsizei>(image.height), 0,
                 GL_BGRA, GL_UNSIGNED_BYTE, image.pixels.data());
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

void OpenGlDevice::ReleaseTexture(Texture* texture)
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

void OpenGlDevice::DrawTriangleFan(const void* vertices, uint32_t primitiveCount, uint32_t stride)
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

void OpenGlDevice::DrawMeshSubset(const Mesh& mesh, uint32_t subset)
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

void OpenGlDevice::Clear(uint32_t colour, float z)
{
    FlushFans();
    Disable(GL_SCISSOR_TEST);
    glDepthMask(GL_TRUE);
    glClearColor(static_cast<float>((colour >> 16) & 0xFF) / 255.0f, static_cast<float>((colour >> 8) & 0xFF) / 255.0f,
                 static_cast<float>(colour & 0xFF) / 255.0f, static_cast<float>(colour >> 24) / 255.0f);
    glClearDepth(z);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void OpenGlDevice::BeginScene()
{
    FlushFans();
    m_counts = GlCallCounts{};
    m_appliedViewportVersion = 0; // the window may have changed size
    ApplyViewport();
}

void OpenGlDevice::EndScene()
{
    FlushFans();
    glFlush();
}

bool OpenGlDevice::Present()
{
    FlushFans();
    g_lastCounts = m_counts;
    SDL_GL_SwapWindow(m_window);
    return true;
}

bool OpenGlDevice::ReadPixels(std::vector<uint32_t>& out)
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
bool OpenGlDevice::MakeClipGeometry(const std::vector<ClipVertex>& vertices, const std::vector<uint32_t>& indices,
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
    gl.bufferData(GL_ARRAY_BUFFER, static_cast<std::ptrdiff_t>(vertices.size() * sizeof(ClipVertex)), vertices.data(),
                  GL_STATIC_DRAW);
    BindElementBuffer(geometry.indices);
    gl.bufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<std::ptrdiff_t>(indices.size() * sizeof(uint32_t)),
                  indices.data(), GL_STATIC_DRAW);
    RestoreBufferBindings(arrayBuffer, elementBuffer, known);
    return true;
}

void OpenGlDevice::ReleaseClipGeometry(const ClipGeometry& geometry)
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
void OpenGlDevice::DrawClipGeometry(const ClipGeometry& geometry, const Texture* texture,
                                    const std::vector<ClipRun>& runs)
{
    FlushFans();
    if (!Buffers().Load())
        return;
    const int depth = m_capDepth, blend = m_capBlend, lighting = m_capLighting, colourMaterial = m_capColourMaterial,
              texturing = m_capTexture;
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

// The viewport scaled into the drawable (a full-screen window may be larger
// than 640 x 480: the picture is scaled and centred).
void OpenGlDevice::ApplyViewport()
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
void OpenGlDevice::DrawFanAlone(const uint8_t* base, uint32_t primitiveCount, const VertexLayout& layout)
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

void OpenGlDevice::DrawMeshAlone(const Mesh& mesh, const MeshSubset& s, const VertexLayout& layout)
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

void OpenGlDevice::ApplyTexture(bool hasTexCoords)
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

void OpenGlDevice::ApplyDrawState(bool pretransformed, bool vertexColour, bool mesh)
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
            GLfloat fix[16];
            opengl::ClipFixMatrix(m_viewport.width, m_viewport.height, fix);
            LoadMatrix(fix);
            MultMatrix(&m_state.projection.m[0][0]); // row-major row-vector = column-major transposed
            MatrixMode(GL_MODELVIEW);
            LoadMatrix(&m_state.view.m[0][0]);
            MultMatrix(&m_state.world.m[0][0]);
            const Material& mat = m_state.material;
            ApplyMaterial(mat);
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
void OpenGlDevice::ConvertMeshColours(const Mesh& mesh, const VertexLayout& layout)
{
    const uint8_t* base = mesh.vertices.data();
    m_colours.resize(static_cast<size_t>(mesh.vertexCount) * 4);
    for (uint32_t i = 0; i < mesh.vertexCount; ++i) {
        uint32_t c;
        std::memcpy(&c, base + static_cast<size_t>(i) * layout.stride + layout.diffuse, 4);
        ColourBytes(c, &m_colours[static_cast<size_t>(i) * 4]);
    }
}

} // namespace opengl

using opengl::OpenGlDevice;

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
