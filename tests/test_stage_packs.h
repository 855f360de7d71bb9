// Stage packs built by the real stagepack from a tiny hand-made stage, for the tests of
// what the builder accepts and refuses.
#pragma once
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "test_support.h"

namespace test_support {

// Three team squares in a row, a corridor cell and the goal (event 4).
inline const char* const kTinyMap = "size 7 3\n"
                                    "start 1 1\n"
                                    "goal 5 1\n"
                                    "ground\n.......\n.DDD=C.\n.......\n"
                                    "route\n.......\n.>>>...\n.......\n"
                                    "back\n.......\n.......\n.......\n"
                                    "event\n.......\n.123.4.\n.......\n"
                                    "enemy\n.......\n.......\n.......\n";

// The three teams' '$' records, events 1 to 3.
inline const char* const kTinyTeams = "$1,0,0,6,0,1,2,3,4,5,東,\n#99,\n@\n"
                                      "$1,1,0,6,6,7,8,9,10,11,西,\n#99,\n@\n"
                                      "$1,2,0,6,12,13,14,15,16,17,南,\n#99,\n@\n";

// Runs stagepack; returns its exit code and what it printed.
inline int RunStagepack(const TempDir& dir, const std::string& args, std::string& output)
{
    const std::string log = dir / "stagepack.log";
    const int status = std::system(
        (std::string(SUGOROKU_BUILD_DIR) + "/tools/stagepack/stagepack " + args + " >'" + log + "' 2>&1").c_str());
    const auto bytes = ReadFileBytes(log);
    output.assign(bytes.begin(), bytes.end());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Writes three stages, stage 2 with the map and script given and the others with the
// tiny map and `script`, and builds them into dir/m and dir/e.
inline int BuildThreeStages(const TempDir& dir, const std::string& map2, const std::string& script2,
                            const std::string& script, std::string& output)
{
    for (int s = 1; s <= 3; ++s) {
        std::ofstream(dir / ("stage" + std::to_string(s) + ".map"), std::ios::binary) << (s == 2 ? map2 : kTinyMap);
        std::ofstream(dir / ("stage" + std::to_string(s) + ".txt"), std::ios::binary) << (s == 2 ? script2 : script);
    }
    return RunStagepack(dir, dir.path() + " " + (dir / "m") + " " + (dir / "e"), output);
}

} // namespace test_support
