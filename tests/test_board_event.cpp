// The event-script pack, the script syntax, the script readers and the event task.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "board/event.h"
#include "board/stage_rules.h"
#include "board/task_table.h"
#include "board/world.h"
#include "engine/glyph_table.h"
#include "engine/task.h"
#include "platform/msgbox.h"
#include "test_board_support.h"

using board_test::EventPack;
using board_test::StoreScript;
using test_support::Bytes;

namespace {

// The game's two loader messages, in the CP932 the box is given.
const std::string kTextTooLong = "\x83\x43\x83\x78\x83\x93\x83\x67\x95\xB6\x82\xCD\x88\xEA\x8E\x9E\x95\xDB\x91\xB6"
                                 "\x97\xCC\x88\xE6\x82\xF0\x92\xB4\x82\xA6\x82\xDC\x82\xB5\x82\xBD";
const std::string kEventTooLong = "\x83\x43\x83\x78\x83\x93\x83\x67\x83\x66\x81\x5B\x83\x5E\x82\xCD\x89\xDF\x91\xE5"
                                  "\x82\xC5\x82\xB7";

std::string Slot(int slot)
{
    const char* s = g_eventScripts + slot * kEventScriptSlotBytes;
    return std::string(s, strnlen(s, kEventScriptSlotBytes));
}

class EventScripts : public ::testing::Test {
protected:
    void SetUp() override
    {
        plat::RecordMessageBoxes(true);
        plat::ClearLastMessageBoxText();
        SetEvents({1});
    }
    void TearDown() override
    {
        plat::ClearLastMessageBoxText();
        g_stageLayers.stageNumber = 1;
    }
    board_test::BoardWorld world_{1, 1}; // SetEvents gives the board its size

    // A one-row board whose cells carry these event numbers, on stage 1.
    static void SetEvents(const std::vector<int>& numbers)
    {
        ClearStageLayers();
        g_stageLayers.stageNumber = 1;
        g_stageLayers.boardWidth = int32_t(numbers.size());
        g_stageLayers.boardHeight = 1;
        for (size_t i = 0; i < numbers.size(); ++i)
            g_stageLayers.eventLayer[i] = int8_t(numbers[i]);
    }

    static int Load(const std::string& text)
    {
        const Bytes pack = EventPack({text});
        return LoadEventScriptsMemory(pack.data(), pack.size());
    }
    static int Load(const Bytes& pack) { return LoadEventScriptsMemory(pack.data(), pack.size()); }
};

// An update that starts event 1 from inside the update pass, as an arriving piece does.
void StartEventOnce(Task* task)
{
    StartEvent(nullptr, 1);
    task->alive = 0;
}

void SpawnStarter()
{
    Task* task = CreateTask(10);
    task->alive = task->updateEnabled = 1;
    task->update = StartEventOnce;
}

// A script slot holding the text, the rest zero.
std::vector<char> Script(const std::string& text)
{
    std::vector<char> script(kEventScriptSlotBytes, '\0');
    std::memcpy(script.data(), text.data(), text.size());
    return script;
}

} // namespace

TEST_F(EventScripts, DecodesTheStageEntryAndCutsOneScriptPerEvent)
{
    SetEvents({0, 2, 1, -3, 3});
    // Stage 2 of three: comments go with their line feed, spaces and line ends vanish,
    // '@' ends each event and is not kept.
    const std::string stage2 = "/ first event\r\n#3,0, #99,@"
                               "#2,1,\n\x82\xA0/ a comment inside a line\n\x82\xA0,#99@"
                               "LABEL #5,30,#99,@";
    g_stageLayers.stageNumber = 2;
    ASSERT_EQ(Load(EventPack({"#99@", stage2, "#1@"})), 1);
    EXPECT_EQ(g_eventCount, 3);
    EXPECT_EQ((std::vector{Slot(0), Slot(1), Slot(2), Slot(3)}),
              (std::vector<std::string>{"#3,0,#99,", "#2,1,\x82\xA0\x82\xA0,#99", "LABEL#5,30,#99,", ""}));
    EXPECT_EQ(plat::LastMessageBoxText(), "");

    // 0x83 0x40 is one character, but its second byte reads as '@' and ends the event.
    SetEvents({1, 2});
    ASSERT_EQ(Load("AB\x83\x40"
                   "CD@"),
              1);
    EXPECT_EQ((std::tuple{Slot(0), Slot(1)}), std::make_tuple("AB\x83", "CD"));

    // Only ten events have slots; the highest number on the board is still found.
    SetEvents({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 127});
    std::string text;
    for (int n = 1; n <= 12; ++n)
        text += "#" + std::to_string(n) + ",@";
    ASSERT_EQ(Load(text), 1);
    EXPECT_EQ((std::tuple{g_eventCount, Slot(0), Slot(9), FindHighestEventNumber()}),
              std::make_tuple(10, "#1,", "#10,", 127));
}

TEST_F(EventScripts, LoaderRefusalsAndItsTwoMessages)
{
    EXPECT_EQ(LoadEventScripts("/nonexistent/epack.dat"), 0) << "a missing pack says nothing";
    EXPECT_EQ(plat::LastMessageBoxText(), "");

    // 16,001 bytes do not fit; 16,000 do. A length word beyond the buffer is refused
    // even when the file is short.
    for (const Bytes& pack : {EventPack({std::string(16001, ' ')}), EventPack({"#99@"}, 0x7FFFFFFF)}) {
        plat::ClearLastMessageBoxText();
        EXPECT_EQ((std::tuple{Load(pack), plat::LastMessageBoxText()}), std::make_tuple(0, kTextTooLong));
    }
    plat::ClearLastMessageBoxText();
    EXPECT_EQ((std::tuple{Load("#99@" + std::string(15996, ' ')), plat::LastMessageBoxText(), Slot(0)}),
              std::make_tuple(1, "", "#99"));

    // Stage numbers from a save file outside 1..3, and packs too short for their
    // offsets or length, go back silently like a missing pack.
    const Bytes good = EventPack({"#99@", "#99@", "#99@"});
    for (int stage : {0, 4, -1}) {
        g_stageLayers.stageNumber = stage;
        EXPECT_EQ(Load(good), 0) << stage;
    }
    g_stageLayers.stageNumber = 1;
    for (size_t cut : {14u, 8u})
        EXPECT_EQ(Load(Bytes(good.begin(), good.begin() + long(cut))), 0) << cut;
    EXPECT_EQ(plat::LastMessageBoxText(), "");
}

TEST_F(EventScripts, OverlongOrUnendedEventsReportAndLoadingGoesOn)
{
    // Event 3 lacks its '@': it runs into the zeros behind the text (0xFF bytes).
    SetEvents({1, 2, 3});
    ASSERT_EQ(Load("#99@#7,1,#99@#99"), 1);
    EXPECT_EQ((std::tuple{plat::LastMessageBoxText(), Slot(0), Slot(1)}),
              std::make_tuple(kEventTooLong, "#99", "#7,1,#99"));

    // 1,999 bytes fit a slot; 2,000 do not.
    for (auto [length, message] : {std::pair{1999, ""}, {2000, kEventTooLong.c_str()}}) {
        plat::ClearLastMessageBoxText();
        SetEvents({1});
        ASSERT_EQ(Load(std::string(length, 'x') + "@"), 1);
        EXPECT_EQ(plat::LastMessageBoxText(), message) << length;
    }
}

TEST_F(EventScripts, AnEventFailingAtTheEndOfTheTextLeavesNothingToTheNext)
{
    // The text buffer is followed by what looks like a whole event: an event that
    // starts at the end must not read it.
    Bytes text(18000, uint8_t(~'/'));
    const Bytes tail = board_test::Inverted("#99@");
    std::copy(tail.begin(), tail.end(), text.begin() + 16000);
    int32_t cursor = 0;
    EXPECT_EQ(ExtractEventScript(0, text.data(), &cursor), 0) << "a comment that runs to the end fails";
    EXPECT_EQ(cursor, 16000);
    EXPECT_EQ((std::tuple{ExtractEventScript(1, text.data(), &cursor), Slot(1)}), std::make_tuple(0, ""));

    // Through the loader: event 1 is one long comment, event 2 starts at the end.
    SetEvents({1, 2});
    ASSERT_EQ(Load("/" + std::string(15999, 'x')), 1);
    EXPECT_EQ((std::tuple{plat::LastMessageBoxText(), Slot(1)}), std::make_tuple(kEventTooLong, ""));
}

// The loader and the rules take plain bytes in runs of eight: wherever a mark, the
// slot's end or the text's end falls in such a run, what they take is what byte-by-byte
// reading takes.
TEST_F(EventScripts, MarksAndEndsCutTheTextWhereverTheyFall)
{
    for (int k = 0; k < 17; ++k) {
        SCOPED_TRACE(k);
        // Every mark after k plain bytes; a '@' after a lead byte still ends the event.
        SetEvents({1, 2});
        ASSERT_EQ(
            Load(std::string(k, 'a') + " \r\n" + std::string(9, 'b') + "/ c\n" + std::string(k, 'd') + "\x83@yz@"), 1);
        EXPECT_EQ((std::tuple{Slot(0), Slot(1)}),
                  std::make_tuple(std::string(k, 'a') + std::string(9, 'b') + std::string(k, 'd') + "\x83", "yz"));

        // The slot's last byte at every place in a run: 1,999 bytes fit after a space,
        // more do not, the next event starts behind the byte that did not fit, and the
        // rules count them alike.
        for (int size : {1999, 2000, 2010}) {
            SetEvents({1, 2});
            plat::ClearLastMessageBoxText();
            const std::string text = std::string(k, 'p') + " " + std::string(size - k, 'x') + "@#99@";
            ASSERT_EQ(Load(text), 1);
            EXPECT_EQ((std::tuple{plat::LastMessageBoxText(), Slot(1)}),
                      std::make_tuple(size == 1999 ? "" : kEventTooLong, size == 2010 ? std::string(9, 'x') : "#99"))
                << size;
            StageRuleReport report;
            const Bytes inverted = board_test::Inverted(text);
            CheckStageRules(inverted.data(), uint32_t(inverted.size()), &report);
            const std::string tooLong = "event 1 is " + std::to_string(size) + " bytes; a script holds at most 1999";
            const bool refused =
                std::find(report.problems.begin(), report.problems.end(), tooLong) != report.problems.end();
            EXPECT_EQ(refused, size > 1999) << size;
        }

        // The text's last byte is never taken, wherever the run meets it.
        Bytes text(16016, uint8_t(~'x'));
        std::fill(text.begin() + 15999, text.end(), uint8_t(~'y'));
        std::memset(g_eventScripts, 0, kEventScriptSlotBytes);
        int32_t cursor = 14001 + k;
        EXPECT_EQ(ExtractEventScript(0, text.data(), &cursor), 0);
        EXPECT_EQ((std::tuple{cursor, Slot(0)}), std::make_tuple(16000, std::string(1998 - k, 'x')));
    }
}

TEST(ScriptReaders, NumbersTakeSixDigitsAndOneSeparatorAndStopAtTheSlotEnd)
{
    // The seventh digit is the separator; the ',' then reads as a number without digits;
    // '#5,30#99' takes the '#' as the separator of 30. Each read: {value, cursor after}.
    const std::vector<char> script = Script("1234567,8;30#99#,");
    int32_t cursor = 0;
    std::vector<std::pair<int, int>> reads;
    for (int i = 0; i < 5; ++i) {
        const int value = ReadScriptNumber(&cursor, script.data());
        reads.emplace_back(value, cursor);
    }
    EXPECT_EQ(reads, (std::vector<std::pair<int, int>>{{123456, 7}, {0, 8}, {8, 10}, {30, 13}, {99, 16}}));

    // A store full of digits without a ',' or a NUL: the slot ends at its 2,000th byte
    // although the next slot's digits follow it.
    std::vector<char> store(kEventScriptBytes, '0');
    const char* last = store.data() + 8 * kEventScriptSlotBytes;
    std::memcpy(store.data() + 8 * kEventScriptSlotBytes + 1995, "12345", 5);
    cursor = 1995;
    EXPECT_EQ((std::tuple{ReadScriptNumber(&cursor, last), cursor}), std::make_tuple(12345, 2000));
    EXPECT_EQ((std::tuple{ReadScriptNumber(&cursor, last), cursor}), std::make_tuple(0, 2000));
    char field[8];
    std::memset(field, 'z', sizeof field);
    cursor = 1990;
    ReadScriptField(field, 8, &cursor, last);
    EXPECT_EQ((std::tuple{std::string(field), cursor}), std::make_tuple("0000012", 2000));
    cursor = -5;
    EXPECT_EQ((std::tuple{ReadScriptNumber(&cursor, last), cursor}), std::make_tuple(0, 2000));
}

TEST(ScriptReaders, FieldsAreCutToTheirBufferAtAWholeCharacter)
{
    // Fifteen two-byte characters (30 bytes), then a short field.
    std::string text;
    for (int i = 0; i < 15; ++i)
        text += "\x82\xA0";
    const std::vector<char> script = Script(text + ",AB,,");
    char buffer[32];
    std::memset(buffer, 0x55, sizeof buffer);
    int32_t cursor = 0;
    ReadScriptField(buffer, 20, &cursor, script.data());
    EXPECT_EQ(std::strlen(buffer), 18u) << "nine whole characters; a tenth would need 20 bytes";
    for (int i = 19; i < 32; ++i)
        EXPECT_EQ(buffer[i], 0x55) << "byte " << i << " is past the buffer";
    EXPECT_EQ(cursor, 31) << "the rest of the field and its ',' are consumed";
    ReadScriptField(buffer, 20, &cursor, script.data());
    EXPECT_STREQ(buffer, "AB");
    ReadScriptField(buffer, 20, &cursor, script.data());
    EXPECT_EQ(std::pair(std::string(buffer), cursor), std::pair(std::string(), 35));
}

class EventTaskRun : public ::testing::Test {
protected:
    EventTaskRun() { g_eventCount = 1; }
    board_test::BoardWorld world_{1, 1};

    static EventTask* Event() { return TaskWork<EventTask>(&g_tasks[kEventSlot]); }

    // Frames until slot 150 is free again, at most limit.
    static int FramesUntilEnd(int limit)
    {
        for (int frame = 1; frame <= limit; ++frame) {
            UpdateAllTasks();
            if (!g_tasks[kEventSlot].alive)
                return frame;
        }
        return -1;
    }
};

TEST_F(EventTaskRun, StartsWithItsFieldsAndIsRefusedWhileTheSlotIsTaken)
{
    StoreScript(1, "#99,");
    int piece = 0;
    ASSERT_EQ(StartEvent(reinterpret_cast<BoardPiece*>(&piece), 1), 1);
    EXPECT_EQ((std::tuple{g_tasks[kEventSlot].kind, Event()->scriptSlot, Event()->portrait}),
              std::make_tuple(100, 0, -1));
    EXPECT_EQ(Event()->stateProc, &EventStartState);
    EXPECT_STREQ(GetEventScript(Event()), "#99,");
    EXPECT_EQ(StartEvent(nullptr, 1), 0);
    EXPECT_EQ(Event()->piece, reinterpret_cast<BoardPiece*>(&piece)) << "the running event is left alone";

    KillAllTasks();
    Task* other = CreateTask(kEventSlot);
    other->alive = 1;
    other->kind = 7;
    EXPECT_EQ((std::tuple{StartEvent(nullptr, 1), g_tasks[kEventSlot].kind}), std::make_tuple(0, 7));
}

TEST_F(EventTaskRun, FirstCommandRunsInTheSecondFrameOneCommandAFrameAndEveryScriptEnds)
{
    // Started from a piece's slot during the update pass: the event's first update
    // runs in the same pass, and only hands over to the dispatcher.
    StoreScript(1, "#99,");
    SpawnStarter();
    UpdateAllTasks();
    ASSERT_TRUE(g_tasks[kEventSlot].alive);
    EXPECT_EQ((std::tuple{Event()->stateProc, Event()->cursor}), std::make_tuple(&EventRunState, 0));
    EXPECT_EQ(FramesUntilEnd(1), 1) << "#99 ends the event in its second frame";

    // Commands without an action here, a label and the ignored numbers each take a
    // frame; a script without its closing command still ends.
    for (auto [script, frames] : {std::pair{"#7,1,LABEL#0,#19,#100,#99,", 6}, {"#7,1,", 3}}) {
        StoreScript(1, script);
        SpawnStarter();
        EXPECT_EQ(FramesUntilEnd(20), frames) << script;
    }

    // '#5,30#99' once the wait has read its 30: the cursor stands behind the '#'.
    StoreScript(1, "#5,30#99");
    SpawnStarter();
    UpdateAllTasks();
    Event()->cursor = 6;
    EXPECT_EQ(FramesUntilEnd(5), 1);

    // Events without a slot read an empty script and end at once.
    g_eventCount = 10;
    ASSERT_EQ(StartEvent(nullptr, 12), 1);
    EXPECT_STREQ(GetEventScript(Event()), "");
    EXPECT_EQ(FramesUntilEnd(5), 2);
}

namespace {

// A 9 x 3 stage as the builder builds it: row 1 holds the three teams' squares (events
// 1 to 3, the start under team 0), a square with event 5, a corridor, a square and the
// goal (event 4); blocked ground all round.
board_test::MapEntry RuledMap()
{
    board_test::MapEntry m(9, 3, 15);
    m.Cell(1, 1, 10, kRouteStart | 1);
    for (int column : {2, 3, 4, 6})
        m.Cell(column, 1, 10 + column % 5, 1);
    m.Cell(5, 1, 0);
    m.Cell(7, 1, 12, kRouteGoal);
    for (auto [column, n] : {std::pair{1, 1}, {2, 2}, {3, 3}, {7, 4}, {4, 5}})
        m.event[m.At(column, 1)] = uint8_t(n);
    return m;
}

std::vector<std::string> RuledScripts()
{
    const std::string name = std::string(g_glyphTable[1].code) + g_glyphTable[2].code;
    return {"$1,0,0,6,0,1,2,3,4,5," + name + ",#99,", "$1,1,0,6,6,7,8,9,10,11," + name + ",#99,",
            "$1,2,0,6,12,13,14,15,16,17," + name + ",#99,", "#43,#42,#99,", "#99,"};
}

std::string Joined(const std::vector<std::string>& events)
{
    std::string text;
    for (const std::string& e : events)
        text += e + "@\n";
    return text;
}

} // namespace

// The game plays only scripts and pieces the pack builder would have built: a script
// pack file (with its map) that breaks a rule goes back with no script loaded, and
// stderr says what is wrong and where; a team leaving without a place is allowed.
TEST(EventScriptRules, TheGameRefusesWhatTheBuilderWouldNotBuildAndSaysWhereItIsWrong)
{
    board_test::BoardWorld world(1, 1);
    plat::RecordMessageBoxes(true);
    using Scripts = std::vector<std::string>;
    struct Case {
        const char* what;
        std::function<void(board_test::MapEntry&, Scripts&)> change;
        const char* reason;
    };
    const std::string over(2000 - 4, 'A');
    const Case cases[] = {
        {"as the builder builds it", [](auto&, auto&) {}, nullptr},
        {"a team that leaves without a place", [](auto&, Scripts& s) { s[4] = "#42,#99,"; }, nullptr},
        {"a '$' heading of 999,999", [](auto&, Scripts& s) { s[1].replace(0, 6, "$1,1,999999,"); },
         "event 2, byte 5: heading 999999 is outside 0..270"},
        {"seven members", [](auto&, Scripts& s) { s[1].replace(0, 8, "$1,1,0,7,"); },
         "event 2, byte 7: member count 7 is outside 1..6"},
        {"no members", [](auto&, Scripts& s) { s[1] = "$1,1,0,0,#99,"; }, "member count 0 is outside 1..6"},
        {"a character id of 25", [](auto&, Scripts& s) { s[2].replace(s[2].find(",17,"), 4, ",25,"); },
         "event 3, byte 24: character id 25 is outside 0..24"},
        {"no record for team 1", [](auto&, Scripts& s) { s[1] = "#99,"; }, "team 1 has 0 start cells; it needs one"},
        {"a piece kind of 3", [](auto&, Scripts& s) { s[0][1] = '3'; },
         "event 1, byte 1: piece kind (1 team, 2 enemy group) 3 is outside 1..2"},
        {"a wait of 999,999 frames", [](auto&, Scripts& s) { s[4] = "#5,999999,#99,"; },
         "event 5, byte 3: wait frames 999999 is outside 0..35999"},
        {"a square turned into blocked ground", [](auto&, Scripts& s) { s[4] = "#10,15,#99,"; },
         "event 5, byte 4: square kind 15 is 15 as a byte, outside -128..14"},
        {"the goal recorded twice", [](auto&, Scripts& s) { s[3] = "#43,#43,#42,#99,"; },
         "event 4, byte 4: a path runs #43 a second time"},
        {"a goal that keeps its team", [](auto&, Scripts& s) { s[3] = "#43,#99,"; }, "ends without #43 and then #42"},
        {"a place taken on a square that keeps the team", [](auto&, Scripts& s) { s[4] = "#43,#99,"; },
         "event 5, byte 4: a path records the goal (#43) and ends without leaving the race (#42)"},
        // A go-back with no way back ends where it starts: the game plays it.
        {"a go-back with no way back", [](auto&, Scripts& s) { s[4] = "#9,#99,"; }, nullptr},
        {"a script of 2,000 bytes", [&](auto&, Scripts& s) { s[4] = "#99," + over; },
         "event 5 is 2000 bytes; a script holds at most 1999"},
        {"an event the map does not use", [](auto&, Scripts& s) { s.push_back("#99,"); }, nullptr},
        // The dispatcher would run the '#' of a name; the pieces are placed from the first '$'.
        {"a '#' in a team's name", [](auto&, Scripts& s) { s[1] = "$1,1,0,6,6,7,8,9,10,11,A#5,#99,"; },
         "event 2, byte 23: piece name holds a '#'"},
        {"a '$' in a message before any record", [](auto&, Scripts& s) { s[4] = "#2,1,A$1,#99,"; },
         "event 5, byte 5: message line holds a '$'"},
        {"a team on blocked ground",
         [](board_test::MapEntry& m, auto&) { m.event[m.At(2, 1)] = 0, m.event[m.At(2, 0)] = 2; },
         "mappack.dat: stage 1, row 0, column 2: the piece of event 2 starts on blocked ground"},
        // A square open every way and corridors open on every side play as movement says:
        // every way a team can take still leads to the goal.
        {"a square open every way",
         [](board_test::MapEntry& m, auto&) { m.Cell(4, 0, 10, 4), m.Cell(4, 2, 10, 8), m.route[m.At(4, 1)] = 15; },
         nullptr},
        {"an open field of corridors",
         [](board_test::MapEntry& m, auto&) { m.Cell(5, 0, 0), m.Cell(5, 2, 0), m.Cell(6, 0, 0); }, nullptr},
    };
    test_support::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        board_test::MapEntry map = RuledMap();
        Scripts scripts = RuledScripts();
        c.change(map, scripts);
        test_support::WriteFileBytes(dir / "mappack.dat", board_test::MapPack({{0, map.Serialised()}}));
        test_support::WriteFileBytes(dir / "epack.dat", EventPack({Joined(scripts)}));
        g_stageLayers.stageNumber = 1;
        ASSERT_EQ(LoadStageFromMapPack((dir / "mappack.dat").c_str()), 1);
        testing::internal::CaptureStderr();
        const int loaded = LoadEventScripts((dir / "epack.dat").c_str());
        const std::string said = testing::internal::GetCapturedStderr();
        if (c.reason == nullptr) {
            EXPECT_EQ((std::tuple{loaded, g_eventCount, said}), std::make_tuple(1, 5, std::string()));
            continue;
        }
        EXPECT_EQ((std::tuple{loaded, g_eventCount, Slot(0)}), std::make_tuple(0, 0, std::string()));
        // A problem of the map names the map pack on its own line.
        const bool ofMap = std::string(c.reason).rfind("mappack.dat: ", 0) == 0;
        EXPECT_EQ(said.find("epack.dat: the events of stage 1 cannot be read:") != std::string::npos, !ofMap) << said;
        EXPECT_NE(said.find(c.reason), std::string::npos) << said;
    }
    // A text the file cuts short is refused before any event is taken.
    Bytes cut = EventPack({Joined(RuledScripts())});
    cut.pop_back();
    test_support::WriteFileBytes(dir / "epack.dat", cut);
    plat::ClearLastMessageBoxText();
    testing::internal::CaptureStderr();
    EXPECT_EQ(LoadEventScripts((dir / "epack.dat").c_str()), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("the file ends inside the stage's text"), std::string::npos);
    EXPECT_EQ(plat::LastMessageBoxText(), "");
}
