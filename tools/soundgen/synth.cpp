#include "synth.h"
#include "platform/byte_order.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace soundgen {

float Osc::Step(float freq, Rng& rng)
{
    float v = 0;
    switch (wave) {
    case Wave::Sine: v = std::sin(kTwoPi * phase); break;
    case Wave::Square: v = phase < duty ? 1.0f : -1.0f; break;
    case Wave::Triangle: v = phase < 0.5f ? 4 * phase - 1 : 3 - 4 * phase; break;
    case Wave::Saw: v = 2 * phase - 1; break;
    case Wave::Noise: v = rng.Next(); break;
    }
    phase += freq / kRate;
    phase -= std::floor(phase);
    return v;
}

float LowPass::Step(float x, float cutoff)
{
    float a = 1.0f - std::exp(-kTwoPi * std::min(cutoff, kRate * 0.45f) / kRate);
    y += a * (x - y);
    return y;
}

float NoteFreq(int midi)
{
    return 440.0f * std::pow(2.0f, (midi - 69) / 12.0f);
}

int ParseNote(const std::string& name)
{
    if (name == "R")
        return -1;
    static const int base[7] = {9, 11, 0, 2, 4, 5, 7}; // A..G
    if (name.empty() || name[0] < 'A' || name[0] > 'G')
        return -2;
    int n = base[name[0] - 'A'];
    size_t i = 1;
    if (i < name.size() && name[i] == '#') {
        ++n;
        ++i;
    } else if (i < name.size() && name[i] == 'b') {
        --n;
        ++i;
    }
    if (i + 1 != name.size() || !std::isdigit(static_cast<unsigned char>(name[i])))
        return -2;
    return n + 12 * (name[i] - '0' + 1);
}

float Adsr(float t, float len, float attack, float decay, float sustain, float release)
{
    if (t < 0)
        return 0;
    float level;
    if (t < attack)
        level = t / attack;
    else if (t < attack + decay)
        level = 1 - (1 - sustain) * (t - attack) / decay;
    else
        level = sustain;
    if (t > len) {
        float r = 1 - (t - len) / release;
        if (r <= 0)
            return 0;
        // Release from wherever the note was when it ended.
        float atEnd = len < attack           ? len / attack
                      : len < attack + decay ? 1 - (1 - sustain) * (len - attack) / decay
                                             : sustain;
        return atEnd * r;
    }
    return level;
}

void Normalise(Buffer& b, float peak)
{
    float m = 0;
    for (float v : b)
        m = std::max(m, std::fabs(v));
    if (m <= 0)
        return;
    for (float& v : b)
        v *= peak / m;
}

void SoftClip(Buffer& b, float drive)
{
    for (float& v : b)
        v = std::tanh(v * drive) / std::tanh(drive);
}

std::vector<uint8_t> EncodeWave(const Buffer& b)
{
    const uint32_t dataBytes = static_cast<uint32_t>(b.size() * 2);
    std::vector<uint8_t> out;
    out.reserve(44 + dataBytes);
    auto tag = [&](const char* t) {
        for (int i = 0; i < 4; ++i)
            out.push_back(uint8_t(t[i]));
    };
    auto u32 = [&](uint32_t v) { plat::AppendLE32(out, v); };
    auto u16 = [&](uint16_t v) { plat::AppendLE16(out, v); };
    tag("RIFF");
    u32(36 + dataBytes);
    tag("WAVE");
    tag("fmt ");
    u32(16);
    u16(1);         // PCM
    u16(1);         // mono
    u32(kRate);     // samples per second
    u32(kRate * 2); // bytes per second
    u16(2);         // block align
    u16(16);        // bits per sample
    tag("data");
    u32(dataBytes);
    for (float v : b) {
        float c = std::clamp(v, -1.0f, 1.0f);
        int s = static_cast<int>(std::lround(c * 32767.0f));
        u16(static_cast<uint16_t>(static_cast<int16_t>(s)));
    }
    return out;
}

Levels Measure(const Buffer& b)
{
    Levels l;
    if (b.empty())
        return l;
    double sum = 0;
    for (size_t i = 0; i < b.size(); ++i) {
        l.peak = std::max(l.peak, std::fabs(b[i]));
        sum += double(b[i]) * b[i];
        if (i)
            l.maxStep = std::max(l.maxStep, std::fabs(b[i] - b[i - 1]));
    }
    l.rms = static_cast<float>(std::sqrt(sum / b.size()));
    l.seam = std::fabs(b.front() - b.back());
    return l;
}

} // namespace soundgen
