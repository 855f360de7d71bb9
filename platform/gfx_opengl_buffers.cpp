// The OpenGL device's vertex buffers: each mesh's vertices, colours and faces handed to
// OpenGL once, and the buffers bound, known so that they are bound only where they change.
#include <algorithm>
#include <cstring>

#include "platform/gfx_opengl_device.h"

namespace plat::opengl {
namespace {

// Meshes kept in buffers at most (the game has 28).
constexpr size_t kMaxMeshBuffers = 256;

} // namespace

bool BufferCalls::Load()
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

BufferCalls& Buffers()
{
    static BufferCalls calls;
    return calls;
}

// The array pointers into a mesh's buffers, and the element buffer bound.
void OpenGlDevice::PointMeshArrays(const MeshBuffers& buffers, const VertexLayout& layout)
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

// Null when the driver has no vertex buffers.
const OpenGlDevice::MeshBuffers* OpenGlDevice::BuffersOf(const Mesh& mesh, const VertexLayout& layout)
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
                &c, &mesh.vertices[static_cast<size_t>(i) * layout.stride + static_cast<size_t>(layout.diffuse)], 4);
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

void OpenGlDevice::ReleaseMeshBuffers()
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

void OpenGlDevice::BindArrayBuffer(GLuint name)
{
    if ((m_buffersKnown && m_arrayBuffer == name) || !Buffers().Load())
        return;
    if (!m_buffersKnown)
        BindBuffersUnknown();
    Buffers().bindBuffer(GL_ARRAY_BUFFER, name);
    ++m_counts.pointers;
    m_arrayBuffer = name;
}

void OpenGlDevice::BindElementBuffer(GLuint name)
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
void OpenGlDevice::BindBuffersUnknown()
{
    Buffers().bindBuffer(GL_ARRAY_BUFFER, 0);
    Buffers().bindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    m_arrayBuffer = m_elementBuffer = 0;
    m_buffersKnown = true;
}

void OpenGlDevice::RestoreBufferBindings(GLuint arrayBuffer, GLuint elementBuffer, bool known)
{
    if (known) {
        BindArrayBuffer(arrayBuffer);
        BindElementBuffer(elementBuffer);
    } else {
        m_buffersKnown = false;
    }
}

} // namespace plat::opengl
