// Event messages, portraits, choices and label jumps, run through the event task.
#include <cmath>
#include <tuple>
#include <vector>

#include "board/event_commands.h"
#include "test_board_support.h"

using board_test::StoreScript;

namespace {

int GlyphsIn(const int32_t row[24])
{
    int n = 0;
    for (int i = 0; i < 24; ++i)
        n += row[i] != 0;
    return n;
}

std::vector<plat::RecordedSprite> FontSprites()
{
    std::vector<plat::RecordedSprite> found;
    for (const plat::RecordedSprite& s : plat::LastRecordedFrame().Sprites())
        if (s.texture == g_fontTexture)
            found.push_back(s);
    return found;
}

// Whether a sprite of this colour was drawn at (x, y); x below 0 matches anywhere.
bool TintedAt(float x, float y, uint32_t colour)
{
    for (const plat::RecordedSprite& s : plat::LastRecordedFrame().Sprites())
        if (s.colour == colour && (x < 0 || (std::fabs(s.left - x) < 0.01f && std::fabs(s.top - y) < 0.01f)))
            return true;
    return false;
}

} // namespace

using EventMessage = EventRun;

TEST_F(EventMessage, TypesOneGlyphAFrameAndWaitsForThePlayersKey)
{
    StoreScript(1, "#2,1," + Sjis("あいう") + ",#99");
    Start(Party(kControllerPlayer, 2));
    Frames(2); // start state, then the command
    ASSERT_EQ(Event()->stateProc, EventMessageState);
    std::vector<int> typed;
    for (int i = 0; i < 4; ++i, Frames(1))
        typed.push_back(GlyphsIn(Event()->shownGlyphs[0]));
    EXPECT_EQ(typed, (std::vector<int>{0, 1, 2, 3}));
    // Return while the rows are still being finished is not taken.
    Tap(kKeyReturn);
    Frames(1);
    EXPECT_EQ((std::tuple{Event()->stateProc, Event()->typeRow}), std::make_tuple(EventMessageState, 3));
    // Drawn: three glyphs from x 140, in the band below row y 384.
    const std::vector<plat::RecordedSprite> glyphs = FontSprites();
    ASSERT_EQ(glyphs.size(), 3u);
    EXPECT_FLOAT_EQ(glyphs[0].left, 140.0f);
    EXPECT_TRUE(glyphs[0].top >= 392.0f && glyphs[0].bottom <= 412.0f) << glyphs[0].top << " " << glyphs[0].bottom;
    Tap(kKeyReturn);
    EXPECT_EQ(SoundCount(0), 1);
    EXPECT_FALSE(EventRunning());
    EXPECT_TRUE(FontSprites().empty());

    // Z confirms as Return does: a glyph and three row ends, then the key.
    StoreScript(2, "#2,1," + Sjis("あ") + ",#99");
    Start(Party(kControllerPlayer, 3, 0.0f, 1), 2);
    Frames(2 + 4);
    Tap(kKeyZ);
    EXPECT_EQ(SoundCount(0), 2);
    EXPECT_FALSE(EventRunning());
}

TEST_F(EventMessage, SecondAndThirdLinesTypeIntoTheirOwnRows)
{
    // Three lines of 2, 3 and 1 characters: row after row, a glyph a frame and a frame
    // for each row's end.
    StoreScript(1, "#2,3," + Sjis("あい") + "," + Sjis("うえお") + "," + Sjis("か") + ",#99");
    Start(Party(kControllerPlayer, 2));
    Frames(2);
    std::vector<std::tuple<int, int, int>> typed;
    for (int i = 0; i < 9; ++i) {
        Frames(1);
        const EventTask* e = Event();
        typed.emplace_back(GlyphsIn(e->shownGlyphs[0]), GlyphsIn(e->shownGlyphs[1]), GlyphsIn(e->shownGlyphs[2]));
    }
    EXPECT_EQ(typed,
              (std::vector<std::tuple<int, int, int>>{
                  {1, 0, 0}, {2, 0, 0}, {2, 0, 0}, {2, 1, 0}, {2, 2, 0}, {2, 3, 0}, {2, 3, 0}, {2, 3, 1}, {2, 3, 1}}));
    // あ い | う え お | か are glyphs 2 3 | 4 5 6 | 7.
    const EventTask* e = Event();
    EXPECT_EQ(
        (std::vector<int>{e->shownGlyphs[1][0], e->shownGlyphs[1][1], e->shownGlyphs[1][2], e->shownGlyphs[2][0]}),
        (std::vector<int>{4, 5, 6, 7}));
    // Each row from x 140 in its own band: from y 392, 420 and 448, 20 pixels high.
    Frames(1);
    int inBand[3] = {};
    for (const plat::RecordedSprite& s : FontSprites())
        for (int row = 0; row < 3; ++row) {
            const float band = 392.0f + 28.0f * row;
            if (s.top >= band && s.bottom <= band + 20.0f)
                inBand[row] += 1;
        }
    EXPECT_EQ((std::tuple{inBand[0], inBand[1], inBand[2], FontSprites().size()}), std::make_tuple(2, 3, 1, size_t{6}));
    int rowStarts = 0;
    for (const plat::RecordedSprite& s : FontSprites())
        rowStarts += std::fabs(s.left - 140.0f) < 0.01f;
    EXPECT_EQ(rowStarts, 3);
}

TEST_F(EventMessage, LongAndExtraLinesAreCutToTheWindow)
{
    // 25 characters, then three more lines: the window keeps 24 glyphs and three rows,
    // and the script goes on behind the fourth line.
    const std::string longLine = Sjis("あいうえおかきくけこさしすせそたちつてとなにぬねの");
    StoreScript(1, "#2,4," + longLine + "," + Sjis("い") + "," + Sjis("う") + "," + Sjis("え") + ",#7,3,#99");
    Start(Party(kControllerComputer, 2));
    Frames(2);
    const EventTask* e = Event();
    EXPECT_EQ((std::tuple{GlyphsIn(e->sourceGlyphs[0]), GlyphsIn(e->sourceGlyphs[1]), GlyphsIn(e->sourceGlyphs[2])}),
              std::make_tuple(24, 1, 1));
    // A computer's message: 24 glyphs, 3 row ends, 30 frames of reading.
    Frames(24 + 3 + 30);
    EXPECT_EQ(GlyphsIn(Event()->shownGlyphs[0]), 24);
    RunToEnd(10);
    EXPECT_EQ(SoundCount(3), 1);
    EXPECT_FALSE(EventRunning());
}

TEST_F(EventMessage, PlayerChoosesWithUpDownAndConfirms)
{
    StoreScript(1, "#4," + Sjis("どうする？") + "," + Sjis("すすむ") + "," + Sjis("もどる") +
                       ",L1,L2,#7,9,L1#7,1,#99L2#7,2,#99");
    Start(Party(kControllerPlayer, 2));
    Frames(2);
    ASSERT_EQ(Event()->stateProc, EventChoiceState);
    // The whole text shows at once.
    EXPECT_EQ((std::tuple{GlyphsIn(Event()->shownGlyphs[0]), GlyphsIn(Event()->shownGlyphs[2])}),
              std::make_tuple(5, 3));
    Tap(kKeyUp);
    // The cursor sound plays even when it cannot move.
    EXPECT_EQ((std::tuple{Event()->answer, SoundCount(0)}), std::make_tuple(0, 1));
    Tap(kKeyDown);
    Tap(kKeyDown);
    EXPECT_EQ((std::tuple{Event()->answer, SoundCount(0)}), std::make_tuple(1, 3));
    // The bar stands behind row 2 for the second answer, at 0x64 white.
    EXPECT_FALSE(DrawnFrom(kChoiceBarRect).empty());
    EXPECT_TRUE(TintedAt(126.0f, 448.0f, 0x64FFFFFFu));
    // Confirm wins over a direction in the same frame.
    Tap((1u << kKeyReturn) | (1u << kKeyUp));
    RunToEnd(10);
    EXPECT_EQ((std::tuple{SoundCount(2), SoundCount(1) + SoundCount(9)}), std::make_tuple(1, 0));
}

TEST_F(EventMessage, ComputerBlinksThenAnswersAtRandom)
{
    StoreScript(1, "#4," + Sjis("どうする？") + "," + Sjis("はい") + "," + Sjis("いいえ") + ",A,B,A#7,1,#99B#7,2,#99");
    Start(Party(kControllerComputer, 2));
    Frames(2);
    std::vector<int> answers;
    for (int i = 0; i < 60; ++i, answers.push_back(Event()->answer))
        Frames(1);
    std::vector<int> expected;
    for (auto [value, count] : {std::pair{0, 1}, {1, 15}, {0, 15}, {1, 15}, {0, 14}})
        expected.insert(expected.end(), count, value);
    EXPECT_EQ(answers, expected);
    Frames(1);
    ASSERT_EQ(Event()->stateProc, EventChoiceHoldState);
    const int picked = Event()->answer;
    Frames(29);
    EXPECT_EQ(Event()->stateProc, EventChoiceHoldState); // 30 frames of hold, the last jumps
    // Through the hold the question, both answers and the bar on the picked one stay.
    EXPECT_EQ(FontSprites().size(), 5u + 2u + 3u);
    EXPECT_TRUE(TintedAt(126.0f, picked == 0 ? 420.0f : 448.0f, 0x64FFFFFFu));
    Frames(2);
    EXPECT_EQ((std::tuple{SoundCount(0), SoundCount(1), SoundCount(2)}),
              std::make_tuple(5, picked == 0 ? 1 : 0, picked == 1 ? 1 : 0));
}

TEST_F(EventMessage, LabelJumpsGoForwardToTheFirstMatchAndAMissingLabelEndsTheEvent)
{
    // Nobody has fallen: the first label, 'L1', is found inside 'L10'.
    StoreScript(1, "#16,L1,L2,L10#7,5,#99L1#7,6,#99");
    Start(Party(kControllerComputer, 2));
    RunToEnd(10);
    EXPECT_EQ((std::tuple{SoundCount(5), SoundCount(6)}), std::make_tuple(1, 0));

    // A label only before the command, or nowhere: nothing more runs, the event ends.
    StoreScript(2, "X#16,X,Y,#7,7,#99");
    Start(Party(kControllerComputer, 3, 0.0f, 1), 2);
    EXPECT_LE(RunToEnd(10), 4);
    EXPECT_EQ(SoundCount(7), 0);
}

TEST_F(EventMessage, PortraitAndWindowFrameStayUntilChanged)
{
    StoreScript(1, "#1,1,#3,0,#5,3,#3,20,#5,3,#1,0,#3,7,#5,3,#99");
    Start(Party(kControllerComputer, 2));
    Frames(5);
    // Face 0 (99 x 87) stands on the screen's bottom edge at x -4, over the window panel.
    EXPECT_TRUE(Drawn(-4.0f, 393.0f, {1948.0f, 0.0f, 2047.0f, 87.0f}));
    EXPECT_TRUE(TintedAt(126.0f, 386.0f, 0x96FFFFFFu));
    Frames(4); // portrait 20: none of the fourteen faces
    EXPECT_FALSE(Drawn(-4.0f, 393.0f, {1948.0f, 0.0f, 2047.0f, 87.0f}));
    Frames(6); // window off; portrait 7 is the first monster's face (139 x 85)
    EXPECT_TRUE(Drawn(-4.0f, 395.0f, {1908.0f, 100.0f, 2047.0f, 185.0f}));
    EXPECT_FALSE(TintedAt(-1.0f, 0.0f, 0x96FFFFFFu));
}

TEST_F(EventMessage, OnlyPortraitsZeroToThirteenShowAFaceAndAnyWindowNumberButZeroShowsTheFrame)
{
    // The same number for the window and the portrait. Portrait 0 is the face of row 0,
    // (1948, 0)-(2047, 87), and 13 that of row 17, (1350, 100)-(1437, 214), both on the
    // screen's bottom edge; numbers past the fourteen faces show none.
    const struct {
        int number;
        SpriteRect face;
    } rows[] = {{0, {1948, 0, 2047, 87}}, {13, {1350, 100, 1437, 214}}, {14, {}}, {99, {}}, {100, {}}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.number);
        KillAllTasks();
        const std::string n = std::to_string(row.number);
        StoreScript(1, "#1," + n + ",#3," + n + ",#5,3,#99");
        Start(Party(kControllerComputer, 2));
        Frames(4);
        int atLeftEdge = 0;
        for (const plat::RecordedSprite& s : plat::LastRecordedFrame().Sprites())
            atLeftEdge += std::fabs(s.left + 4.0f) < 0.01f;
        const bool face = row.face.right > 0;
        EXPECT_EQ(atLeftEdge, face ? 1 : 0);
        if (face)
            EXPECT_TRUE(Drawn(-4.0f, 480.0f - (row.face.bottom - row.face.top), row.face));
        EXPECT_EQ(TintedAt(126.0f, 386.0f, 0x96FFFFFFu), row.number != 0);
    }
}
