// The game's sound effects and music loops, synthesised from scratch.
#pragma once
#include "engine/sound.h"
#include "synth.h"

namespace soundgen {

Buffer MakeEffect(int id);   // a SoundEffect
Buffer MakeMusic(int track); // a MusicTrack; the buffer loops seamlessly end to start

} // namespace soundgen
