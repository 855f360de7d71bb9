// soundgen: writes the game's 20 sound effects (se_00.wav ... se_19.wav) and four music
// loops (bgm_0.wav ... bgm_3.wav) as 16-bit PCM mono RIFF WAVE files, and prints
// their levels so they can be checked without listening.
#include <cmath>
#include <cstdio>
#include <string>

#include "platform/files.h"
#include "sounds.h"

using namespace soundgen;

namespace {

bool Write(const std::string& path, const Buffer& b)
{
    std::vector<uint8_t> bytes = EncodeWave(b);
    return plat::WriteFileAtomically(path.c_str(), bytes.data(), bytes.size());
}

float Db(float v)
{
    return v > 0 ? 20 * std::log10(v) : -999;
}

void Report(const std::string& name, const Buffer& b, bool verbose)
{
    if (!verbose)
        return;
    Levels l = Measure(b);
    std::printf("%-10s %6.2f s  peak %6.1f dBFS  rms %6.1f dBFS  seam %.4f  max step %.4f\n", name.c_str(),
                double(b.size()) / kRate, Db(l.peak), Db(l.rms), l.seam, l.maxStep);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: soundgen <output dir> [--levels]\n");
        return 2;
    }
    std::string dir = argv[1];
    bool verbose = argc > 2 && std::string(argv[2]) == "--levels";
    for (int id = 0; id < kSoundEffectCount; ++id) {
        char name[32];
        std::snprintf(name, sizeof name, "se_%02d.wav", id);
        Buffer b = MakeEffect(id);
        if (b.empty() || !Write(dir + "/" + name, b)) {
            std::fprintf(stderr, "soundgen: cannot write %s/%s\n", dir.c_str(), name);
            return 1;
        }
        Report(name, b, verbose);
    }
    for (int track = 0; track < kMusicTrackCount; ++track) {
        char name[32];
        std::snprintf(name, sizeof name, "bgm_%d.wav", track);
        Buffer b = MakeMusic(track);
        if (!Write(dir + "/" + name, b)) {
            std::fprintf(stderr, "soundgen: cannot write %s/%s\n", dir.c_str(), name);
            return 1;
        }
        Report(name, b, verbose);
    }
    return 0;
}
