// The graphics device the game draws through: transforms, a handful of render
// states, textures, vertex formats, triangle fans from memory and mesh subsets.
// Two back ends: OpenGL 2.1 fixed function in the SDL window, and a recorder that
// keeps every draw of a frame for headless runs and tests.
//
// Conventions are the game's: row-vector matrices (p' = p * M), left-handed,
// clip z from 0 to w; pre-transformed vertices put pixel centres on whole numbers
// (the game subtracts 0.5 to hit texels exactly). Colours are 0xAARRGGBB.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/backends.h"
#include "platform/image_codec.h"
#include "platform/math3d.h"
#include "platform/mesh.h"

namespace plat {

struct RecordedFrame;

struct Texture {
    uint32_t width = 0; // texels, powers of two
    uint32_t height = 0;
    uint32_t glName = 0;          // OpenGL texture object, 0 in the recorder
    std::vector<uint32_t> pixels; // kept by the recorder only (0xAARRGGBB, top-down)
    uint32_t serial = 0;          // creation number within the device, from 1
    bool opaque = false;          // no texel below full alpha (set by the OpenGL device)
};

enum class TransformState { World = 0, View = 1, Projection = 2 };

enum class RenderState {
    DepthTest,  // 1: depth test LEQUAL with depth writes; 0: neither
    CullNone,   // 1: both faces drawn (the only mode the game uses)
    Lighting,   // 1: lit by the material (no lights, ambient 0: emissive colour)
    AlphaBlend, // 1: source alpha, inverse source alpha
};

struct DeviceSettings {
    bool windowed = true;
    bool colour32 = true;
    bool vsync = true;
    bool depth24 = true;
    int refreshRate = 60; // full screen only; 0 = the display's own
};

// The render and transform state in force for a draw.
struct DrawState {
    Matrix4 world = MatrixIdentity();
    Matrix4 view = MatrixIdentity();
    Matrix4 projection = MatrixIdentity();
    bool depthTest = true;
    bool lighting = false;
    bool alphaBlend = true;
    Material material{};
};

constexpr uint32_t kScreenWidth = 640;
constexpr uint32_t kScreenHeight = 480;

class GfxDevice {
public:
    virtual ~GfxDevice() = default;
    virtual GfxBackend Backend() const = 0;

    void SetTransform(TransformState which, const Matrix4& m);
    Matrix4 GetTransform(TransformState which) const;
    void SetRenderState(RenderState state, uint32_t value);
    uint32_t GetRenderState(RenderState state) const;
    void SetMaterial(const Material& material);
    void SetTexture(Texture* texture) { m_texture = texture; }
    Texture* GetTexture() const { return m_texture; }
    void SetVertexFormat(uint32_t fvf) { m_fvf = fvf; }
    uint32_t GetVertexFormat() const { return m_fvf; }
    void SetViewport(const Viewport& viewport);
    const Viewport& GetViewport() const { return m_viewport; }
    // Takes over another device's transforms, render states, material, texture, vertex
    // format and viewport: a recorder that stands in for one frame of another device.
    void AdoptStateOf(const GfxDevice& other);

    // Textures from a decoded image (its padded power-of-two size); NULL on failure.
    virtual Texture* CreateTexture(const Image& image) = 0;
    virtual void ReleaseTexture(Texture* texture) = 0;

    // primitiveCount triangles of a fan: primitiveCount + 2 vertices of the current
    // vertex format, stride bytes apart. Ignored when the stride does not match.
    virtual void DrawTriangleFan(const void* vertices, uint32_t primitiveCount, uint32_t stride) = 0;
    // The faces of the mesh's subset; the mesh's own vertex layout is used.
    virtual void DrawMeshSubset(const Mesh& mesh, uint32_t subset) = 0;

    virtual void Clear(uint32_t colour, float z) = 0; // target and depth
    virtual void BeginScene() = 0;
    virtual void EndScene() = 0;
    virtual bool Present() = 0; // false only for a lost device (the recorder reports one on request)

    // The viewport's pixels as drawn so far (0xFFRRGGBB, top-down); for screenshots and tests.
    virtual bool ReadPixels(std::vector<uint32_t>& out) = 0;

protected:
    DrawState m_state;
    uint32_t m_stateVersion = 1; // bumped by every change of DrawState
    Texture* m_texture = nullptr;
    uint32_t m_fvf = 0;
    Viewport m_viewport{0, 0, kScreenWidth, kScreenHeight, 0.0f, 1.0f};
    uint32_t m_viewportVersion = 1; // bumped by SetViewport
    bool m_cullNone = true;
};

// NULL with a reason when the device cannot be created. window is the SDL_Window*
// (created with SDL_WINDOW_OPENGL) for OpenGL; the recorder takes none.
GfxDevice* CreateGfxDevice(GfxBackend backend, void* window, const DeviceSettings& settings,
                           std::string* error = nullptr);
GfxDevice* CreateRecordingDevice();

// The recorder stands in for a device that fails, so the game's answers can be tested:
// the next Present reports a lost device (once), and the next count creations fail.
void LoseRecordingDeviceAtNextPresent();
void RefuseRecordingDevices(int count);

// The OpenGL device gathers fans that share their state into one draw (on by default):
// consecutive ones, and opaque world fans by texture where no two that change places
// could meet at one pixel at equal depth; it sends no fan that lies wholly outside the
// view, and sets state only where it changes. Off, every fan is drawn on its own with
// its whole state set again.
void UseGlDrawBatching(bool on);

// What the OpenGL device asked of OpenGL in the last frame it presented (from the
// scene's beginning): for the benchmarks' figures.
struct GlCallCounts {
    uint32_t draws = 0;        // glBegin/glEnd pairs, glDrawArrays, glDrawElements
    uint32_t triangles = 0;    // handed to those draws
    uint32_t capabilities = 0; // glEnable/glDisable of capabilities and client arrays
    uint32_t textureBinds = 0;
    // Of those: texture binds and switches of texturing, blending and the depth test,
    // each of which costs llvmpipe far more than a draw.
    uint32_t fragmentStateChanges = 0;
    uint32_t matrices = 0;  // matrix mode, loads and products
    uint32_t materials = 0; // glMaterial and glColorMaterial
    uint32_t pointers = 0;  // client-array pointers
    uint32_t StateCalls() const { return capabilities + textureBinds + matrices + materials + pointers; }
};
GlCallCounts LastGlFrameCallCounts();

// ---- Triangles drawn as given ----
// Indexed triangles whose corners are already in OpenGL's clip space, kept in static
// buffers on an OpenGL device and drawn in runs, each with its own depth test, blending
// and texturing (one texture for all): no transforms, no lighting, no batching. The
// device's own state (what it holds bound and enabled) is as it was afterwards.
struct ClipVertex {
    float position[4]; // clip x, y, z (-w..w), w
    uint8_t colour[4]; // R, G, B, A
    float uv[2];
};
struct ClipRun {
    uint32_t firstIndex = 0;
    uint32_t indexCount = 0;
    bool depthTest = true;
    bool blend = false;
    bool textured = false;
};
struct ClipGeometry;
// Null when the device is not OpenGL or the driver has no vertex buffers.
ClipGeometry* CreateClipGeometry(GfxDevice* device, const std::vector<ClipVertex>& vertices,
                                 const std::vector<uint32_t>& indices);
// Draws the runs on the device the geometry was made on (the target as it is).
void DrawClipGeometry(const ClipGeometry* geometry, const Texture* texture, const std::vector<ClipRun>& runs);
void ReleaseClipGeometry(ClipGeometry* geometry); // before the device goes

// Sets the window attributes (depth bits, double buffering, OpenGL 2.1) that the
// window's creation takes on some video drivers; call before SDL_CreateWindow.
void PrepareGlWindowAttributes(bool depth24);

// ---- The recorder's frames ----

enum class RecordedPrimitive { TriangleFan, MeshSubset };

struct RecordedDraw {
    RecordedPrimitive primitive = RecordedPrimitive::TriangleFan;
    uint32_t fvf = 0; // vertex format set at the draw
    uint32_t stride = 0;
    uint32_t primitiveCount = 0;
    uint32_t vertexCount = 0;
    uint32_t vertexOffset = 0; // into RecordedFrame::vertexBytes
    const Texture* texture = nullptr;
    uint32_t textureSerial = 0;
    const Mesh* mesh = nullptr;
    uint32_t subset = 0;
    uint32_t stateIndex = 0; // into RecordedFrame::states
};

// A screen-space vertex as the game passed it (format 0x144).
struct ScreenVertex {
    float x, y, z, rhw;
    uint32_t colour;
    float u, v;
};

// A world vertex of format 0x142 (0x42 has no u, v: they read 0).
struct WorldVertex {
    float x, y, z;
    uint32_t colour;
    float u, v;
};

// A sprite as seen on screen: the pixel rectangle (the half-pixel offset taken
// back), the texture-coordinate rectangle and the same in texels of the texture
// (equal to the coordinates when untextured), the colour of the first corner and the texture.
struct RecordedSprite {
    float left, top, right, bottom;
    float u0, v0, u1, v1;
    float srcLeft, srcTop, srcRight, srcBottom;
    uint32_t colour;
    const Texture* texture;
    float z;
};

struct RecordedFrame {
    std::vector<RecordedDraw> draws;
    std::vector<DrawState> states;
    std::vector<uint8_t> vertexBytes;
    int clears = 0;
    uint32_t clearColour = 0;
    bool began = false;
    bool ended = false;

    const DrawState& StateOf(const RecordedDraw& draw) const { return states[draw.stateIndex]; }
    ScreenVertex ScreenVertexOf(const RecordedDraw& draw, uint32_t i) const;
    WorldVertex WorldVertexOf(const RecordedDraw& draw, uint32_t i) const;
    // Every four-vertex fan of format 0x144, in drawing order.
    std::vector<RecordedSprite> Sprites() const;
    // Every mesh-subset draw, in drawing order.
    std::vector<const RecordedDraw*> MeshDraws() const;
    // Every fan of untransformed vertices (0x142 or 0x42), in drawing order.
    std::vector<const RecordedDraw*> WorldFans() const;
    void Reset();
};

RecordedFrame& CurrentRecordedFrame(); // the frame being drawn
RecordedFrame& LastRecordedFrame();    // the last frame presented
int RecordedPresentCount();
void ResetRecordedFrames();

} // namespace plat
