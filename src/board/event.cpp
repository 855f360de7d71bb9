// Square events: the script pack reader, the script store, the script readers and the
// event task with its one-command-a-frame dispatcher.
#include "board/event.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "board/event_commands.h"
#include "board/stage.h"
#include "board/stage_rules.h"
#include "board/task_table.h"
#include "board/world.h"
#include "engine/main_window.h"
#include "platform/byte_order.h"
#include "platform/files.h"
#include "platform/msgbox.h"

int32_t g_eventCount = 0;

namespace {

// The three stages' texts, 16,000 bytes each at most, with their header; a pack longer
// than this is cut here and what lies beyond counts as not in the file.
constexpr size_t kEventPackReadLimit = size_t(1) << 20;

// "イベント文は一時保存領域を超えました": the stage's text does not fit its buffer.
const char kTextTooLongMessage[] = "\x83\x43\x83\x78\x83\x93\x83\x67\x95\xB6\x82\xCD\x88\xEA\x8E\x9E\x95\xDB\x91\xB6"
                                   "\x97\xCC\x88\xE6\x82\xF0\x92\xB4\x82\xA6\x82\xDC\x82\xB5\x82\xBD";
// "イベントデータは過大です": one event does not fit its slot.
const char kEventTooLongMessage[] = "\x83\x43\x83\x78\x83\x93\x83\x67\x83\x66\x81\x5B\x83\x5E\x82\xCD\x89\xDF\x91\xE5"
                                    "\x82\xC5\x82\xB7";

// Read by events whose slot does not exist: it holds no command, so such an event ends
// at its first command.
const char kEmptyScript[kEventScriptSlotBytes] = {};

// Script reads past the slot read as NUL, so no reader leaves its 2,000 bytes.
char ScriptByte(const char* script, int32_t position)
{
    if (position < 0 || position >= kEventScriptSlotBytes)
        return '\0';
    return script[position];
}

void ClampCursor(int32_t* cursor)
{
    if (*cursor < 0 || *cursor > kEventScriptSlotBytes)
        *cursor = kEventScriptSlotBytes;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// CP932 lead bytes: the next byte belongs to the same character.
bool IsLeadByte(char c)
{
    const auto b = static_cast<unsigned char>(c);
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

void EndEventTask(Task* task)
{
    EventTask* event = TaskWork<EventTask>(task);
    if (event->alive == 0)
        task->alive = 0;
}

} // namespace

namespace {

// Takes the scripts of stage g_stageLayers.stageNumber out of a pack's bytes; 0 with *why saying
// what is wrong, or 1 with *why set when the text was only partly there. *length is the
// text's length as the pack gives it, *failed the events that did not fit their slots.
// With wholeOnly, a text the file cuts short is refused before anything is taken.
int ReadEventEntry(const uint8_t* data, size_t size, const char** why, uint32_t* length = nullptr,
                   int32_t* failed = nullptr, bool wholeOnly = false)
{
    *why = "no script store";
    if (g_eventText == nullptr || g_eventScripts == nullptr || data == nullptr)
        return 0;
    std::memset(g_eventText, 0, kEventTextBytes);
    // The stage number may come from a save file, and a pack too short for its offsets
    // or length has nothing to read: both go back to the title like a missing pack.
    *why = "no such stage";
    if (g_stageLayers.stageNumber < 1 || g_stageLayers.stageNumber > 3)
        return 0;
    *why = "shorter than its table of three offsets";
    if (size < 12)
        return 0;
    const uint64_t entry = 12 + uint64_t(plat::LoadLE32(data + 4 * (g_stageLayers.stageNumber - 1)));
    *why = "the stage's offset points past the end of the file";
    if (entry + 4 > size)
        return 0;
    const uint32_t textLength = plat::LoadLE32(data + entry);
    if (length != nullptr)
        *length = textLength;
    if (textLength > static_cast<uint32_t>(kEventTextBytes)) {
        plat::ShowMessageBox(g_hWnd, kTextTooLongMessage);
        *why = "the stage's text is longer than its 16,000-byte store";
        return 0;
    }
    *why = nullptr;
    // A text shorter than its length keeps the zeros behind it, which decode to 0xFF.
    const uint64_t available = size - (entry + 4);
    if (available < textLength) {
        *why = "the file ends inside the stage's text";
        if (wholeOnly)
            return 0;
    }
    std::memcpy(g_eventText, data + entry + 4, static_cast<size_t>(available < textLength ? available : textLength));

    // Only ten slots exist: higher event numbers on the map count as no event.
    const int32_t highest = FindHighestEventNumber();
    g_eventCount = highest < kMaxEvents ? highest : kMaxEvents;
    ClearEventScripts();
    int32_t cursor = 0;
    for (int32_t n = 1; n <= g_eventCount; ++n) {
        if (!ExtractEventScript(n - 1, g_eventText, &cursor)) {
            plat::ShowMessageBox(g_hWnd, kEventTooLongMessage);
            if (failed != nullptr)
                *failed += 1;
        }
    }
    return 1;
}

} // namespace

int LoadEventScripts(const char* fileName)
{
    std::vector<uint8_t> pack(kEventPackReadLimit);
    int error = 0;
    const long size = plat::ReadFilePrefix(fileName, pack.data(), pack.size(), &error);
    std::vector<std::string> problems;
    if (size < 0) {
        if (g_eventText != nullptr)
            std::memset(g_eventText, 0, kEventTextBytes);
        problems.emplace_back(plat::FileErrorText(error));
    } else if (LoadEventScriptsForPlay(pack.data(), static_cast<size_t>(size), &problems, nullptr)) {
        return 1;
    }
    // The player only sees the title come back (or the load error): say why here.
    ReportStageProblems(
        fileName, "the events of stage " + std::to_string(g_stageLayers.stageNumber) + " cannot be read", problems);
    return 0;
}

int LoadEventScriptsMemory(const uint8_t* data, size_t size, uint32_t* textLength)
{
    const char* why = nullptr;
    return ReadEventEntry(data, size, &why, textLength);
}

int LoadEventScriptsForPlay(const uint8_t* data, size_t size, std::vector<std::string>* problems,
                            StageRuleReport* report)
{
    const char* why = nullptr;
    uint32_t length = 0;
    int32_t failed = 0;
    StageRuleReport own;
    StageRuleReport* rules = report != nullptr ? report : &own;
    // The builder writes the whole text, and every event of it fits its slot.
    if (!ReadEventEntry(data, size, &why, &length, &failed, true)) {
        problems->emplace_back(why);
        g_eventCount = 0;
        ClearEventScripts();
        return 0;
    }
    const size_t before = problems->size();
    CheckStageRules(g_eventText, length, rules);
    if (failed > 0 && rules->problems.empty())
        problems->emplace_back(std::to_string(failed) + " events do not fit their 1,999-byte slots");
    problems->insert(problems->end(), rules->problems.begin(), rules->problems.end());
    if (problems->size() == before)
        return 1;
    g_eventCount = 0;
    ClearEventScripts();
    return 0;
}

size_t DecodePlainScriptBytes(const uint8_t* text, size_t from, size_t to, char* out)
{
    constexpr uint64_t kOnes = 0x0101010101010101u;
    constexpr uint64_t kHighs = kOnes << 7;
    // Whether any byte of the word equals the mark: (x - 1) & ~x sets a byte's high bit
    // exactly when some byte of x is zero.
    const auto holds = [](uint64_t word, uint8_t mark) {
        const uint64_t x = word ^ (kOnes * mark);
        return ((x - kOnes) & ~x & kHighs) != 0;
    };
    size_t taken = 0;
    while (to >= from + taken + 8) {
        uint64_t word = 0;
        std::memcpy(&word, text + from + taken, sizeof word);
        word = ~word;
        if (holds(word, '/') || holds(word, '@') || holds(word, '\n') || holds(word, '\r') || holds(word, ' '))
            break;
        if (out != nullptr)
            std::memcpy(out + taken, &word, sizeof word);
        taken += 8;
    }
    return taken;
}

int ExtractEventScript(int32_t slot, const uint8_t* text, int32_t* cursor)
{
    if (slot < 0 || slot >= kMaxEvents || g_eventScripts == nullptr)
        return 0;
    char* script = g_eventScripts + slot * kEventScriptSlotBytes;
    constexpr int32_t lastPosition = kEventTextBytes - 1;
    int32_t count = 0;
    for (;;) {
        // A cursor left at the end by an earlier event that failed there has nothing
        // more to take.
        if (*cursor < 0 || *cursor > lastPosition)
            return 0;
        // Plain bytes go to the slot as they are while both the slot and the text have
        // room for them; a text shorter than its store is read through its zeros too.
        const auto plain = static_cast<int32_t>(DecodePlainScriptBytes(
            text, static_cast<size_t>(*cursor),
            static_cast<size_t>(std::min(lastPosition, *cursor + kEventScriptSlotBytes - count)), script + count));
        *cursor += plain;
        count += plain;
        const int32_t position = (*cursor)++;
        if (count > kEventScriptSlotBytes - 1 || position == lastPosition)
            return 0;
        const char c = static_cast<char>(~text[position]);
        if (c == '/') {
            while (*cursor < lastPosition) {
                if (static_cast<char>(~text[(*cursor)++]) == '\n')
                    break;
            }
            continue;
        }
        if (c == '@')
            return 1;
        if (c == '\n' || c == '\r' || c == ' ')
            continue;
        script[count++] = c;
    }
}

int32_t FindHighestEventNumber()
{
    int32_t highest = 0;
    for (int32_t row = 0; row < g_stageLayers.boardHeight; ++row) {
        for (int32_t column = 0; column < g_stageLayers.boardWidth; ++column) {
            const int32_t n = EventAt(column, row);
            if (n > highest)
                highest = n;
        }
    }
    return highest;
}

int32_t ReadScriptNumber(int32_t* cursor, const char* script)
{
    ClampCursor(cursor);
    int32_t digits = 0;
    while (IsDigit(ScriptByte(script, *cursor + digits)))
        ++digits;
    if (digits > 6)
        digits = 6;
    int32_t value = 0;
    for (int32_t i = 0; i < digits; ++i)
        value = value * 10 + (ScriptByte(script, *cursor + i) - '0');
    // The separator behind the digits is skipped whatever it is.
    *cursor += digits + 1;
    if (*cursor > kEventScriptSlotBytes)
        *cursor = kEventScriptSlotBytes;
    return value;
}

void ReadScriptField(char* destination, int32_t size, int32_t* cursor, const char* script)
{
    ClampCursor(cursor);
    int32_t copied = 0;
    bool full = size < 1;
    for (;;) {
        const int32_t position = *cursor;
        if (position >= kEventScriptSlotBytes)
            break; // no ',' before the end of the slot: nothing more to read
        const char c = script[position];
        ++*cursor;
        if (c == ',')
            break;
        if (full)
            continue;
        // An over-long field is cut at a whole character and the rest skipped.
        const char next = ScriptByte(script, position + 1);
        const int32_t need = IsLeadByte(c) && next != ',' && next != '\0' ? 2 : 1;
        if (copied + need > size - 1) {
            full = true;
            continue;
        }
        destination[copied++] = c;
        if (need == 2) {
            destination[copied++] = next;
            ++*cursor;
        }
    }
    if (size >= 1)
        destination[copied] = '\0';
}

const char* GetEventScript(const EventTask* event)
{
    if (g_eventScripts == nullptr || event->scriptSlot < 0 || event->scriptSlot >= kMaxEvents)
        return kEmptyScript;
    return g_eventScripts + event->scriptSlot * kEventScriptSlotBytes;
}

int StartEvent(BoardPiece* piece, int32_t eventNumber)
{
    Task* task = CreateTask(kEventSlot);
    if (task == nullptr)
        return 0;
    StartTask(task, kEventKind, UpdateEventTask, DrawEventTask);
    EventTask* event = TaskWork<EventTask>(task);
    event->alive = 1;
    event->stateProc = EventStartState;
    event->scriptSlot = eventNumber - 1;
    event->piece = piece;
    event->timer = 0;
    event->wait = 0;
    event->cursor = 0;
    event->answer = 0;
    event->portrait = -1;
    event->windowOn = 0;
    return 1;
}

void UpdateEventTask(Task* task)
{
    EventTask* event = TaskWork<EventTask>(task);
    if (event->stateProc != nullptr)
        event->stateProc(event);
    EndEventTask(task);
}

void DrawEventTask(Task* task)
{
    DrawEventDisplay(TaskWork<EventTask>(task));
}

void EventStartState(EventTask* event)
{
    // The event's first frame only hands over: the first command runs in the second.
    event->stateProc = EventRunState;
}

void EventRunState(EventTask* event)
{
    RunEventCommand(event);
}

void RunEventCommand(EventTask* event)
{
    const char* script = GetEventScript(event);
    int32_t position = event->cursor < 0 ? kEventScriptSlotBytes : event->cursor;
    if (position < kEventScriptSlotBytes) {
        // The dispatcher looks for its next command every frame, across the whole slot
        // when none is left.
        const void* hash = std::memchr(script + position, '#', static_cast<size_t>(kEventScriptSlotBytes - position));
        position =
            hash != nullptr ? static_cast<int32_t>(static_cast<const char*>(hash) - script) : kEventScriptSlotBytes;
    }
    if (position >= kEventScriptSlotBytes) {
        // No command left (a script without its closing 99): end the event as 99 would,
        // so the piece does not wait for ever.
        event->cursor = kEventScriptSlotBytes - 1;
        EndEvent(event);
        return;
    }
    event->cursor = position + 1;
    const int32_t number = ReadScriptNumber(&event->cursor, script);
    // Any other number is read and passed over; the next command runs in the next frame.
    if (const EventCommandSpec* command = FindEventCommand(number))
        command->run(event);
}

void EndEvent(EventTask* event)
{
    event->alive = 0;
}
