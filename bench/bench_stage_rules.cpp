// The stage rules the game applies when a race starts, on 100 x 100 boards: the map pack
// entry read as the game plays it, then the scripts read and the whole stage held to the
// rules (LoadStageMapForPlay, LoadEventScriptsForPlay). Each must take at most 5 ms, so
// that a race starts at once and the map-pack fuzzer runs hundreds of boards a second.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench_common.h"
#include "board/event.h"
#include "board/stage.h"
#include "board/stage_rules.h"
#include "board/world.h"
#include "engine/glyph_table.h"

namespace {

constexpr uint32_t kSide = 100;

std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void PutLE32(std::vector<uint8_t>& out, uint32_t value)
{
    for (int b = 0; b < 4; ++b)
        out.push_back(static_cast<uint8_t>(value >> (8 * b)));
}

// A pack holding the same entry for all three stages.
std::vector<uint8_t> ThreeTimes(const std::vector<uint8_t>& entry)
{
    std::vector<uint8_t> pack;
    PutLE32(pack, 0);
    PutLE32(pack, 0);
    PutLE32(pack, 0);
    pack.insert(pack.end(), entry.begin(), entry.end());
    return pack;
}

// The hardest board for the rules: every cell a square open every way the board allows,
// forward, back and for the roaming group, and a go-back on every cell but the pieces'
// and the goal's, so that every square, every go-back from it and every step of it is
// reachable. The three teams and the roaming group stand in the top row, the goal in
// the bottom right corner.
std::vector<uint8_t> DenseMapPack()
{
    std::vector<uint8_t> entry;
    PutLE32(entry, kSide);
    PutLE32(entry, kSide);
    PutLE32(entry, 0);
    PutLE32(entry, 0);
    const uint32_t cells = kSide * kSide;
    std::vector<uint8_t> square(cells, 10), links(cells), event(cells, 6);
    for (uint32_t cell = 0; cell < cells; ++cell) {
        const uint32_t column = cell % kSide, row = cell / kSide;
        links[cell] =
            static_cast<uint8_t>((column + 1 < kSide ? kLinkHeading0 : 0) | (column > 0 ? kLinkHeading180 : 0) |
                                 (row + 1 < kSide ? kLinkHeading270 : 0) | (row > 0 ? kLinkHeading90 : 0));
    }
    std::vector<uint8_t> route = links;
    route[cells - 1] = kRouteGoal;
    // No go-back ends on the goal, where a team would stand with no way on.
    std::vector<uint8_t> back = links;
    back[cells - 2] &= ~kLinkHeading0;
    back[cells - 1 - kSide] &= ~kLinkHeading270;
    route[0] |= kRouteStart;
    for (uint8_t n = 1; n <= 4; ++n)
        event[n - 1] = n;
    event[cells - 1] = 5;
    for (const auto* layer : {&square, &route, &back, &event, &links})
        entry.insert(entry.end(), layer->begin(), layer->end());
    return ThreeTimes(entry);
}

std::vector<uint8_t> DenseEventPack()
{
    const std::string name = std::string(g_glyphTable[1].code) + g_glyphTable[2].code;
    const std::string text = "$1,0,0,6,0,1,2,3,4,5," + name + ",#99,@$1,1,0,6,6,7,8,9,10,11," + name +
                             ",#99,@$1,2,0,6,12,13,14,15,16,17," + name + ",#99,@$2,3,0,2,18,19," + name +
                             ",#99,@#43,#42,#99,@#9,#99,@";
    std::vector<uint8_t> entry;
    PutLE32(entry, static_cast<uint32_t>(text.size()));
    for (const char c : text)
        entry.push_back(static_cast<uint8_t>(~static_cast<unsigned char>(c)));
    return ThreeTimes(entry);
}

void RunRules(benchmark::State& state, const std::vector<uint8_t>& maps, const std::vector<uint8_t>& events)
{
    if (!InitWorldBuffers()) {
        state.SkipWithError("no stage buffers");
        return;
    }
    g_stageLayers.stageNumber = 3;
    std::vector<std::string> problems;
    for (auto _ : state) {
        problems.clear();
        const int taken = LoadStageMapForPlay(maps.data(), maps.size(), &problems) &&
                          LoadEventScriptsForPlay(events.data(), events.size(), &problems, nullptr);
        benchmark::DoNotOptimize(taken);
    }
    if (!problems.empty())
        state.SkipWithError(("refused: " + problems[0]).c_str());
    FreeWorldBuffers();
    g_stageLayers.stageNumber = 1;
}

void BM_StageRulesShippedStage3(benchmark::State& state)
{
    const std::string build = SUGOROKU_BUILD_DIR;
    const std::vector<uint8_t> maps = ReadBytes(build + "/mappack.dat");
    const std::vector<uint8_t> events = ReadBytes(build + "/epack.dat");
    if (maps.empty() || events.empty()) {
        state.SkipWithError("the packs are not built");
        return;
    }
    RunRules(state, maps, events);
}
BENCHMARK(BM_StageRulesShippedStage3)->Unit(benchmark::kMillisecond);

void BM_StageRulesDenseBoard(benchmark::State& state)
{
    RunRules(state, DenseMapPack(), DenseEventPack());
}
BENCHMARK(BM_StageRulesDenseBoard)->Unit(benchmark::kMillisecond);

} // namespace
