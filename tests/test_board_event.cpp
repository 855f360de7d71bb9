// The event-script pack, the script syntax, the script readers and the event task.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "board/event.h"
#include "board/world.h"
#include "engine/task.h"
#include "platform/msgbox.h"
#include "test_board_support.h"

using board_test::EventPack;
using board_test::Inverted;
using board_test::StoreScript;
using test_support::Bytes;

namespace {

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
        g_stageNumber = 1;
        SetEvents({1});
    }
    void TearDown() override
    {
        plat::ClearLastMessageBoxText();
        g_stageNumber = 1;
    }
    board_test::BoardWorld world_{1, 1}; // SetEvents gives the board its size

    // A one-row board whose cells carry these event numbers.
    static void SetEvents(const std::vector<int>& numbers)
    {
        ClearStageLayers();
        g_boardWidth = int32_t(numbers.size());
        g_boardHeight = 1;
        for (size_t i = 0; i < numbers.size(); ++i) g_eventLayer[i] = int8_t(numbers[i]);
    }

    static int Load(const std::string& text)
    {
        const Bytes pack = EventPack({text});
        return LoadEventScriptsMemory(pack.data(), pack.size());
    }
};

// An update that starts event 1 from inside the update pass, as an arriving piece does.
void StartEventOnce(Task* task)
{
    StartEvent(nullptr, 1);
    task->alive = 0;
}

Task* SpawnStarter()
{
    Task* task = CreateTask(10);
    task->alive = task->updateEnabled = 1;
    task->update = StartEventOnce;
    return task;
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
    const Bytes pack = EventPack({"#99@", stage2, "#1@"});
    g_stageNumber = 2;
    ASSERT_EQ(LoadEventScriptsMemory(pack.data(), pack.size()), 1);
    EXPECT_EQ(g_eventCount, 3);
    EXPECT_EQ((std::vector{Slot(0), Slot(1), Slot(2), Slot(3)}),
              (std::vector<std::string>{"#3,0,#99,", "#2,1,\x82\xA0\x82\xA0,#99", "LABEL#5,30,#99,", ""}));
    EXPECT_EQ(plat::LastMessageBoxText(), "");
}

TEST_F(EventScripts, AtSignAsSecondByteOfACharacterEndsTheEvent)
{
    SetEvents({1, 2});
    // 0x83 0x40 is one character; its second byte reads as '@'.
    ASSERT_EQ(Load("AB\x83\x40" "CD@"), 1);
    EXPECT_EQ((std::tuple{Slot(0), Slot(1)}), std::make_tuple("AB\x83", "CD"));
}

TEST_F(EventScripts, LoaderRefusalsAndItsTwoMessages)
{
    // Missing pack: no message.
    EXPECT_EQ(LoadEventScripts("/nonexistent/epack.dat"), 0);
    EXPECT_EQ(plat::LastMessageBoxText(), "");

    // 16,001 bytes does not fit; 16,000 does.
    const Bytes over = EventPack({std::string(16001, ' ')});
    EXPECT_EQ(LoadEventScriptsMemory(over.data(), over.size()), 0);
    EXPECT_EQ(plat::LastMessageBoxText(), kTextTooLong);
    plat::ClearLastMessageBoxText();
    EXPECT_EQ((std::tuple{Load("#99@" + std::string(15996, ' ')), plat::LastMessageBoxText(), Slot(0)}),
              std::make_tuple(1, "", "#99"));

    // A length word beyond the buffer is refused even when the file is short.
    const Bytes lying = EventPack({"#99@"}, 0x7FFFFFFF);
    EXPECT_EQ(LoadEventScriptsMemory(lying.data(), lying.size()), 0);
    EXPECT_EQ(plat::LastMessageBoxText(), kTextTooLong);

    // Stage numbers from a save file outside 1..3, and packs too short for their
    // offsets or length, go back silently like a missing pack.
    plat::ClearLastMessageBoxText();
    const Bytes good = EventPack({"#99@", "#99@", "#99@"});
    for (int stage : {0, 4, -1}) {
        g_stageNumber = stage;
        EXPECT_EQ(LoadEventScriptsMemory(good.data(), good.size()), 0) << stage;
    }
    g_stageNumber = 1;
    const Bytes noLength(good.begin(), good.begin() + 14);
    EXPECT_EQ(LoadEventScriptsMemory(noLength.data(), noLength.size()), 0);
    const Bytes noOffsets(good.begin(), good.begin() + 8);
    EXPECT_EQ(LoadEventScriptsMemory(noOffsets.data(), noOffsets.size()), 0);
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
    plat::ClearLastMessageBoxText();
    SetEvents({1});
    ASSERT_EQ(Load(std::string(1999, 'x') + "@"), 1);
    EXPECT_EQ(plat::LastMessageBoxText(), "");
    ASSERT_EQ(Load(std::string(2000, 'x') + "@"), 1);
    EXPECT_EQ(plat::LastMessageBoxText(), kEventTooLong);
}

TEST_F(EventScripts, OnlyTenEventsHaveSlots)
{
    SetEvents({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 127});
    std::string text;
    for (int n = 1; n <= 12; ++n) text += "#" + std::to_string(n) + ",@";
    ASSERT_EQ(Load(text), 1);
    EXPECT_EQ(g_eventCount, 10);
    EXPECT_EQ(Slot(0), "#1,");
    EXPECT_EQ(Slot(9), "#10,");
    EXPECT_EQ(FindHighestEventNumber(), 127);
}

TEST_F(EventScripts, AnEventFailingAtTheEndOfTheTextLeavesNothingToTheNext)
{
    // The text buffer is followed by what looks like a whole event: an event that
    // starts at the end must not read it.
    Bytes text(18000, uint8_t(~'/'));
    const Bytes tail = Inverted("#99@");
    std::copy(tail.begin(), tail.end(), text.begin() + 16000);
    int32_t cursor = 0;
    EXPECT_EQ(ExtractEventScript(0, text.data(), &cursor), 0) << "a comment that runs to the end fails";
    EXPECT_EQ(cursor, 16000);
    EXPECT_EQ(ExtractEventScript(1, text.data(), &cursor), 0);
    EXPECT_EQ(Slot(1), "");

    // Through the loader: event 1 is one long comment, event 2 starts at the end.
    SetEvents({1, 2});
    plat::ClearLastMessageBoxText();
    ASSERT_EQ(Load("/" + std::string(15999, 'x')), 1);
    EXPECT_EQ((std::tuple{plat::LastMessageBoxText(), Slot(1)}), std::make_tuple(kEventTooLong, ""));
}

TEST(ScriptReaders, NumbersTakeSixDigitsAndOneSeparator)
{
    std::vector<char> script(kEventScriptSlotBytes, '\0');
    const std::string text = "1234567,8;30#99#,";
    std::memcpy(script.data(), text.data(), text.size());
    // The seventh digit is the separator; the ',' then reads as a number without digits;
    // '#5,30#99' takes the '#' as the separator of 30. Each read: {value, cursor after}.
    int32_t cursor = 0;
    std::vector<std::pair<int, int>> reads;
    for (int i = 0; i < 5; ++i) {
        const int value = ReadScriptNumber(&cursor, script.data());
        reads.emplace_back(value, cursor);
    }
    EXPECT_EQ(reads, (std::vector<std::pair<int, int>>{{123456, 7}, {0, 8}, {8, 10}, {30, 13}, {99, 16}}));
}

TEST(ScriptReaders, ReadsStopAtTheEndOfTheSlot)
{
    // A store full of digits without a ',' or a NUL: the slot ends at its 2,000th byte
    // although the next slot's digits follow it.
    std::vector<char> store(kEventScriptBytes, '0');
    const char* last = store.data() + 8 * kEventScriptSlotBytes;
    int32_t cursor = 1995;
    std::memcpy(store.data() + 8 * kEventScriptSlotBytes + 1995, "12345", 5);
    EXPECT_EQ(ReadScriptNumber(&cursor, last), 12345);
    EXPECT_EQ(cursor, 2000);
    EXPECT_EQ(ReadScriptNumber(&cursor, last), 0);
    EXPECT_EQ(cursor, 2000);

    char field[8];
    std::memset(field, 'z', sizeof field);
    cursor = 1990;
    ReadScriptField(field, 8, &cursor, last);
    EXPECT_STREQ(field, "0000012");
    EXPECT_EQ(cursor, 2000) << "no ',' before the end: the cursor stops there";
    cursor = -5;
    EXPECT_EQ((std::tuple{ReadScriptNumber(&cursor, last), cursor}), std::make_tuple(0, 2000));
}

TEST(ScriptReaders, FieldsAreCutToTheirBufferAtAWholeCharacter)
{
    std::vector<char> script(kEventScriptSlotBytes, '\0');
    // Fifteen two-byte characters (30 bytes), then a short field.
    std::string text;
    for (int i = 0; i < 15; ++i) text += "\x82\xA0";
    text += ",AB,,";
    std::memcpy(script.data(), text.data(), text.size());

    char buffer[32];
    std::memset(buffer, 0x55, sizeof buffer);
    int32_t cursor = 0;
    ReadScriptField(buffer, 20, &cursor, script.data());
    EXPECT_EQ(std::strlen(buffer), 18u) << "nine whole characters; a tenth would need 20 bytes";
    for (int i = 19; i < 32; ++i) EXPECT_EQ(buffer[i], 0x55) << "byte " << i << " is past the buffer";
    EXPECT_EQ(cursor, 31) << "the rest of the field and its ',' are consumed";

    ReadScriptField(buffer, 20, &cursor, script.data());
    EXPECT_STREQ(buffer, "AB");
    ReadScriptField(buffer, 20, &cursor, script.data());
    EXPECT_EQ(std::pair(std::string(buffer), cursor), std::pair(std::string(), 35));

    // A 49-byte room keeps a 24-character line whole.
    std::string line;
    for (int i = 0; i < 24; ++i) line += "\x82\xA2";
    std::memcpy(script.data(), (line + ",").data(), line.size() + 1);
    char whole[49];
    cursor = 0;
    ReadScriptField(whole, 49, &cursor, script.data());
    EXPECT_EQ(std::string(whole), line);
}

class EventTaskRun : public ::testing::Test {
protected:
    EventTaskRun() { g_eventCount = 1; }
    board_test::BoardWorld world_{1, 1};

    static EventTask* Event() { return TaskWork<EventTask>(&g_tasks[kEventSlot]); }
    static bool Running() { return g_tasks[kEventSlot].alive != 0; }

    // Frames until slot 150 is free again, at most limit.
    static int FramesUntilEnd(int limit)
    {
        for (int frame = 1; frame <= limit; ++frame) {
            UpdateAllTasks();
            if (!Running()) return frame;
        }
        return -1;
    }
};

TEST_F(EventTaskRun, StartsWithItsFieldsAndIsRefusedWhileTheSlotIsTaken)
{
    StoreScript(1, "#99,");
    int piece = 0;
    ASSERT_EQ(StartEvent(reinterpret_cast<BoardPiece*>(&piece), 1), 1);
    EXPECT_EQ(g_tasks[kEventSlot].kind, 100);
    EXPECT_EQ((std::pair{Event()->scriptSlot, Event()->portrait}), (std::pair{0, -1}));
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

TEST_F(EventTaskRun, FirstCommandRunsInTheSecondFrameOneCommandAFrame)
{
    // Started from a piece's slot during the update pass: the event's first update
    // runs in the same pass, and only hands over to the dispatcher.
    StoreScript(1, "#99,");
    SpawnStarter();
    UpdateAllTasks();
    ASSERT_TRUE(Running());
    EXPECT_EQ((std::tuple{Event()->stateProc, Event()->cursor}), std::make_tuple(&EventRunState, 0));
    UpdateAllTasks();
    EXPECT_FALSE(Running()) << "#99 ends the event in its second frame";

    // Commands without an action here, a label and the ignored numbers each take a frame.
    StoreScript(1, "#7,1,LABEL#0,#19,#100,#99,");
    SpawnStarter();
    EXPECT_EQ(FramesUntilEnd(20), 6);
}

TEST_F(EventTaskRun, EventWithoutItsClosingCommandStillEnds)
{
    StoreScript(1, "#7,1,");
    SpawnStarter();
    EXPECT_EQ(FramesUntilEnd(20), 3);

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
