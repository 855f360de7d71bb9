// The game's sound effects and music loops, synthesised from scratch.
#pragma once
#include "synth.h"

namespace soundgen {

constexpr int kEffectCount = 20;
constexpr int kTrackCount = 4;

Buffer MakeEffect(int id);       // 0..19
Buffer MakeMusic(int track);     // 0..3; the buffer loops seamlessly end to start

} // namespace soundgen
