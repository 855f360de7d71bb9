// The four music loops: melody, bass, chords and drums over a 16-bar form. Every
// voice is written into a circular buffer, so a note or echo still sounding at the
// end of the loop continues at its start and the loop point cannot be heard.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "sounds.h"

namespace soundgen {

namespace {

constexpr int kBars = 16;
constexpr int kEighthsPerBar = 8;

enum class Groove { Title, Field, Battle, Battle2 };

struct Song {
    int samplesPerBeat;
    Groove groove;
    const char* chords[kBars]; // one chord, or two (one per half bar) separated by a space
    const char* melody[kBars]; // "note eighths, note eighths, ..."; each bar adds up to 8
};

const Song kSongs[kMusicTrackCount] = {
    // kMusicTitle: stately and bright, C major.
    {11025,
     Groove::Title,
     {"C", "Am", "F", "G", "C", "Am", "Dm G", "C", "F", "G", "Em", "Am", "F", "G", "F G", "G"},
     {"E5 4, G5 2, C6 2", "A5 4, G5 2, E5 2", "F5 3, E5 1, D5 2, C5 2", "D5 6, G4 2", "E5 4, G5 2, C6 2",
      "B5 2, A5 2, E5 4", "F5 2, A5 2, G5 2, F5 2", "E5 8", "A5 4, C6 2, A5 2", "G5 4, D5 2, G5 2",
      "E5 2, G5 2, B5 2, G5 2", "A5 6, E5 2", "F5 2, A5 2, C6 2, A5 2", "B5 4, D6 2, B5 2", "A5 2, F5 2, G5 2, B5 2",
      "D6 4, R 4"}},
    // kMusicBoard: a cheerful walk, G major.
    {10000,
     Groove::Field,
     {"G", "G", "C", "D", "G", "Em", "C", "D", "C", "D", "Bm", "Em", "C", "D", "G", "D"},
     {"B4 1, D5 1, G5 2, F#5 1, G5 1, A5 2", "B5 2, A5 1, G5 1, D5 4", "E5 1, G5 1, C6 2, B5 1, A5 1, G5 2",
      "F#5 2, A5 2, D5 4", "B4 1, D5 1, G5 2, F#5 1, G5 1, A5 2", "B5 2, C6 1, B5 1, G5 4",
      "A5 1, G5 1, E5 2, C6 2, A5 2", "D6 6, R 2", "E6 2, D6 1, C6 1, G5 2, E5 2", "F#5 2, A5 1, F#5 1, D5 4",
      "D5 1, F#5 1, B5 2, A5 1, B5 1, D6 2", "B5 4, G5 2, E5 2", "C6 2, B5 1, A5 1, G5 2, E5 2",
      "F#5 2, G5 1, A5 1, D6 4", "B5 2, A5 1, G5 1, D5 2, B4 2", "A4 2, B4 1, C5 1, D5 2, F#5 2"}},
    // kMusicBattle: driving, A minor.
    {9000,
     Groove::Battle,
     {"Am", "Am", "F", "G", "Am", "Am", "F", "E", "Dm", "Dm", "Am", "Am", "F", "G", "E", "E"},
     {"A5 2, C6 2, E6 2, C6 2", "D6 1, C6 1, B5 1, A5 1, E5 4", "F5 2, A5 2, C6 2, A5 2", "G5 1, A5 1, B5 2, D6 4",
      "A5 2, C6 2, E6 2, A6 2", "G6 1, E6 1, D6 1, C6 1, B5 2, A5 2", "C6 2, A5 2, F5 2, A5 2", "G#5 4, B5 2, E5 2",
      "F5 2, A5 2, D6 3, C6 1", "D6 2, E6 2, F6 4", "E6 2, C6 2, A5 3, B5 1", "C6 2, B5 2, A5 4",
      "A5 2, C6 2, F6 2, E6 2", "D6 2, B5 2, G5 2, B5 2", "G#5 2, B5 2, E6 2, D6 2", "B5 4, G#5 2, E5 2"}},
    // kMusicSecondBattle: faster and fiercer, E minor.
    {8400,
     Groove::Battle2,
     {"Em", "C", "D", "Em", "Em", "C", "D", "B", "C", "D", "Em", "Em", "C", "D", "B", "B"},
     {"E5 1, E5 1, G5 1, E5 1, B5 2, A5 2", "G5 1, E5 1, C6 2, B5 2, G5 2", "F#5 1, F#5 1, A5 1, F#5 1, D6 2, C6 2",
      "B5 4, E5 4", "E5 1, E5 1, G5 1, E5 1, B5 2, E6 2", "D6 1, C6 1, B5 1, G5 1, C6 2, E6 2",
      "D6 2, F#6 2, E6 1, D6 1, C6 1, A5 1", "B5 4, D#6 4", "E6 2, G6 2, E6 2, C6 2", "D6 2, F#6 2, D6 2, A5 2",
      "B5 2, E6 2, G6 2, E6 2", "F#6 1, E6 1, D#6 1, E6 1, B5 4", "C6 2, E6 2, G6 2, E6 2", "D6 2, A5 2, F#5 2, A5 2",
      "D#6 2, F#6 2, B6 2, A6 2", "F#6 4, D#6 2, B5 2"}},
};

struct Chord {
    int root; // pitch class 0..11
    bool minor;
};

Chord ParseChord(const std::string& s)
{
    Chord c{0, false};
    std::string rootName = s.substr(0, 1);
    size_t i = 1;
    if (i < s.size() && (s[i] == '#' || s[i] == 'b'))
        rootName += s[i++];
    int midi = ParseNote(rootName + "4");
    if (midi < 0) {
        std::fprintf(stderr, "soundgen: bad chord %s\n", s.c_str());
        std::exit(1);
    }
    c.root = midi % 12;
    c.minor = i < s.size() && s[i] == 'm';
    return c;
}

struct Instrument {
    Wave wave;
    float duty, amp, attack, decay, sustain, release, cutoff, vibrato;
};

class Loop {
public:
    explicit Loop(int length) : buf_(length, 0.0f) {}
    int Length() const { return int(buf_.size()); }
    void Add(long long index, float v)
    {
        long long n = buf_.size();
        buf_[size_t(((index % n) + n) % n)] += v;
    }
    Buffer& Data() { return buf_; }

    void Note(long long start, int lengthSamples, int midi, const Instrument& in, uint32_t seed = 1)
    {
        Rng rng(seed);
        Osc osc;
        osc.wave = in.wave;
        osc.duty = in.duty;
        LowPass lp;
        float len = float(lengthSamples) / kRate;
        int total = lengthSamples + Samples(in.release);
        float f = NoteFreq(midi);
        for (int i = 0; i < total; ++i) {
            float t = float(i) / kRate;
            float vib = in.vibrato > 0 && t > 0.15f ? 1 + in.vibrato * std::sin(kTwoPi * 5.5f * t) : 1.0f;
            float v = osc.Step(f * vib, rng);
            if (in.cutoff > 0)
                v = lp.Step(v, in.cutoff);
            Add(start + i, in.amp * Adsr(t, len, in.attack, in.decay, in.sustain, in.release) * v);
        }
    }

    void Kick(long long start, float amp)
    {
        Osc osc;
        Rng rng(3);
        int n = Samples(0.22f);
        for (int i = 0; i < n; ++i) {
            float t = float(i) / kRate;
            float f = 45 + 110 * std::exp(-t * 30);
            Add(start + i, amp * std::exp(-t * 14) * osc.Step(f, rng));
        }
    }

    void Snare(long long start, float amp, uint32_t seed)
    {
        Rng rng(seed);
        Osc tone;
        LowPass lp;
        int n = Samples(0.18f);
        for (int i = 0; i < n; ++i) {
            float t = float(i) / kRate;
            float noise = rng.Next();
            float bright = noise - lp.Step(noise, 1200);
            Add(start + i, amp * (0.8f * bright * std::exp(-t * 22) + 0.5f * tone.Step(190, rng) * std::exp(-t * 30)));
        }
    }

    void Hat(long long start, float amp, float length, uint32_t seed)
    {
        Rng rng(seed);
        LowPass lp;
        int n = Samples(length);
        for (int i = 0; i < n; ++i) {
            float t = float(i) / kRate;
            float x = rng.Next();
            Add(start + i, amp * (x - lp.Step(x, 6000)) * std::exp(-t * 6 / length));
        }
    }

private:
    Buffer buf_;
};

std::vector<std::pair<int, int>> ParseBar(const std::string& text, int track, int bar)
{
    std::vector<std::pair<int, int>> notes; // (midi or -1, eighths)
    std::stringstream ss(text);
    std::string item;
    int total = 0;
    while (std::getline(ss, item, ',')) {
        std::stringstream is(item);
        std::string name;
        int eighths = 0;
        is >> name >> eighths;
        int midi = ParseNote(name);
        if (midi == -2 || eighths <= 0) {
            std::fprintf(stderr, "soundgen: track %d bar %d: bad note '%s'\n", track, bar, item.c_str());
            std::exit(1);
        }
        notes.push_back({midi, eighths});
        total += eighths;
    }
    if (total != kEighthsPerBar) {
        std::fprintf(stderr, "soundgen: track %d bar %d holds %d eighths\n", track, bar, total);
        std::exit(1);
    }
    return notes;
}

} // namespace

Buffer MakeMusic(int track)
{
    const Song& song = kSongs[track];
    const int eighth = song.samplesPerBeat / 2;
    const int barLen = eighth * kEighthsPerBar;
    Loop lead(barLen * kBars), rest(barLen * kBars);

    Instrument leadIn{Wave::Square, 0.25f, 0.28f, 0.01f, 0.1f, 0.7f, 0.08f, 4000, 0.006f};
    Instrument bassIn{Wave::Triangle, 0.5f, 0.5f, 0.005f, 0.1f, 0.8f, 0.04f, 0, 0};
    Instrument chordIn{Wave::Saw, 0.5f, 0.06f, 0.2f, 0.3f, 0.8f, 0.3f, 1500, 0};
    switch (song.groove) {
    case Groove::Title: leadIn = {Wave::Triangle, 0.5f, 0.4f, 0.02f, 0.2f, 0.75f, 0.15f, 0, 0.008f}; break;
    case Groove::Field: chordIn = {Wave::Square, 0.3f, 0.07f, 0.005f, 0.05f, 0.5f, 0.05f, 2500, 0}; break;
    case Groove::Battle:
        leadIn = {Wave::Saw, 0.5f, 0.22f, 0.01f, 0.1f, 0.75f, 0.08f, 3000, 0.005f};
        bassIn = {Wave::Saw, 0.5f, 0.35f, 0.003f, 0.08f, 0.6f, 0.03f, 700, 0};
        chordIn = {Wave::Square, 0.5f, 0.07f, 0.003f, 0.1f, 0.5f, 0.06f, 1800, 0};
        break;
    case Groove::Battle2:
        leadIn = {Wave::Square, 0.35f, 0.25f, 0.005f, 0.08f, 0.75f, 0.07f, 3500, 0.005f};
        bassIn = {Wave::Saw, 0.5f, 0.35f, 0.003f, 0.06f, 0.6f, 0.03f, 800, 0};
        chordIn = {Wave::Square, 0.25f, 0.06f, 0.002f, 0.05f, 0.3f, 0.04f, 3000, 0};
        break;
    }

    uint32_t seed = 1000u * (track + 1);
    for (int bar = 0; bar < kBars; ++bar) {
        long long barStart = (long long)bar * barLen;
        // Melody.
        long long at = barStart;
        for (auto [midi, eighths] : ParseBar(song.melody[bar], track, bar)) {
            if (midi >= 0)
                lead.Note(at, eighths * eighth - eighth / 8, midi, leadIn);
            at += (long long)eighths * eighth;
        }
        // Chords: one per bar or one per half bar.
        std::stringstream cs(song.chords[bar]);
        std::vector<Chord> chords;
        std::string name;
        while (cs >> name)
            chords.push_back(ParseChord(name));
        for (int e = 0; e < kEighthsPerBar; ++e) {
            const Chord& ch = chords[std::min<size_t>(e * chords.size() / kEighthsPerBar, chords.size() - 1)];
            const int bass = 36 + ch.root;
            const int third = ch.minor ? 3 : 4;
            const int triad[3] = {48 + ch.root, 48 + ch.root + third, 48 + ch.root + 7};
            long long t = barStart + (long long)e * eighth;
            bool halfStart = e % (kEighthsPerBar / int(chords.size())) == 0;
            switch (song.groove) {
            case Groove::Title:
                if (e % 4 == 0)
                    rest.Note(t, eighth * 4 - eighth / 4, e == 0 ? bass : bass + 7, bassIn);
                if (halfStart)
                    for (int n : triad)
                        rest.Note(t, eighth * (kEighthsPerBar / int(chords.size())) - eighth / 4, n + 12, chordIn);
                if (e % 4 == 0)
                    rest.Kick(t, 0.5f);
                if (e % 4 == 2)
                    rest.Snare(t, 0.18f, seed++);
                rest.Hat(t, 0.05f, 0.04f, seed++);
                break;
            case Groove::Field:
                rest.Note(t, eighth * 2 - eighth / 2, e % 4 == 0 ? bass : bass + 7, bassIn);
                ++e; // the bass walks in quarters; chords answer on the off-beats
                for (int n : triad)
                    rest.Note(t + eighth, eighth / 2, n + 12, chordIn);
                if ((e - 1) % 4 == 0)
                    rest.Kick(t, 0.55f);
                else
                    rest.Snare(t, 0.3f, seed++);
                rest.Hat(t, 0.08f, 0.04f, seed++);
                rest.Hat(t + eighth, 0.05f, 0.03f, seed++);
                break;
            case Groove::Battle:
                rest.Note(t, eighth - eighth / 6, e % 2 ? bass + 12 : bass, bassIn);
                if (e == 0 || e == 3 || e == 6)
                    for (int n : {triad[0], triad[2], triad[0] + 12})
                        rest.Note(t, eighth + eighth / 2, n, chordIn);
                if (e % 2 == 0)
                    rest.Kick(t, 0.6f);
                if (e % 4 == 2)
                    rest.Snare(t, 0.4f, seed++);
                rest.Hat(t, e % 2 ? 0.1f : 0.06f, e % 2 ? 0.08f : 0.03f, seed++);
                break;
            case Groove::Battle2: {
                const int pattern[8] = {0, 0, 12, 0, 7, 0, 12, 7};
                rest.Note(t, eighth - eighth / 6, bass + pattern[e], bassIn);
                const int arp[4] = {triad[0] + 12, triad[1] + 12, triad[2] + 12, triad[0] + 24};
                for (int k = 0; k < 2; ++k)
                    rest.Note(t + k * eighth / 2, eighth / 2 - eighth / 10, arp[(e * 2 + k) % 4], chordIn);
                if (e == 0 || e == 3 || e == 4 || e == 7)
                    rest.Kick(t, 0.6f);
                if (e % 4 == 2)
                    rest.Snare(t, 0.45f, seed++);
                rest.Hat(t, 0.07f, 0.03f, seed++);
                rest.Hat(t + eighth / 2, 0.05f, 0.03f, seed++);
                if (e == 0 && bar % 4 == 0)
                    rest.Hat(t, 0.12f, 0.6f, seed++); // crash
                break;
            }
            }
        }
    }

    // A circular echo on the melody: the first pass seeds it, the next ones let the
    // echoes of the loop's end reach its beginning.
    Buffer& dry = lead.Data();
    Buffer wet(dry.size(), 0.0f);
    const size_t n = dry.size();
    const size_t delay = size_t(eighth) * 3;
    for (int pass = 0; pass < 4; ++pass)
        for (size_t i = 0; i < n; ++i)
            wet[i] = dry[i] + 0.3f * wet[(i + n - delay) % n];

    Buffer mix(n);
    for (size_t i = 0; i < n; ++i)
        mix[i] = wet[i] + rest.Data()[i];
    SoftClip(mix, 1.2f);
    Normalise(mix, 0.5f); // music sits under the effects
    return mix;
}

} // namespace soundgen
