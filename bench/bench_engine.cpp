// Engine costs: a headless frame over a full task pool, loading a large archive, and
// how long a paced frame really lasts.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/app.h"
#include "app/headless.h"
#include "bench_common.h"
#include "engine/archive.h"
#include "engine/task.h"

namespace {

std::string MakeScratchDir()
{
    char pattern[] = "/tmp/bench_engine_XXXXXX";
    const char* made = mkdtemp(pattern);
    return made ? made : "/tmp";
}

void RemoveScratchDir(const std::string& dir)
{
    std::system(("rm -rf '" + dir + "'").c_str());
}

// An archive with 150 blocks filling about totalBytes.
void WriteArchive(const std::string& path, size_t totalBytes)
{
    const size_t blockBytes = (totalBytes - 600) / 150 - 4;
    std::vector<uint8_t> table(600);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    for (int i = 0; i < 150; ++i) {
        uint32_t offset = static_cast<uint32_t>(i * (blockBytes + 4));
        for (int b = 0; b < 4; ++b)
            table[4 * i + b] = static_cast<uint8_t>(offset >> (8 * b));
    }
    std::fwrite(table.data(), 1, table.size(), file);
    std::vector<uint8_t> block(blockBytes + 4, 0x5A);
    for (int b = 0; b < 4; ++b)
        block[b] = static_cast<uint8_t>(blockBytes >> (8 * b));
    for (int i = 0; i < 150; ++i)
        std::fwrite(block.data(), 1, block.size(), file);
    std::fclose(file);
}

// The game's own archive, for benchmarks that start the game (sound and graphics need it).
bool LinkRealArchive(const std::string& dir)
{
    std::string built = std::string(SUGOROKU_BUILD_DIR) + "/data.dat";
    return symlink(built.c_str(), (dir + "/data.dat").c_str()) == 0 && access(built.c_str(), R_OK) == 0;
}

int s_work = 0;
void IdleUpdate(Task*)
{
    ++s_work;
}
void IdleDraw(Task*) {}

void BM_HeadlessFrameFullPool(benchmark::State& state)
{
    std::string dir = MakeScratchDir();
    if (!LinkRealArchive(dir) || !HeadlessStart(dir.c_str())) {
        state.SkipWithError(HeadlessLastMessage());
        RemoveScratchDir(dir);
        return;
    }
    bench::SeedChance();
    KillAllTasks();
    for (int slot = 0; slot < kTaskSlots; ++slot) {
        Task* task = CreateTask(slot);
        task->alive = 1;
        task->updateEnabled = 1;
        task->drawEnabled = 1;
        task->update = IdleUpdate;
        task->draw = IdleDraw;
    }
    for (auto _ : state)
        HeadlessRunFrames(1);
    state.SetItemsProcessed(state.iterations() * kTaskSlots);
    HeadlessStop();
    RemoveScratchDir(dir);
}
BENCHMARK(BM_HeadlessFrameFullPool);

void BM_LoadArchive20MB(benchmark::State& state)
{
    std::string dir = MakeScratchDir();
    std::string path = dir + "/data.dat";
    WriteArchive(path, 20u * 1024u * 1024u);
    for (auto _ : state) {
        if (!LoadDataFileFrom(path.c_str())) {
            state.SkipWithError("archive did not load");
            break;
        }
        uint32_t size = 0;
        benchmark::DoNotOptimize(GetDataBlock(149, &size));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(g_dataFileSize));
    FreeDataFile();
    RemoveScratchDir(dir);
}
BENCHMARK(BM_LoadArchive20MB)->Unit(benchmark::kMillisecond);

// The real frame with its minimum length; wall time per frame should be 17 ms.
void BM_PacedFrame(benchmark::State& state)
{
    std::string dir = MakeScratchDir();
    if (!LinkRealArchive(dir) || !HeadlessStart(dir.c_str())) {
        state.SkipWithError(HeadlessLastMessage());
        RemoveScratchDir(dir);
        return;
    }
    bench::SeedChance();
    for (auto _ : state)
        RunFrame();
    HeadlessStop();
    RemoveScratchDir(dir);
}
BENCHMARK(BM_PacedFrame)->Unit(benchmark::kMillisecond)->Iterations(60)->UseRealTime();

} // namespace
