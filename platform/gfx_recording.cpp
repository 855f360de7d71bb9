// The recording back end: keeps every draw of the frame in progress with the
// vertices as passed and the state in force; presenting makes it the last frame.
#include <cstring>

#include "platform/gfx_device.h"

namespace plat {

namespace {

RecordedFrame s_current;
RecordedFrame s_last;
int s_presents = 0;
bool s_loseAtNextPresent = false;
int s_creationsToRefuse = 0;

class RecordingDevice final : public GfxDevice {
public:
    RecordingDevice() { s_current.Reset(); }

    GfxBackend Backend() const override { return GfxBackend::Recording; }

    Texture* CreateTexture(const Image& image) override
    {
        if (image.width == 0 || image.height == 0 ||
            image.pixels.size() != static_cast<size_t>(image.width) * image.height)
            return nullptr;
        Texture* t = new Texture;
        t->width = image.width;
        t->height = image.height;
        t->pixels = image.pixels;
        t->serial = ++m_serial;
        return t;
    }

    void ReleaseTexture(Texture* texture) override { delete texture; }

    void DrawTriangleFan(const void* vertices, uint32_t primitiveCount, uint32_t stride) override
    {
        const uint32_t size = VertexSizeOfFormat(m_fvf);
        if (!vertices || primitiveCount == 0 || size == 0 || stride != size)
            return;
        RecordedDraw d;
        d.primitive = RecordedPrimitive::TriangleFan;
        d.primitiveCount = primitiveCount;
        d.vertexCount = primitiveCount + 2;
        d.stride = stride;
        Record(d);
        const size_t bytes = static_cast<size_t>(d.vertexCount) * stride;
        d.vertexOffset = static_cast<uint32_t>(s_current.vertexBytes.size());
        s_current.vertexBytes.insert(s_current.vertexBytes.end(), static_cast<const uint8_t*>(vertices),
                                     static_cast<const uint8_t*>(vertices) + bytes);
        s_current.draws.push_back(d);
    }

    void DrawMeshSubset(const Mesh& mesh, uint32_t subset) override
    {
        RecordedDraw d;
        d.primitive = RecordedPrimitive::MeshSubset;
        d.mesh = &mesh;
        d.subset = subset;
        d.stride = mesh.Stride();
        const MeshSubset* s = mesh.FindSubset(subset);
        d.primitiveCount = s ? s->faceCount : 0;
        d.vertexCount = mesh.vertexCount;
        Record(d);
        s_current.draws.push_back(d);
    }

    void Clear(uint32_t colour, float) override
    {
        ++s_current.clears;
        s_current.clearColour = colour;
    }
    void BeginScene() override { s_current.began = true; }
    void EndScene() override { s_current.ended = true; }
    bool Present() override
    {
        if (s_loseAtNextPresent) {
            // A lost device shows nothing of the frame, as a real one would.
            s_loseAtNextPresent = false;
            s_current.Reset();
            m_recordedVersion = 0;
            return false;
        }
        std::swap(s_last, s_current);
        s_current.Reset();
        m_recordedVersion = 0;
        ++s_presents;
        return true;
    }
    bool ReadPixels(std::vector<uint32_t>& out) override
    {
        out.assign(static_cast<size_t>(m_viewport.width) * m_viewport.height, 0xFF000000u | s_current.clearColour);
        return false; // nothing is rasterised
    }

private:
    void Record(RecordedDraw& d)
    {
        d.fvf = m_fvf;
        d.texture = m_texture;
        d.textureSerial = m_texture ? m_texture->serial : 0;
        if (m_recordedVersion != m_stateVersion || s_current.states.empty()) {
            s_current.states.push_back(m_state);
            m_recordedVersion = m_stateVersion;
        }
        d.stateIndex = static_cast<uint32_t>(s_current.states.size() - 1);
    }

    uint32_t m_serial = 0;
    uint32_t m_recordedVersion = 0;
};

} // namespace

void RecordedFrame::Reset()
{
    draws.clear();
    states.clear();
    vertexBytes.clear();
    // Room for the largest frames of the game from the start (a board frame is about
    // 1,300 draws of 200 kB of vertices), so that what the recorder holds does not
    // creep up with the scenes of a long run.
    draws.reserve(4096);
    states.reserve(1024);
    vertexBytes.reserve(size_t{1} << 20);
    clears = 0;
    clearColour = 0;
    began = ended = false;
}

ScreenVertex RecordedFrame::ScreenVertexOf(const RecordedDraw& draw, uint32_t i) const
{
    ScreenVertex v{};
    if (draw.primitive != RecordedPrimitive::TriangleFan || draw.fvf != kFvfScreen || i >= draw.vertexCount)
        return v;
    std::memcpy(&v, &vertexBytes[draw.vertexOffset + static_cast<size_t>(i) * draw.stride], sizeof v);
    return v;
}

WorldVertex RecordedFrame::WorldVertexOf(const RecordedDraw& draw, uint32_t i) const
{
    WorldVertex v{};
    if (draw.primitive != RecordedPrimitive::TriangleFan || i >= draw.vertexCount)
        return v;
    const uint8_t* p = &vertexBytes[draw.vertexOffset + static_cast<size_t>(i) * draw.stride];
    if (draw.fvf == kFvfWorld)
        std::memcpy(&v, p, sizeof v);
    else if (draw.fvf == kFvfColoured)
        std::memcpy(&v, p, 16);
    return v;
}

std::vector<RecordedSprite> RecordedFrame::Sprites() const
{
    std::vector<RecordedSprite> out;
    for (const RecordedDraw& d : draws) {
        if (d.primitive != RecordedPrimitive::TriangleFan || d.fvf != kFvfScreen || d.vertexCount != 4)
            continue;
        const ScreenVertex a = ScreenVertexOf(d, 0);
        const ScreenVertex c = ScreenVertexOf(d, 2);
        const float w = d.texture ? static_cast<float>(d.texture->width) : 1.0f;
        const float h = d.texture ? static_cast<float>(d.texture->height) : 1.0f;
        out.push_back({a.x + 0.5f, a.y + 0.5f, c.x + 0.5f, c.y + 0.5f, a.u, a.v, c.u, c.v, a.u * w, a.v * h, c.u * w,
                       c.v * h, a.colour, d.texture, a.z});
    }
    return out;
}

std::vector<const RecordedDraw*> RecordedFrame::MeshDraws() const
{
    std::vector<const RecordedDraw*> out;
    for (const RecordedDraw& d : draws)
        if (d.primitive == RecordedPrimitive::MeshSubset)
            out.push_back(&d);
    return out;
}

std::vector<const RecordedDraw*> RecordedFrame::WorldFans() const
{
    std::vector<const RecordedDraw*> out;
    for (const RecordedDraw& d : draws)
        if (d.primitive == RecordedPrimitive::TriangleFan && (d.fvf == kFvfWorld || d.fvf == kFvfColoured))
            out.push_back(&d);
    return out;
}

RecordedFrame& CurrentRecordedFrame()
{
    return s_current;
}
RecordedFrame& LastRecordedFrame()
{
    return s_last;
}
int RecordedPresentCount()
{
    return s_presents;
}

void ResetRecordedFrames()
{
    s_current.Reset();
    s_last.Reset();
    s_presents = 0;
}

void LoseRecordingDeviceAtNextPresent()
{
    s_loseAtNextPresent = true;
}

void RefuseRecordingDevices(int count)
{
    s_creationsToRefuse = count > 0 ? count : 0;
}

GfxDevice* CreateRecordingDevice()
{
    if (s_creationsToRefuse > 0) {
        --s_creationsToRefuse;
        return nullptr;
    }
    return new RecordingDevice;
}

} // namespace plat
