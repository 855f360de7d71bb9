// The 20 sound effects, each shaped for the moment that requests it.
#include <algorithm>
#include <cmath>

#include "sounds.h"

namespace soundgen {

namespace {

// A tone whose pitch glides from f0 to f1 (exponentially), with an ADSR shape.
void Tone(Buffer& b, float start, float len, float f0, float f1, Wave wave, float amp, float attack, float decay,
          float sustain, float release, uint32_t seed = 1, float duty = 0.5f)
{
    Rng rng(seed);
    Osc osc;
    osc.wave = wave;
    osc.duty = duty;
    int s0 = Samples(start), n = Samples(len + release);
    if (int(b.size()) < s0 + n)
        b.resize(s0 + n, 0);
    for (int i = 0; i < n; ++i) {
        float t = float(i) / kRate;
        float k = std::min(t / std::max(len, 1e-4f), 1.0f);
        float f = f0 * std::pow(f1 / f0, k);
        b[s0 + i] += amp * Adsr(t, len, attack, decay, sustain, release) * osc.Step(f, rng);
    }
}

// Filtered noise with an exponential decay; the cut-off glides from c0 to c1.
void NoiseBurst(Buffer& b, float start, float len, float c0, float c1, float amp, float attack, uint32_t seed,
                bool highPass = false)
{
    Rng rng(seed);
    LowPass lp;
    int s0 = Samples(start), n = Samples(len);
    if (int(b.size()) < s0 + n)
        b.resize(s0 + n, 0);
    for (int i = 0; i < n; ++i) {
        float t = float(i) / kRate;
        float k = t / len;
        float cut = c0 * std::pow(c1 / c0, k);
        float x = rng.Next();
        float y = lp.Step(x, cut);
        float env = (t < attack ? t / attack : 1.0f) * std::pow(1 - k, 2.0f);
        b[s0 + i] += amp * env * (highPass ? x - y : y);
    }
}

// A struck bell: inharmonic partials, each dying at its own rate.
void Bell(Buffer& b, float start, float f, float len, float amp)
{
    const float ratio[5] = {1.0f, 2.01f, 2.76f, 5.4f, 8.93f};
    const float gain[5] = {1.0f, 0.6f, 0.45f, 0.25f, 0.12f};
    int s0 = Samples(start), n = Samples(len);
    if (int(b.size()) < s0 + n)
        b.resize(s0 + n, 0);
    for (int p = 0; p < 5; ++p)
        for (int i = 0; i < n; ++i) {
            float t = float(i) / kRate;
            float env = std::exp(-t * (2.5f + p * 2.0f) / len) * std::min(t / 0.002f, 1.0f);
            b[s0 + i] += amp * gain[p] * env * std::sin(kTwoPi * f * ratio[p] * t);
        }
}

void FadeTail(Buffer& b, float seconds)
{
    int n = std::min<int>(Samples(seconds), int(b.size()));
    for (int i = 0; i < n; ++i)
        b[b.size() - 1 - i] *= float(i) / n;
}

Buffer Finish(Buffer b, float peak)
{
    FadeTail(b, 0.01f);
    Normalise(b, peak);
    return b;
}

} // namespace

Buffer MakeEffect(int id)
{
    Buffer b;
    switch (id) {
    case kSoundBlip: // puyo: a soft bouncy blip for every cursor move and confirmation
        Tone(b, 0, 0.05f, 520, 980, Wave::Sine, 1.0f, 0.004f, 0.03f, 0.6f, 0.04f);
        Tone(b, 0, 0.05f, 1040, 1960, Wave::Sine, 0.2f, 0.004f, 0.03f, 0.4f, 0.03f);
        return Finish(b, 0.5f);
    case kSoundBoom: // bom: an explosion, a deep thump under rumbling noise
        NoiseBurst(b, 0, 0.9f, 3000, 200, 1.0f, 0.003f, 11);
        Tone(b, 0, 0.25f, 120, 35, Wave::Sine, 0.9f, 0.002f, 0.2f, 0.3f, 0.3f);
        return Finish(b, 0.9f);
    case kSoundSwing: { // swing: a quick whoosh through the air
        Rng rng(21);
        LowPass lp1, lp2;
        int n = Samples(0.3f);
        b.resize(n);
        for (int i = 0; i < n; ++i) {
            float k = float(i) / n;
            float cut = 400 + 3600 * std::sin(3.14159f * k);
            float x = rng.Next();
            float band = lp1.Step(x, cut) - lp2.Step(x, cut * 0.35f);
            b[i] = band * std::sin(3.14159f * k);
        }
        return Finish(b, 0.75f);
    }
    case kSoundMagic: { // mahou: a rising sparkle of magic
        const int notes[8] = {72, 76, 79, 84, 88, 91, 96, 100};
        for (int k = 0; k < 8; ++k)
            Tone(b, k * 0.06f, 0.06f, NoteFreq(notes[k]), NoteFreq(notes[k]), Wave::Triangle, 0.5f, 0.003f, 0.05f, 0.5f,
                 0.35f);
        for (int k = 0; k < 6; ++k)
            Tone(b, 0.1f + k * 0.09f, 0.02f, NoteFreq(100 + k % 3), NoteFreq(100 + k % 3), Wave::Sine, 0.2f, 0.001f,
                 0.02f, 0.2f, 0.15f);
        return Finish(b, 0.7f);
    }
    case kSoundKnock: // kon: a wooden knock
        Tone(b, 0, 0.02f, 820, 760, Wave::Sine, 1.0f, 0.0005f, 0.02f, 0.3f, 0.07f);
        Tone(b, 0, 0.01f, 1640, 1500, Wave::Sine, 0.3f, 0.0005f, 0.01f, 0.2f, 0.03f);
        NoiseBurst(b, 0, 0.015f, 4000, 2000, 0.35f, 0.0005f, 41);
        return Finish(b, 0.75f);
    case kSoundPause: // pause: a two-note chime
        Bell(b, 0, NoteFreq(88), 0.5f, 0.6f);
        Bell(b, 0.12f, NoteFreq(83), 0.6f, 0.6f);
        return Finish(b, 0.6f);
    case kSoundBell: // bell
        Bell(b, 0, NoteFreq(79), 1.6f, 1.0f);
        Bell(b, 0, NoteFreq(67), 1.6f, 0.5f);
        return Finish(b, 0.75f);
    case kSoundSave: { // save: a bright rising major chime
        const int notes[4] = {72, 76, 79, 84};
        for (int k = 0; k < 4; ++k)
            Bell(b, k * 0.09f, NoteFreq(notes[k]), k == 3 ? 0.9f : 0.4f, 0.5f);
        return Finish(b, 0.65f);
    }
    case kSoundError: // error: a low double buzz
        Tone(b, 0, 0.12f, 120, 110, Wave::Square, 0.6f, 0.003f, 0.02f, 0.8f, 0.02f, 1, 0.4f);
        Tone(b, 0.16f, 0.16f, 110, 100, Wave::Square, 0.6f, 0.003f, 0.02f, 0.8f, 0.03f, 1, 0.4f);
        Tone(b, 0, 0.12f, 123, 113, Wave::Saw, 0.3f, 0.003f, 0.02f, 0.8f, 0.02f);
        Tone(b, 0.16f, 0.16f, 113, 103, Wave::Saw, 0.3f, 0.003f, 0.02f, 0.8f, 0.03f);
        return Finish(b, 0.42f);
    case kSoundRoar: { // houkou: a beast's roar, growling low with a rough edge
        Rng rng(91);
        Osc saw;
        saw.wave = Wave::Saw;
        LowPass lp, nl;
        int n = Samples(1.1f);
        b.resize(n);
        for (int i = 0; i < n; ++i) {
            float t = float(i) / kRate;
            float env = std::min(t / 0.12f, 1.0f) * std::pow(1 - t / 1.1f, 1.5f);
            float f = 95 - 35 * t + 8 * std::sin(kTwoPi * 7 * t) + 6 * rng.Next();
            float v = saw.Step(f, rng) + 0.8f * nl.Step(rng.Next(), 900);
            b[i] = env * lp.Step(v, 700 + 900 * env);
        }
        return Finish(b, 0.85f);
    }
    case kSoundScream: { // himei: a scream, high and wavering then falling away
        Rng rng(101);
        Osc a, c;
        a.wave = Wave::Saw;
        c.wave = Wave::Sine;
        LowPass lp;
        int n = Samples(0.9f);
        b.resize(n);
        for (int i = 0; i < n; ++i) {
            float t = float(i) / kRate;
            float k = t / 0.9f;
            float f = (k < 0.3f ? 700 + 1800 * k : 1240 - 600 * (k - 0.3f)) * (1 + 0.04f * std::sin(kTwoPi * 9 * t));
            float env = std::min(t / 0.03f, 1.0f) * (1 - k);
            b[i] = env * (0.5f * lp.Step(a.Step(f, rng), 2500) + 0.5f * c.Step(f, rng));
        }
        return Finish(b, 0.7f);
    }
    case kSoundGun: // gun: a sharp crack with a short thump
        NoiseBurst(b, 0, 0.25f, 8000, 600, 1.0f, 0.0005f, 111);
        Tone(b, 0, 0.05f, 200, 60, Wave::Sine, 0.8f, 0.001f, 0.05f, 0.2f, 0.1f);
        return Finish(b, 0.85f);
    case kSoundFanfare: { // end: a short brass fanfare for the race's end
        struct N {
            float at, len;
            int note;
        };
        const N notes[] = {{0.0f, 0.14f, 67}, {0.16f, 0.14f, 67}, {0.32f, 0.14f, 67}, {0.48f, 0.45f, 72},
                           {0.96f, 0.3f, 70}, {1.28f, 0.3f, 74},  {1.6f, 1.1f, 72}};
        for (const N& x : notes) {
            float f = NoteFreq(x.note);
            Tone(b, x.at, x.len, f, f, Wave::Saw, 0.35f, 0.02f, 0.1f, 0.7f, 0.12f);
            Tone(b, x.at, x.len, f * 0.5f, f * 0.5f, Wave::Square, 0.2f, 0.02f, 0.1f, 0.7f, 0.12f, 1, 0.3f);
        }
        for (int note : {60, 64, 67})
            Tone(b, 1.6f, 1.1f, NoteFreq(note), NoteFreq(note), Wave::Triangle, 0.25f, 0.05f, 0.2f, 0.7f, 0.4f);
        Tone(b, 1.6f, 0.8f, 65, 60, Wave::Sine, 0.4f, 0.005f, 0.3f, 0.3f, 0.4f);
        LowPass lp;
        for (float& v : b)
            v = lp.Step(v, 3500);
        return Finish(b, 0.8f);
    }
    case kSoundClick: // kachi: a reel stopping with a hard click
        NoiseBurst(b, 0, 0.02f, 9000, 3000, 0.7f, 0.0002f, 131);
        Tone(b, 0, 0.01f, 2200, 1800, Wave::Square, 0.5f, 0.0002f, 0.01f, 0.3f, 0.03f);
        return Finish(b, 0.7f);
    case kSoundPunch: // hit: a punchy blow
        NoiseBurst(b, 0, 0.15f, 2500, 300, 0.8f, 0.001f, 141);
        Tone(b, 0, 0.08f, 180, 60, Wave::Sine, 1.0f, 0.001f, 0.08f, 0.3f, 0.12f);
        return Finish(b, 0.85f);
    case kSoundPlop: // pochan: a small body dropping into water, a plop and bubbles
        Tone(b, 0, 0.09f, 250, 1100, Wave::Sine, 1.0f, 0.002f, 0.05f, 0.5f, 0.08f);
        NoiseBurst(b, 0.02f, 0.25f, 1800, 500, 0.3f, 0.005f, 151);
        for (int k = 0; k < 4; ++k)
            Tone(b, 0.15f + k * 0.06f, 0.03f, 600 + 130 * k, 1100 + 200 * k, Wave::Sine, 0.3f, 0.002f, 0.02f, 0.4f,
                 0.03f);
        return Finish(b, 0.7f);
    case kSoundSplash: // basha: a splash from a jump, spray and droplets
        NoiseBurst(b, 0, 0.6f, 6000, 900, 1.0f, 0.01f, 161);
        NoiseBurst(b, 0, 0.2f, 500, 200, 0.6f, 0.002f, 162);
        {
            Rng rng(163);
            for (int k = 0; k < 8; ++k) {
                float f = 900 + 700 * (rng.Next() + 1);
                Tone(b, 0.12f + k * 0.05f, 0.02f, f, f * 1.5f, Wave::Sine, 0.15f, 0.002f, 0.02f, 0.3f, 0.03f);
            }
        }
        return Finish(b, 0.8f);
    case kSoundRisingWhoosh: { // turn: a rising whoosh
        Rng rng(171);
        LowPass lp1, lp2;
        int n = Samples(0.45f);
        b.resize(n);
        for (int i = 0; i < n; ++i) {
            float k = float(i) / n;
            float cut = 300 * std::pow(20.0f, k);
            float x = rng.Next();
            b[i] = (lp1.Step(x, cut) - lp2.Step(x, cut * 0.3f)) * std::sin(3.14159f * k);
        }
        Tone(b, 0, 0.4f, 300, 900, Wave::Sine, 0.12f, 0.05f, 0.1f, 0.8f, 0.05f);
        return Finish(b, 0.7f);
    }
    case kSoundPowerUp: { // power: a climbing arpeggio
        const int notes[6] = {60, 64, 67, 72, 76, 79};
        for (int k = 0; k < 6; ++k)
            Tone(b, k * 0.07f, 0.06f, NoteFreq(notes[k]), NoteFreq(notes[k] + 1), Wave::Square, 0.35f, 0.003f, 0.03f,
                 0.6f, 0.05f, 1, 0.25f);
        Tone(b, 0.42f, 0.2f, NoteFreq(84), NoteFreq(84), Wave::Square, 0.35f, 0.003f, 0.05f, 0.6f, 0.15f, 1, 0.25f);
        return Finish(b, 0.45f);
    }
    case kSoundBlownAway: { // futobu: something blown away, a gust with a falling whistle
        Rng rng(191);
        LowPass lp1, lp2;
        int n = Samples(0.9f);
        b.resize(n);
        for (int i = 0; i < n; ++i) {
            float k = float(i) / n;
            float cut = 3000 * std::pow(0.15f, k);
            float x = rng.Next();
            b[i] =
                0.8f * (lp1.Step(x, cut) - lp2.Step(x, cut * 0.3f)) * std::pow(1 - k, 1.5f) * std::min(k / 0.03f, 1.0f);
        }
        Tone(b, 0, 0.75f, 1800, 260, Wave::Sine, 0.35f, 0.01f, 0.3f, 0.6f, 0.1f);
        NoiseBurst(b, 0, 0.12f, 3000, 500, 0.6f, 0.001f, 192);
        return Finish(b, 0.8f);
    }
    default: return b;
    }
}

} // namespace soundgen
