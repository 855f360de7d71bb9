// Which back end the graphics and sound stand-ins use: the real window and audio
// device, or the recording device and silence for headless runs.
#pragma once

namespace plat {

enum class GfxBackend { OpenGL, Recording };
enum class AudioBackend { Device, Silent };

void SelectGfxBackend(GfxBackend backend);
GfxBackend SelectedGfxBackend();
void SelectAudioBackend(AudioBackend backend);
AudioBackend SelectedAudioBackend();

} // namespace plat
