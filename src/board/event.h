// Square events: "epack.dat" (every byte inverted), the script store, the script
// readers, the event task (slot 150) and its one-command-a-frame dispatcher.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "board/event_table.h"
#include "engine/task.h"

struct BoardPiece;
struct EventTask;
struct StageRuleReport;

constexpr int kMaxEvents = 10;
constexpr int kEventLineBytes = 48;
constexpr int kEventLabelBytes = 20;

struct EventTask {
    int32_t alive;      // command 99 sets it to 0
    int32_t cursor;     // byte position in the script slot, 0..2000
    int32_t scriptSlot; // event number - 1
    BoardPiece* piece;  // the piece that started the event
    int32_t wait;       // frames left of a wait
    int32_t timer;      // message and choice timer
    EventProc stateProc;
    int32_t windowOn; // the message window frame is shown
    int32_t portrait; // portrait index, -1 none
    char lineText[3][kEventLineBytes];
    int32_t sourceGlyphs[3][24];
    int32_t typeColumn;
    int32_t typeRow;
    int32_t shownGlyphs[3][24]; // glyphs typed so far
    int32_t answer;             // choice 0 or 1
    char labels[2][kEventLabelBytes];
    int32_t moveFrames;  // frame counter of hop and spin
    int32_t spinDegrees; // degrees a frame of a spin
    int32_t animCount;
    int32_t animMember;
    int32_t animFrame;
};
CHECK_TASK_WORK(EventTask);

extern int32_t g_eventCount; // events of the stage, at most 10

// Reads the events of g_stageLayers.stageNumber as the game plays them (LoadEventScriptsForPlay), on
// the map already loaded; 1 when the game may play them, else 0 with the reasons on stderr.
int LoadEventScripts(const char* fileName);
// Reads the events of g_stageLayers.stageNumber as they stand, a text cut short included;
// textLength, when given, gets the text's length as the pack gives it.
int LoadEventScriptsMemory(const uint8_t* data, size_t size, uint32_t* textLength = nullptr);
// Reads the events of g_stageLayers.stageNumber and holds the whole stage (the loaded map and these
// scripts) to the stage rules (stage_rules.h): 1 when the game may play it. On 0 every
// problem is added to *problems and the script store is cleared. report, when given,
// gets what the rules found (the pack builder lists it).
int LoadEventScriptsForPlay(const uint8_t* data, size_t size, std::vector<std::string>* problems,
                            StageRuleReport* report);
int ExtractEventScript(int32_t slot, const uint8_t* text, int32_t* cursor);
// The bytes from text[from] on, before text[to], that decode (inverted) to plain script
// bytes, taken eight at a time up to the first eight that hold '/', '@', '\n', '\r' or
// ' ': how many (a multiple of 8), decoded into out unless it is null. The readers take
// what follows byte by byte.
size_t DecodePlainScriptBytes(const uint8_t* text, size_t from, size_t to, char* out);
int32_t FindHighestEventNumber();

// Script readers; positions at or past 2,000 read as NUL and the cursor never passes 2,000.
int32_t ReadScriptNumber(int32_t* cursor, const char* script);
// Copies at most size - 1 bytes up to the next ',' (the rest is skipped) and ends them
// with a NUL; the cursor ends behind the ','.
void ReadScriptField(char* destination, int32_t size, int32_t* cursor, const char* script);
const char* GetEventScript(const EventTask* event);

int StartEvent(BoardPiece* piece, int32_t eventNumber);
void UpdateEventTask(Task* task);
void DrawEventTask(Task* task);
void EventStartState(EventTask* event);
void EventRunState(EventTask* event);
void RunEventCommand(EventTask* event);
void EndEvent(EventTask* event); // what command 99 does
