// A square's event runs for whichever team ends its move there, so the stage builder
// refuses an event that shows one team's member as its face: only a monster's face, or
// none, may speak to every team.
#include <gtest/gtest.h>

#include "test_stage_packs.h"
#include "test_support.h"

namespace {

using test_support::BuildThreeStages;
using test_support::kTinyMap;
using test_support::kTinyTeams;
using test_support::ReadFileBytes;
using test_support::TempDir;

const std::string kTeams = kTinyTeams;

std::string Goal(const std::string& faces)
{
    return faces + "#1,1,\n#2,1,ゴールだ,\n#43,\n#42,\n#1,0,\n#99,\n@\n";
}

// Builds three stages, the second with the given script; returns stagepack's exit code.
int Build(const TempDir& dir, const std::string& script, std::string& output)
{
    return BuildThreeStages(dir, kTinyMap, script, kTeams + Goal(""), output);
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
