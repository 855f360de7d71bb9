// Oscillators, envelopes, a noise source and a WAVE writer for the game's sounds.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace soundgen {

constexpr int kRate = 22050;
constexpr float kTwoPi = 6.28318530718f;

// Deterministic noise (xorshift), so the same build writes the same bytes.
struct Rng {
    uint32_t s = 0x9E3779B9u;
    explicit Rng(uint32_t seed) : s(seed ? seed : 1) {}
    float Next() // -1 .. 1
    {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return (s >> 8) * (2.0f / 16777216.0f) - 1.0f;
    }
};

enum class Wave { Sine, Square, Triangle, Saw, Noise };

// One oscillator: phase advanced sample by sample so that pitch glides stay smooth.
struct Osc {
    Wave wave = Wave::Sine;
    float phase = 0;
    float duty = 0.5f;
    float Step(float freq, Rng& rng);
};

// One-pole low-pass, coefficient from a cut-off in Hz.
struct LowPass {
    float y = 0;
    float Step(float x, float cutoff);
};

// Mono buffer of float samples at kRate.
using Buffer = std::vector<float>;

inline int Samples(float seconds)
{
    return static_cast<int>(seconds * kRate + 0.5f);
}
float NoteFreq(int midi);
// "C5", "F#4", "Bb3" -> MIDI number; "R" (rest) -> -1; -2 when it cannot be read.
int ParseNote(const std::string& name);

// Attack-decay-sustain-release amplitude for time t of a note lasting len seconds.
float Adsr(float t, float len, float attack, float decay, float sustain, float release);

// Scales the buffer so its peak is the given level (0 keeps silence silent).
void Normalise(Buffer& b, float peak);
// Gentle saturation that keeps loud mixes from clipping.
void SoftClip(Buffer& b, float drive);

// RIFF WAVE, PCM 16-bit mono at kRate.
std::vector<uint8_t> EncodeWave(const Buffer& b);

struct Levels {
    float peak = 0, rms = 0, seam = 0, maxStep = 0;
};
// Peak and RMS of the samples; seam is the jump from the last sample to the first and
// maxStep the largest jump between neighbours inside, for judging a loop point.
Levels Measure(const Buffer& b);

} // namespace soundgen
