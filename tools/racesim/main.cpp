// racesim --stage S --seed N [--races K] [--team T] [--turns U] [--max-frames F] [--data-dir DIR]
//         [--commands] [--rss]
//
// Runs whole races headless through the real start-up chain (recorded graphics,
// silent sound, no window, no pacing): title, stage select, team select (team T, or
// the seed's: N mod 3), then the race with the player's team played by the computer.
// Race k of K uses seed N + k. Every frame is checked (invariants.h). One line per race:
//   stage=S seed=N team=T frames=F turns=U finished=0|1 places=a,b,c battles=B events=E
// places lists the team by place, "-" where no team has taken it. --turns U stops a
// race after U turns (not a failure; finished=0). Exit status 1 when a race breaks an
// invariant, runs past --max-frames or cannot start; 2 for a bad command line. The data
// files ("data.dat", "mappack.dat", "epack.dat") are read from DIR (default: here).
// --commands adds one line after the races with how often each event command ran over
// all of them: "commands 1=C 2=C ... 99=C" (every command the events know, then any
// other number a script used).
// --rss adds a line "rss after race k: N kB, heap in use H kB" after races 1, 10, 100,
// 1000 and the last, so that memory growing from race to race shows in a long run. H is
// what the program still holds from the allocator; resident memory can stay above it
// after a race whose large blocks the allocator keeps for the next one.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <malloc.h>

#include "board/event_table.h"
#include "race.h"

namespace {

struct Options {
    int stage = 0;
    long long seed = -1;
    int races = 1;
    int team = -1;
    int turns = 0;
    int maxFrames = 200000;
    bool commands = false;
    std::string dataDir = ".";
    bool rss = false;
};

int Usage(const std::string& message)
{
    if (!message.empty())
        std::fprintf(stderr, "racesim: %s\n", message.c_str());
    std::fprintf(stderr, "usage: racesim --stage S --seed N [--races K] [--team T] [--turns U] [--max-frames F]"
                         " [--data-dir DIR] [--commands] [--rss]\n"
                         "  S 1..3, N 0..4294967295, K 1..10000, T 0..2, U 0..1000000 (0: no limit), F 1..100000000\n");
    return 2;
}

bool ParseNumber(const char* text, long long low, long long high, long long* out)
{
    char* end = nullptr;
    const long long value = std::strtoll(text, &end, 10);
    if (*text == '\0' || *end != '\0' || value < low || value > high)
        return false;
    *out = value;
    return true;
}

bool ParseOptions(int argc, char** argv, Options* o, std::string* error)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--commands") {
            o->commands = true;
            continue;
        }
        if (arg == "--rss") {
            o->rss = true;
            continue;
        }
        if (i + 1 >= argc) {
            *error = "missing value after " + arg;
            return false;
        }
        const char* value = argv[++i];
        long long n = 0;
        bool ok = true;
        if (arg == "--stage") {
            ok = ParseNumber(value, 1, 3, &n) && ((o->stage = static_cast<int>(n)), true);
        } else if (arg == "--seed") {
            ok = ParseNumber(value, 0, 4294967295LL, &n) && ((o->seed = n), true);
        } else if (arg == "--races") {
            ok = ParseNumber(value, 1, 10000, &n) && ((o->races = static_cast<int>(n)), true);
        } else if (arg == "--team") {
            ok = ParseNumber(value, 0, 2, &n) && ((o->team = static_cast<int>(n)), true);
        } else if (arg == "--turns") {
            ok = ParseNumber(value, 0, 1000000, &n) && ((o->turns = static_cast<int>(n)), true);
        } else if (arg == "--max-frames") {
            ok = ParseNumber(value, 1, 100000000, &n) && ((o->maxFrames = static_cast<int>(n)), true);
        } else if (arg == "--data-dir") {
            o->dataDir = value;
        } else {
            *error = "unknown option " + arg;
            return false;
        }
        if (!ok) {
            *error = "bad value for " + arg + ": " + value;
            return false;
        }
    }
    if (o->stage == 0 || o->seed < 0) {
        *error = "--stage and --seed are required";
        return false;
    }
    return true;
}

void PrintPlace(int team, char* out, size_t size)
{
    if (team < 0)
        std::snprintf(out, size, "-");
    else
        std::snprintf(out, size, "%d", team);
}

void PrintCommandCounts(const int64_t (&counts)[kCountedCommands])
{
    bool known[kCountedCommands] = {};
    std::printf("commands");
    for (int32_t i = 0; i < g_eventCommandCount; ++i) {
        const int32_t number = g_eventCommands[i].number;
        known[number] = true;
        std::printf(" %d=%lld", number, static_cast<long long>(counts[number]));
    }
    for (int number = 0; number < kCountedCommands; ++number)
        if (!known[number] && counts[number] != 0)
            std::printf(" %d=%lld", number, static_cast<long long>(counts[number]));
    std::printf("\n");
}

// Resident memory of this process in kB from /proc/self/status, -1 when not readable.
long ResidentKilobytes()
{
    FILE* file = std::fopen("/proc/self/status", "r");
    if (file == nullptr)
        return -1;
    char line[256];
    long kb = -1;
    while (std::fgets(line, sizeof(line), file) != nullptr) {
        if (std::strncmp(line, "VmRSS:", 6) == 0) {
            kb = std::strtol(line + 6, nullptr, 10);
            break;
        }
    }
    std::fclose(file);
    return kb;
}

// Bytes handed out by the allocator and not yet freed, in kB (0 where a sanitizer's
// allocator stands in for the C library's).
long HeapInUseKilobytes()
{
    const struct mallinfo2 info = mallinfo2();
    return static_cast<long>((info.uordblks + info.hblkhd) / 1024);
}

bool ReportsMemoryAfter(int race, int races)
{
    return race == 1 || race == 10 || race == 100 || race == 1000 || race == races;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    std::string error;
    if (!ParseOptions(argc, argv, &options, &error))
        return Usage(error);

    int failures = 0;
    int64_t commandCounts[kCountedCommands] = {};
    for (int k = 0; k < options.races; ++k) {
        const uint32_t seed = static_cast<uint32_t>(options.seed + k);
        RaceSettings settings{};
        settings.stage = options.stage;
        settings.seed = seed;
        settings.team = options.team >= 0 ? options.team : static_cast<int32_t>(seed % 3);
        settings.maxTurns = options.turns;
        settings.maxFrames = options.maxFrames;

        RaceReport report{};
        const int ok = RunRace(options.dataDir.c_str(), settings, &report);
        if (!report.started) {
            std::fprintf(stderr, "racesim: stage=%d seed=%u team=%d: %s\n", settings.stage, seed, settings.team,
                         report.error);
            ++failures;
            continue;
        }
        char places[3][16];
        for (int i = 0; i < 3; ++i)
            PrintPlace(report.places[i], places[i], sizeof(places[i]));
        std::printf("stage=%d seed=%u team=%d frames=%d turns=%d finished=%d places=%s,%s,%s battles=%d events=%d\n",
                    settings.stage, seed, settings.team, report.frames, report.watch.turns, report.finished, places[0],
                    places[1], places[2], report.watch.battles, report.watch.events);
        std::fflush(stdout);
        if (report.watch.faultFrame >= 0)
            std::fprintf(stderr, "racesim: stage=%d seed=%u team=%d frame=%d: %s\n", settings.stage, seed,
                         settings.team, report.watch.faultFrame, report.watch.fault);
        if (report.overran)
            std::fprintf(stderr, "racesim: stage=%d seed=%u team=%d: ran past %d frames after %d turns\n",
                         settings.stage, seed, settings.team, settings.maxFrames, report.watch.turns);
        for (int n = 0; n < kCountedCommands; ++n)
            commandCounts[n] += report.watch.commands[n];
        if (!ok)
            ++failures;
        if (options.rss && ReportsMemoryAfter(k + 1, options.races)) {
            std::printf("rss after race %d: %ld kB, heap in use %ld kB\n", k + 1, ResidentKilobytes(),
                        HeapInUseKilobytes());
            std::fflush(stdout);
        }
    }
    if (options.commands)
        PrintCommandCounts(commandCounts);
    return failures == 0 ? 0 : 1;
}
