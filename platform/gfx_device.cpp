#include "platform/gfx_device.h"

namespace plat {

GfxDevice* CreateOpenGlDevice(void* window, const DeviceSettings& settings, std::string* error);

void GfxDevice::SetTransform(TransformState which, const Matrix4& m)
{
    switch (which) {
    case TransformState::World: m_state.world = m; break;
    case TransformState::View: m_state.view = m; break;
    case TransformState::Projection: m_state.projection = m; break;
    }
    ++m_stateVersion;
}

Matrix4 GfxDevice::GetTransform(TransformState which) const
{
    switch (which) {
    case TransformState::World: return m_state.world;
    case TransformState::View: return m_state.view;
    case TransformState::Projection: return m_state.projection;
    }
    return MatrixIdentity();
}

void GfxDevice::SetRenderState(RenderState state, uint32_t value)
{
    const bool on = value != 0;
    switch (state) {
    case RenderState::DepthTest:
        if (m_state.depthTest == on)
            return;
        m_state.depthTest = on;
        break;
    case RenderState::Lighting:
        if (m_state.lighting == on)
            return;
        m_state.lighting = on;
        break;
    case RenderState::AlphaBlend:
        if (m_state.alphaBlend == on)
            return;
        m_state.alphaBlend = on;
        break;
    case RenderState::CullNone: m_cullNone = on; return;
    }
    ++m_stateVersion;
}

uint32_t GfxDevice::GetRenderState(RenderState state) const
{
    switch (state) {
    case RenderState::DepthTest: return m_state.depthTest;
    case RenderState::Lighting: return m_state.lighting;
    case RenderState::AlphaBlend: return m_state.alphaBlend;
    case RenderState::CullNone: return m_cullNone;
    }
    return 0;
}

void GfxDevice::SetMaterial(const Material& material)
{
    m_state.material = material;
    ++m_stateVersion;
}

void GfxDevice::SetViewport(const Viewport& viewport)
{
    m_viewport = viewport;
    ++m_viewportVersion;
}

void GfxDevice::AdoptStateOf(const GfxDevice& other)
{
    m_state = other.m_state;
    ++m_stateVersion;
    m_texture = other.m_texture;
    m_fvf = other.m_fvf;
    m_cullNone = other.m_cullNone;
    SetViewport(other.m_viewport);
}

GfxDevice* CreateGfxDevice(GfxBackend backend, void* window, const DeviceSettings& settings, std::string* error)
{
    if (backend == GfxBackend::Recording) {
        GfxDevice* device = CreateRecordingDevice();
        if (!device && error)
            *error = "the recording device was refused";
        return device;
    }
    return CreateOpenGlDevice(window, settings, error);
}

} // namespace plat
