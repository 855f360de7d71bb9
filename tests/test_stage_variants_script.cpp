// Shipped stage 1 with one script detail our own stages never use but the game plays:
// the game loads it (the pack builder alone objects, and says so), races on it to the
// ranking, and the changed command does what it should, as the race's frame count shows.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "board/event.h"
#include "board/stage.h"
#include "board/stage_rules.h"
#include "board/world.h"
#include "platform/byte_order.h"
#include "race.h"
#include "test_support.h"

namespace {

using test_support::Bytes;
using test_support::ReadFileBytes;
using test_support::TempDir;

const std::string kBuildDir = SUGOROKU_BUILD_DIR;

// The built script pack with stage 1's text changed where `from` first stands.
Bytes ChangedEventPack(const std::string& from, const std::string& to)
{
    const Bytes pack = ReadFileBytes(kBuildDir + "/epack.dat");
    std::vector<std::string> texts;
    for (int s = 0; s < 3; ++s) {
        const size_t entry = 12 + plat::LoadLE32(pack.data() + 4 * s);
        std::string text(pack.begin() + long(entry) + 4,
                         pack.begin() + long(entry) + 4 + long(plat::LoadLE32(pack.data() + entry)));
        for (char& c : text)
            c = char(~c);
        texts.push_back(text);
    }
    const size_t at = texts[0].find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos)
        texts[0].replace(at, from.size(), to);
    Bytes out(12);
    for (int s = 0; s < 3; ++s) {
        plat::StoreLE32(out.data() + 4 * s, uint32_t(out.size() - 12));
        out.resize(out.size() + 4);
        plat::StoreLE32(out.data() + out.size() - 4, uint32_t(texts[s].size()));
        for (const char c : texts[s])
            out.push_back(uint8_t(~c));
    }
    return out;
}

struct Variant {
    const char* what;
    const char* from;
    const char* to;
    int command;         // the command the change adds, -1 none
    const char* builder; // what the builder's own checks say of it
    const char* like;    // the same change with a value our stages use ("" none)
    int framesPerRun;    // frames a run of the command takes beyond `like`'s
};

// The goal event (6) runs once for every team that arrives, the tailwind (8, "#18,")
// on squares the race meets.
const Variant kVariants[] = {
    {"portrait 20 shows no face", "#43,", "#3,20,\n#43,", 3, "portrait 20 is outside 0..13 (or 99)", "", 1},
    {"portrait 100 shows no face", "#43,", "#3,100,\n#43,", 3, "portrait 100 is outside 0..13", "", 1},
    {"wait 0 passes one frame like wait 1", "#43,", "#5,0,\n#43,", 5, "wait frames 0 is outside 1..600", "#5,1,\n#43,",
     0},
    {"a wait of 700 frames", "#43,", "#5,700,\n#43,", 5, "wait frames 700 is outside 1..600", "#5,1,\n#43,", 699},
    {"a spin of 0 frames turns once like a spin of 1", "#43,", "#41,0,90,\n#43,", 41, "spin frames 0 is outside 1..600",
     "#41,1,90,\n#43,", 0},
    {"a spin of 720 degrees a frame", "#43,", "#41,2,720,\n#43,", 41, "spin degrees 720 is outside 1..360",
     "#41,2,90,\n#43,", 0},
    {"an unknown command is read and passed over", "#43,", "#50,\n#43,", 50, "#50 is not a command", "", 1},
    {"labels L1 and L10, the jump to L1 landing inside L10", "#43,", "#15,L1,L10,\nL10\n#43,", 15,
     "lands inside other text", nullptr, 0},
    {"die faces 12 for the roll again", "#18,", "#14,12,\n#18,", 14, "die faces 12 is outside 2..9", nullptr, 0},
    {"a tailwind square turned into road", "#18,", "#10,2,\n#18,", 10, "square kind 2 is outside 10..14", nullptr, 0},
    {"a team of four", "$1,0,0,6,0,1,2,3,4,5,", "$1,0,0,4,0,1,2,3,", -1, "a team has six members", nullptr, 0},
};

struct Raced {
    RaceReport report{};
    int ran = 0;
};

Raced Race(const TempDir& dir, const Bytes& events)
{
    test_support::WriteFileBytes(dir / "epack.dat", events);
    Raced raced;
    const RaceSettings settings{1, 7, 1, 0, 200000};
    raced.ran = RunRace(dir.path().c_str(), settings, &raced.report);
    return raced;
}

TEST(ScriptVariants, EachLoadsPlaysToTheRankingAndDoesWhatItSays)
{
    TempDir dir;
    for (const char* name : {"data.dat", "mappack.dat"})
        std::filesystem::create_symlink(kBuildDir + "/" + name, dir / name);
    const Raced unchanged = Race(dir, ReadFileBytes(kBuildDir + "/epack.dat"));
    const Bytes maps = ReadFileBytes(kBuildDir + "/mappack.dat");
    for (const Variant& v : kVariants) {
        SCOPED_TRACE(v.what);
        const Bytes events = ChangedEventPack(v.from, v.to);
        // The game's loader takes it; the builder's own list says what our stages avoid.
        ASSERT_EQ(AllocStageBuffers(), 1);
        g_stageLayers.stageNumber = 1;
        std::vector<std::string> problems;
        ASSERT_EQ(LoadStageMapForPlay(maps.data(), maps.size(), &problems), 1);
        StageRuleReport rules;
        EXPECT_EQ(LoadEventScriptsForPlay(events.data(), events.size(), &problems, &rules), 1);
        EXPECT_TRUE(problems.empty()) << problems.front();
        std::string own;
        for (const std::string& a : rules.authoring)
            own += a + "\n";
        EXPECT_NE(own.find(v.builder), std::string::npos) << own;
        FreeStageBuffers();

        const Raced raced = Race(dir, events);
        const RaceReport& r = raced.report;
        EXPECT_EQ(raced.ran, 1) << r.error << r.watch.fault;
        EXPECT_EQ(r.finished, 1);
        EXPECT_TRUE(r.places[0] >= 0 && r.places[1] >= 0 && r.places[2] >= 0);
        if (v.command < 0)
            continue;
        const int runs = r.watch.commands[v.command] - unchanged.report.watch.commands[v.command];
        EXPECT_GT(runs, 0) << "the changed command never ran";
        if (v.like == nullptr)
            continue;
        const Raced like = Race(dir, ChangedEventPack(v.from, *v.like != '\0' ? v.like : v.from));
        EXPECT_EQ(r.frames - like.report.frames, v.framesPerRun * runs) << runs << " runs";
    }
}

} // namespace
