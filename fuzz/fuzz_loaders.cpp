// The start-up loaders over a whole archive image: sounds, textures and models on the
// silent and recording back ends, as the game does at start-up and at every device
// rebuild. Slow per input (every block is decoded), so it lives apart from the archive
// target, which checks the block lookup alone.
#include <cstddef>
#include <cstdint>

#include "engine/archive.h"
#include "engine/graphics.h"
#include "engine/sound.h"
#include "platform/backends.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    plat::SelectGfxBackend(plat::GfxBackend::Recording);
    plat::SelectAudioBackend(plat::AudioBackend::Silent);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!LoadDataFromMemory(data, size))
        return 0;
    if (InitSound(nullptr)) {
        ReleaseSound();
        if (InitGraphics(nullptr)) {
            // The rebuild after a lost device or a display change reloads from memory.
            ReleaseGraphics();
            InitGraphics(nullptr);
        }
        ReleaseGraphics();
    }
    ReleaseSound();
    FreeDataFile();
    return 0;
}
