#include "platform/backends.h"

namespace plat {

static GfxBackend s_gfx = GfxBackend::OpenGL;
static AudioBackend s_audio = AudioBackend::Device;

void SelectGfxBackend(GfxBackend backend)
{
    s_gfx = backend;
}
GfxBackend SelectedGfxBackend()
{
    return s_gfx;
}
void SelectAudioBackend(AudioBackend backend)
{
    s_audio = backend;
}
AudioBackend SelectedAudioBackend()
{
    return s_audio;
}

} // namespace plat
