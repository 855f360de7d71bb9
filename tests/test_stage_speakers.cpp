// A square's event runs for whichever team ends its move there, so the stage builder
// refuses an event that shows one team's member as its face: only a monster's face, or
// none, may speak to every team.
#include <gtest/gtest.h>

#include <fstream>

#include "test_support.h"

namespace {

const std::string kBuildDir = SUGOROKU_BUILD_DIR;

using test_support::ReadFileBytes;
using test_support::TempDir;

// Three team squares in a row, a corridor cell and the goal (event 4).
const char* const kMap = "size 7 3\n"
                         "start 1 1\n"
                         "goal 5 1\n"
                         "ground\n.......\n.DDD=C.\n.......\n"
                         "route\n.......\n.>>>...\n.......\n"
                         "back\n.......\n.......\n.......\n"
                         "event\n.......\n.123.4.\n.......\n"
                         "enemy\n.......\n.......\n.......\n";

const std::string kTeams = "$1,0,0,6,0,1,2,3,4,5,東,\n#99,\n@\n"
                           "$1,1,0,6,6,7,8,9,10,11,西,\n#99,\n@\n"
                           "$1,2,0,6,12,13,14,15,16,17,南,\n#99,\n@\n";

std::string Goal(const std::string& faces)
{
    return faces + "#1,1,\n#2,1,ゴールだ,\n#43,\n#42,\n#1,0,\n#99,\n@\n";
}

// Builds three stages, the second with the given script; returns stagepack's exit code.
int Build(const TempDir& dir, const std::string& script, std::string& output)
{
    const std::string plain = kTeams + Goal("");
    for (int s = 1; s <= 3; ++s) {
        std::ofstream(dir / ("stage" + std::to_string(s) + ".map"), std::ios::binary) << kMap;
        std::ofstream(dir / ("stage" + std::to_string(s) + ".txt"), std::ios::binary) << (s == 2 ? script : plain);
    }
    const std::string log = dir / "log";
    const int status = std::system((kBuildDir + "/tools/stagepack/stagepack " + dir.path() + " " + (dir / "m") + " " +
                                    (dir / "e") + " >'" + log + "' 2>&1")
                                       .c_str());
    const auto bytes = ReadFileBytes(log);
    output.assign(bytes.begin(), bytes.end());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(StageSpeakers, OnlyAFaceOfNoTeamOrNoneIsShownToWhicheverTeamArrives)
{
    {
        // Face 7 is the demon's (the first monster); 99 takes any face away.
        TempDir dir;
        std::string out;
        EXPECT_EQ(Build(dir, kTeams + Goal("#3,7,\n#2,1,まて,\n#3,99,\n"), out), 0) << out;
    }
    struct Case {
        const char* what;
        std::string script;
        const char* expected;
    };
    const Case cases[] = {
        {"the first team's leader at the goal", kTeams + Goal("#3,0,\n"),
         "stage 2: event 4: #3 at byte 0 shows face 0, a member of team 0"},
        {"face 6: the second team's first member", kTeams + Goal("#3,7,\n#3,6,\n"),
         "stage 2: event 4: #3 at byte 5 shows face 6, a member of team 1"},
        {"face 13: the third team's last member", kTeams + Goal("#3,13,\n"), "shows face 13, a member of team 2"},
        {"a face on one branch only", kTeams + Goal("#15,あ,い,\nあ\n#3,8,\nい\n"), "shows face 8, a member of team 2"},
        // Another team can end its move on a team's start square.
        {"a face on a team's start square",
         "$1,0,0,6,0,1,2,3,4,5,東,\n#3,1,\n#99,\n@\n" + kTeams.substr(kTeams.find("$1,1")) + Goal(""),
         "stage 2: event 1: #3 at byte 24 shows face 1, a member of team 0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        std::string out;
        EXPECT_EQ(Build(dir, c.script, out), 1);
        EXPECT_NE(out.find(c.expected), std::string::npos) << out;
        EXPECT_TRUE(ReadFileBytes(dir / "m").empty()) << "written although refused";
    }
}

} // namespace
