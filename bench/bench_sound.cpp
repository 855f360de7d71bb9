// The mixer's cost: one second of output with the 20 effects and one music track
// all sounding at once. "mix_time_per_second" is the time one second of output
// takes to mix: 10ms would be 1% of real time.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/audio.h"
#include "platform/backends.h"

namespace {

std::vector<uint8_t> Tone(int channels, uint32_t rate, double seconds, double hz)
{
    std::vector<uint8_t> bytes;
    uint32_t frames = uint32_t(rate * seconds);
    for (uint32_t i = 0; i < frames; ++i) {
        int16_t s = int16_t(3000 * std::sin(2 * 3.14159265358979 * hz * i / rate));
        for (int c = 0; c < channels; ++c) {
            bytes.push_back(uint8_t(s));
            bytes.push_back(uint8_t(uint16_t(s) >> 8));
        }
    }
    return bytes;
}

void BM_MixOneSecond20EffectsAndMusic(benchmark::State& state)
{
    plat::SelectAudioBackend(plat::AudioBackend::Silent);
    plat::OpenAudioOutput();
    std::vector<plat::SoundBuffer*> buffers;
    for (int i = 0; i < 20; ++i) {
        // Effects of mixed rates and lengths; looped so that all 20 keep sounding.
        uint32_t rate = i % 2 ? 22050 : 44100;
        auto bytes = Tone(1, rate, 0.3 + 0.05 * i, 200 + 40 * i);
        plat::SoundBuffer* b = plat::CreateStaticBuffer({1, 16, rate}, bytes.data(), uint32_t(bytes.size()));
        plat::PlayBuffer(b, true);
        buffers.push_back(b);
    }
    auto music = Tone(2, 44100, 20.0, 110);
    plat::SoundBuffer* m = plat::CreateStaticBuffer({2, 16, 44100}, music.data(), uint32_t(music.size()));
    plat::PlayBuffer(m, true);

    // The device asks for 1024 frames at a time.
    std::vector<int16_t> out(1024 * plat::kMixChannels);
    for (auto _ : state) {
        for (int done = 0; done < plat::kMixRate; done += 1024) {
            plat::MixAudio(out.data(), std::min(1024, plat::kMixRate - done));
            benchmark::DoNotOptimize(out.data());
        }
    }
    state.counters["mix_time_per_second"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    plat::CloseAudioOutput();
}
BENCHMARK(BM_MixOneSecond20EffectsAndMusic)->Unit(benchmark::kMillisecond);

} // namespace
