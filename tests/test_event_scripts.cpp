// Scripts as an author writes them (comments, line breaks, spaces, any separator
// byte, over-long numbers), loaded from a pack and run by the event task: what the
// loader keeps and what the dispatcher reads from it must fit together.
#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "test_board_support.h"

namespace {

class EventScriptRun : public EventRun {
protected:
    // Loads the text as stage 1's scripts, event 1 on cell (0, 1), and runs event 1
    // for a computer team; returns the frames until it ended.
    int LoadAndRun(const std::string& text)
    {
        KillAllTasks();
        std::fill(std::begin(soundTally_), std::end(soundTally_), 0);
        g_eventLayer[kWidth] = 1;
        const std::vector<uint8_t> pack = board_test::EventPack({text}); // one entry for all three stages
        EXPECT_EQ(LoadEventScriptsMemory(pack.data(), pack.size()), 1);
        Start(Party(kControllerComputer, 0));
        return RunToEnd(200);
    }
};

TEST_F(EventScriptRun, WrittenScriptsRunAsTheLoaderStoresThem)
{
    struct Case {
        const char* what;
        std::string text;
        int frames; // start, one a command, the waits
        int sound4, sound5;
    };
    const Case cases[] = {
        // Comments, CR LF, spaces inside numbers and labels, and a label split over
        // two lines: stored as "#5,3,#15,LA,LA,LA#7,4,#99," and the branch lands on
        // the label whichever way it goes.
        {"comments and line breaks",
         "/ a wait, then a branch to one place\r\n#5, 3 ,\r\n#15,LA,L A,/ both the same\r\n"
         "#7,5,/ skipped by the jump\nL\nA #7,4,\r\n#99,@",
         8, 1, 0},
        // A '/' inside a message line starts a comment: the rest of the line is gone.
        {"slash in a line", "#2,1,\x82\xA0/,#7,5,\n,#7,4,#99,@", 0, 1, 0},
        // Seven digits: the first six are the number (a wait of 0, one frame), the
        // seventh is the separator and the ',' behind it is skipped as text.
        {"seven digits", "#5,0000003,#7,4,#99,@", 5, 1, 0},
        {"six digits", "#5,000003,#7,4,#99,@", 7, 1, 0},
        // Any byte separates: ';' and '.' read like ','.
        {"other separators", "#5;2;#7.4.#99!@", 6, 1, 0},
        // A separator the author forgot: '#5,30#7' takes the '#' as 30's separator, so
        // the sound command is never seen and 5 is played instead.
        {"missing separator", "#5,30#7,4,#7,5,#99,@", 34, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int frames = LoadAndRun(c.text);
        EXPECT_FALSE(EventRunning());
        if (c.frames > 0)
            EXPECT_EQ(frames, c.frames);
        EXPECT_EQ(SoundCount(4), c.sound4);
        EXPECT_EQ(SoundCount(5), c.sound5);
    }
}

} // namespace
