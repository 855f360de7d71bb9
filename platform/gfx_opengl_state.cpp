// The OpenGL device's state cache: what OpenGL holds (capabilities, client arrays,
// texture, matrices, material), set only where a draw needs it changed.
#include <algorithm>

#include "platform/gfx_opengl_device.h"

namespace plat::opengl {

// ---- State set only where it changes ----
void OpenGlDevice::ForgetAppliedState()
{
    m_capDepth = m_capBlend = m_capLighting = m_capColourMaterial = m_capTexture = -1;
    m_arraysKnown = false;
    m_buffersKnown = false;
    m_pointedMesh = nullptr;
    m_matrixMode = 0;
    m_materialValid = false;
    m_diffuseDirty = true;
}

// A capability back to what the cache held (-1: not known, left as it is now).
void OpenGlDevice::RestoreCap(GLenum cap, int was, int& known)
{
    if (was >= 0)
        SetCap(cap, was != 0, known);
    else
        known = -1;
}

void OpenGlDevice::SetArrays(uint32_t arrays)
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

void OpenGlDevice::ApplyTextureCached(bool hasTexCoords)
{
    UseTexture(m_texture && m_texture->glName && hasTexCoords ? m_texture->glName : 0);
}

// Without a texture, texturing is switched off (no texture reads as opaque white).
// (Reading a white texel instead would spare the switches but cost the rasteriser a
// texel for every fragment of the untextured models, which is dearer.)
void OpenGlDevice::UseTexture(GLuint name)
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
void OpenGlDevice::SetBlending(bool blendState, bool opaque, bool ground)
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
void OpenGlDevice::ApplyDrawStateCached(bool pretransformed, bool vertexColour, bool mesh)
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
            GLfloat fix[16];
            opengl::ClipFixMatrix(m_viewport.width, m_viewport.height, fix);
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
            ApplyMaterial(mat);
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

} // namespace plat::opengl
