#include "stage_check.h"
#include "speaker_check.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <set>

#include "board/event.h"
#include "board/stage.h"
#include "board/world.h"
#include "engine/text.h"
#include "platform/byte_order.h"
#include "platform/msgbox.h"
#include "platform/text_encoding.h"

namespace stagecheck {

namespace {

constexpr int kStages = 3;
constexpr int kSlotBytes = 2000;
constexpr int kMaxPieces = 10;
constexpr int kGoBackMost = 5; // the longest go-back a script can draw
constexpr int kNoPortrait = 99;

std::string At(int column, int row)
{
    return "column " + std::to_string(column) + ", row " + std::to_string(row);
}

// The stage as the game loaded it, with lookups that treat the outside as blocked.
struct Board {
    int w = 0, h = 0;
    std::vector<int> kind, route, back, event, enemy;

    bool On(int c, int r) const { return c >= 0 && c < w && r >= 0 && r < h; }
    size_t Index(int c, int r) const { return size_t(r) * size_t(w) + size_t(c); }
    int Kind(int c, int r) const { return On(c, r) ? kind[Index(c, r)] : 15; }
    bool Walkable(int c, int r) const { return Kind(c, r) < 15; }
    bool Square(int c, int r) const { return Kind(c, r) >= 10 && Kind(c, r) <= 14; }
};

struct Cell {
    int c, r;
    bool operator<(const Cell& o) const { return r != o.r ? r < o.r : c < o.c; }
    bool operator==(const Cell& o) const { return c == o.c && r == o.r; }
};

int HeadingOfBit(int bit) { return bit == 1 ? 0 : bit == 2 ? 180 : bit == 4 ? 270 : 90; }

Cell Ahead(Cell cell, int heading)
{
    switch (heading) {
    case 0: return {cell.c + 1, cell.r};
    case 180: return {cell.c - 1, cell.r};
    case 270: return {cell.c, cell.r + 1};
    default: return {cell.c, cell.r - 1};
    }
}

// Follows a corridor from a square the way a moving piece does (straight on first,
// then the turns in the game's order, back last) to the next square. A walk that would
// have to turn back, or that never meets a square, is an error.
bool WalkCorridor(const Board& b, Cell from, int heading, Cell& reached, std::string& error)
{
    static const int kPreference[4][4] = {
        {0, 270, 90, 180}, {90, 0, 180, 270}, {180, 270, 90, 0}, {270, 0, 180, 90}};
    Cell cell = Ahead(from, heading);
    for (int moves = 0; moves <= b.w * b.h; ++moves) {
        if (!b.Walkable(cell.c, cell.r)) {
            error = "the way from " + At(from.c, from.r) + " runs onto blocked ground at " + At(cell.c, cell.r);
            return false;
        }
        if (b.Square(cell.c, cell.r)) {
            reached = cell;
            return true;
        }
        const int* order = kPreference[heading / 90];
        int next = -1;
        for (int i = 0; i < 4 && next < 0; ++i) {
            const Cell n = Ahead(cell, order[i]);
            if (b.Walkable(n.c, n.r))
                next = order[i];
        }
        if (next < 0 || next == (heading + 180) % 360) {
            error = "the corridor from " + At(from.c, from.r) + " ends in a dead end at " + At(cell.c, cell.r);
            return false;
        }
        heading = next;
        cell = Ahead(cell, heading);
    }
    error = "the corridor from " + At(from.c, from.r) + " runs in a loop without a square";
    return false;
}

// The track walk: from the start along the first direction bit of every square, turning
// at blocked cells but never straight back, until a square whose route value is
// exactly 32. Returns -1 when it does not get there within four times the cell count.
int WalkTrack(const Board& b, Cell start)
{
    const int v = b.route[b.Index(start.c, start.r)];
    int heading = (v & 1) ? 0 : (v & 2) ? 180 : (v & 4) ? 270 : (v & 8) ? 90 : -1;
    if (heading < 0)
        return -1;
    Cell cell = start;
    int back = (heading + 180) % 360;
    int count = 0;
    for (int moves = 0; moves < 4 * b.w * b.h; ++moves) {
        const Cell next = Ahead(cell, heading);
        if (!b.Walkable(next.c, next.r)) {
            heading = (heading + 90) % 360;
            if (heading == back)
                heading = (heading + 90) % 360;
            continue;
        }
        cell = next;
        back = (heading + 180) % 360;
        if (!b.Square(cell.c, cell.r))
            continue;
        ++count;
        const int r = b.route[b.Index(cell.c, cell.r)];
        if (r == 32)
            return count;
        if (r & 1) heading = 0;
        else if (r & 2) heading = 180;
        else if (r & 4) heading = 270;
        else if (r & 8) heading = 90;
    }
    return -1;
}

// ---- scripts ----

struct Command {
    int number = 0;
    int start = 0; // the '#'
    int end = 0;   // behind the last argument
    std::string labels[2];
    int labelCount = 0;
};

struct Script {
    std::string bytes; // the stored script, up to its first NUL
    std::vector<Command> commands;
    std::vector<std::pair<int, int>> texts; // free text between commands: label places
    bool hasRecord = false;
    int kind = 0, id = -1, heading = 0, members = 0;
    int ids[6] = {};
    std::string name;
};

class ScriptReader {
public:
    ScriptReader(const char* slot, Script& script, std::string& error)
        : slot_(slot), s_(script), error_(error) {}

    bool Parse()
    {
        const int length = int(s_.bytes.size());
        int pos = 0;
        while (pos < length) {
            const char c = s_.bytes[size_t(pos)];
            if (c == '#') {
                if (!ParseCommand(pos))
                    return false;
            } else if (c == '$') {
                if (s_.hasRecord)
                    return Fail(pos, "a second '$' record; only the first one places a piece");
                if (!ParseRecord(pos))
                    return false;
            } else {
                int end = pos;
                while (end < length && s_.bytes[size_t(end)] != '#' && s_.bytes[size_t(end)] != '$')
                    ++end;
                if (!CheckGlyphs(pos, end, "label text"))
                    return false;
                s_.texts.emplace_back(pos, end);
                pos = end;
            }
        }
        if (s_.commands.empty())
            return Fail(length, "no command; every event needs at least #99");
        return true;
    }

private:
    bool Fail(int pos, const std::string& what)
    {
        error_ = "byte " + std::to_string(pos) + ": " + what;
        return false;
    }

    bool CheckGlyphs(int from, int to, const char* what)
    {
        if ((to - from) % 2 != 0)
            return Fail(from, std::string(what) + " must be double-byte characters only");
        for (int i = from; i < to; i += 2) {
            const char character[3] = {s_.bytes[size_t(i)], s_.bytes[size_t(i) + 1], '\0'};
            int32_t glyph = 0;
            FindGlyph(&glyph, character);
            if (glyph <= 0)
                return Fail(i, std::string(what) + " holds a character the font does not have");
        }
        return true;
    }

    // A number: 1..6 digits and a ',' (or the end of the script after the last one).
    bool Number(int& pos, int lowest, int highest, const char* what, int& value, bool mayEnd = false)
    {
        int digits = 0;
        while (pos + digits < int(s_.bytes.size()) && s_.bytes[size_t(pos) + size_t(digits)] >= '0' &&
               s_.bytes[size_t(pos) + size_t(digits)] <= '9')
            ++digits;
        const bool atEnd = pos + digits >= int(s_.bytes.size());
        if (digits == 0 || digits > 6)
            return Fail(pos, std::string(what) + ": expected a number of 1 to 6 digits");
        if (!(atEnd && mayEnd) && (atEnd || s_.bytes[size_t(pos) + size_t(digits)] != ','))
            return Fail(pos + digits, std::string(what) + ": the number must be followed by ','");
        int32_t cursor = pos;
        value = ReadScriptNumber(&cursor, slot_);
        if (cursor != pos + digits + 1)
            return Fail(pos, std::string(what) + ": the game reads this number differently");
        if (value < lowest || value > highest)
            return Fail(pos, std::string(what) + " " + std::to_string(value) + " is outside " +
                                 std::to_string(lowest) + ".." + std::to_string(highest));
        pos = cursor;
        return true;
    }

    bool Text(int& pos, int most, const char* what, std::string& out)
    {
        const size_t comma = s_.bytes.find(',', size_t(pos));
        if (comma == std::string::npos)
            return Fail(pos, std::string(what) + ": no ',' ends it");
        const int length = int(comma) - pos;
        if (length == 0)
            return Fail(pos, std::string(what) + " is empty");
        if (length > most)
            return Fail(pos, std::string(what) + " is " + std::to_string(length) + " bytes; at most " +
                                 std::to_string(most) + " fit");
        if (!CheckGlyphs(pos, int(comma), what))
            return false;
        char buffer[64] = {};
        int32_t cursor = pos;
        ReadScriptField(buffer, int32_t(sizeof buffer), &cursor, slot_);
        out.assign(buffer);
        if (cursor != int(comma) + 1 || out != s_.bytes.substr(size_t(pos), size_t(length)))
            return Fail(pos, std::string(what) + ": the game reads this text differently");
        pos = cursor;
        return true;
    }

    bool Line(int& pos)
    {
        std::string unused;
        return Text(pos, kEventLineBytes, "message line", unused);
    }

    bool Label(int& pos, Command& command)
    {
        return Text(pos, kEventLabelBytes, "label", command.labels[command.labelCount++]);
    }

    bool ParseRecord(int& pos)
    {
        const int at = pos;
        ++pos;
        int value = 0;
        if (!Number(pos, 1, 2, "piece kind (1 team, 2 enemy group)", s_.kind) ||
            !Number(pos, 0, 127, "piece id", s_.id) || !Number(pos, 0, 270, "heading", s_.heading) ||
            !Number(pos, 1, 6, "member count", s_.members))
            return false;
        if (s_.heading % 90 != 0)
            return Fail(at, "heading " + std::to_string(s_.heading) + " is not 0, 90, 180 or 270");
        if (s_.kind == 1 && s_.id > 2)
            return Fail(at, "a team's id must be 0, 1 or 2");
        if (s_.kind == 2 && s_.id < 3)
            return Fail(at, "an enemy group's id must be 3 (the roaming group) or above");
        for (int i = 0; i < s_.members; ++i) {
            if (!Number(pos, 0, 24, "character id", value))
                return false;
            s_.ids[i] = value;
            const bool ok = s_.kind == 1 ? (value >= 6 * s_.id && value < 6 * s_.id + 6) : value >= 18;
            if (!ok)
                return Fail(at, "character " + std::to_string(value) +
                                    (s_.kind == 1 ? " is not a member of team " + std::to_string(s_.id)
                                                  : std::string(" is not a monster (18..24)")));
        }
        if (s_.kind == 1 && s_.members != 6)
            return Fail(at, "a team has six members");
        if (!Text(pos, 49, "piece name", s_.name))
            return false;
        s_.hasRecord = true;
        return true;
    }

    bool ParseCommand(int& pos)
    {
        Command command;
        command.start = pos;
        ++pos;
        if (!Number(pos, 0, 999999, "command number", command.number, true))
            return false;
        int v = 0, count = 0;
        bool ok = true;
        switch (command.number) {
        case 1: ok = Number(pos, 0, 1, "window switch", v); break;
        case 2:
            ok = Number(pos, 1, 3, "line count", count);
            for (int i = 0; ok && i < count; ++i)
                ok = Line(pos);
            break;
        case 3:
            // A face 0..13, or 99: any other number shows no face, and that is how a
            // script takes the portrait away before a battle or a roll; one fixed
            // value keeps a mistyped face from passing as "none".
            ok = Number(pos, 0, 99, "portrait", v);
            if (ok && v > 13 && v != kNoPortrait)
                return Fail(command.start, "portrait " + std::to_string(v) + " is outside 0..13 (" +
                                               std::to_string(kNoPortrait) + " takes the portrait away)");
            break;
        case 4:
            ok = Line(pos) && Line(pos) && Line(pos) && Label(pos, command) && Label(pos, command);
            break;
        case 5: ok = Number(pos, 1, 600, "wait frames", v); break;
        case 6:
            ok = Number(pos, 1, 6, "battle choice count", count);
            for (int i = 0; ok && i < count; ++i)
                ok = Number(pos, 1, 6, "enemy count", v);
            break;
        case 7: ok = Number(pos, 0, 19, "sound", v); break;
        case 8: {
            int left = 0, top = 0, right = 0, bottom = 0;
            ok = Number(pos, 0, 2048, "popup left", left) && Number(pos, 0, 2048, "popup top", top) &&
                 Number(pos, 0, 2048, "popup right", right) && Number(pos, 0, 2048, "popup bottom", bottom) &&
                 Number(pos, 1, 600, "popup lifetime", v);
            if (ok && (right <= left || bottom <= top))
                return Fail(command.start, "the popup rectangle is empty");
            break;
        }
        case 10: ok = Number(pos, 10, 14, "square kind", v); break;
        case 14: ok = Number(pos, 2, 9, "die faces", v); break;
        case 15:
        case 16: ok = Label(pos, command) && Label(pos, command); break;
        case 41: ok = Number(pos, 1, 600, "spin frames", v) && Number(pos, 1, 360, "spin degrees", v); break;
        case 9: case 11: case 12: case 13: case 17: case 18: case 40: case 42: case 43: case 99: break;
        default: return Fail(command.start, "#" + std::to_string(command.number) + " is not a command");
        }
        if (!ok)
            return false;
        command.end = pos;
        s_.commands.push_back(command);
        return true;
    }

    const char* slot_;
    Script& s_;
    std::string& error_;
};

// Where a jump to label lands, as the game searches: the first later place of its
// bytes. It must be a label of its own between commands; returns the command index
// that runs next, or -1.
int JumpTarget(const Script& s, const Command& from, const std::string& label, std::string& error)
{
    const size_t found = s.bytes.find(label, size_t(from.end));
    if (found == std::string::npos) {
        error = "label \"" + plat::Cp932ToUtf8(label.c_str()) + "\" of #" + std::to_string(from.number) + " at byte " +
                std::to_string(from.start) + " is not defined after it";
        return -1;
    }
    bool ownPlace = false;
    for (const auto& t : s.texts)
        if (t.first == int(found) && t.second - t.first == int(label.size()))
            ownPlace = true;
    if (!ownPlace) {
        error = "the jump to label \"" + plat::Cp932ToUtf8(label.c_str()) + "\" at byte " + std::to_string(from.start) +
                " lands inside other text at byte " + std::to_string(found);
        return -1;
    }
    const int after = int(found + label.size());
    for (size_t i = 0; i < s.commands.size(); ++i)
        if (s.commands[i].start >= after)
            return int(i);
    return int(s.commands.size());
}

// Walks every path through the script. Flags: 1 = passes #9, and for the goal's event
// every path must record the goal (#43) and then leave the race (#42).
bool WalkPaths(const Script& s, bool goal, bool& sendsBack, std::string& error)
{
    std::set<std::pair<int, int>> seen;
    std::function<bool(int, int)> walk = [&](int index, int state) -> bool {
        if (!seen.insert({index, state}).second)
            return true;
        if (index >= int(s.commands.size())) {
            error = "a path through the script runs to its end without #99";
            return false;
        }
        const Command& c = s.commands[size_t(index)];
        if (c.number == 9)
            sendsBack = true;
        if (c.number == 43)
            state |= 1;
        if (c.number == 42)
            state = (state & 1) ? (state | 2) : state;
        if (c.number == 99) {
            if (goal && state != 3) {
                error = "a path through the goal's event ends without #43 and then #42";
                return false;
            }
            return true;
        }
        if (c.labelCount == 2) { // a choice or a branch
            for (const std::string& label : c.labels) {
                const int target = JumpTarget(s, c, label, error);
                if (target < 0 || !walk(target, state))
                    return false;
            }
            return true;
        }
        return walk(index + 1, state);
    };
    return walk(0, 0);
}

// ---- the stage ----

class StageChecker {
public:
    StageChecker(int stage, StageReport& report, std::vector<std::string>& errors)
        : stage_(stage), report_(report), errors_(errors) {}

    void Check(const std::vector<uint8_t>& mapPack, const std::vector<uint8_t>& eventPack)
    {
        report_.stage = stage_;
        if (!LoadMap(mapPack) || !LoadScripts(eventPack))
            return;
        CheckBits();
        CheckStartAndTrack();
        CheckEventsAndPieces();
        CheckMoves();
    }

private:
    void Error(const std::string& what) { errors_.push_back("stage " + std::to_string(stage_) + ": " + what); }

    bool LoadMap(const std::vector<uint8_t>& pack)
    {
        if (pack.size() < 12) {
            Error("the map pack has no table of entries");
            return false;
        }
        const uint64_t entry = 12 + uint64_t(plat::LoadLE32(&pack[4 * size_t(stage_ - 1)]));
        if (entry + 16 > pack.size()) {
            Error("the map entry lies outside the file");
            return false;
        }
        const uint32_t w = plat::LoadLE32(&pack[entry]);
        const uint32_t h = plat::LoadLE32(&pack[entry + 4]);
        if (w < 1 || w > 100 || h < 1 || h > 100) {
            Error("board size " + std::to_string(w) + " x " + std::to_string(h) + "; each side must be 1..100");
            return false;
        }
        if (entry + 16 + 5 * uint64_t(w) * h > pack.size()) {
            Error("the map entry is cut short");
            return false;
        }
        g_stageNumber = stage_;
        if (!LoadStageFromMapPackMemory(pack.data(), pack.size())) {
            Error("the game refuses the map entry");
            return false;
        }
        b_.w = g_boardWidth;
        b_.h = g_boardHeight;
        const size_t n = size_t(b_.w) * size_t(b_.h);
        auto copy = [n](const int8_t* layer) { return std::vector<int>(layer, layer + n); };
        b_.kind = copy(g_squareLayer);
        b_.route = copy(g_routeLayer);
        b_.back = copy(g_layerD);
        b_.event = copy(g_eventLayer);
        b_.enemy = copy(g_layerE);
        report_.width = b_.w;
        report_.height = b_.h;
        report_.trackLength = g_trackLength;
        return true;
    }

    // The text is cut into events the way the game does it, so that a missing '@' or an
    // over-long event is named here rather than in a message box at stage start.
    bool LoadScripts(const std::vector<uint8_t>& pack)
    {
        if (pack.size() < 12) {
            Error("the script pack has no table of entries");
            return false;
        }
        const uint64_t entry = 12 + uint64_t(plat::LoadLE32(&pack[4 * size_t(stage_ - 1)]));
        if (entry + 4 > pack.size()) {
            Error("the script entry lies outside the file");
            return false;
        }
        const uint32_t length = plat::LoadLE32(&pack[entry]);
        if (length > kEventTextBytes) {
            Error("the script text is " + std::to_string(length) + " bytes; a stage holds at most 16000");
            return false;
        }
        if (entry + 4 + length > pack.size()) {
            Error("the script text is cut short");
            return false;
        }
        report_.textBytes = int(length);
        std::vector<int> sizes;
        int count = 0;
        bool tail = false;
        for (uint32_t i = 0; i < length; ++i) {
            const uint8_t c = uint8_t(~pack[entry + 4 + i]);
            if (c == '/') {
                while (i + 1 < length && uint8_t(~pack[entry + 4 + i + 1]) != '\n')
                    ++i;
                continue;
            }
            if (c == '\n' || c == '\r' || c == ' ')
                continue;
            if (c == '@') {
                sizes.push_back(count);
                count = 0;
                tail = false;
                continue;
            }
            ++count;
            tail = true;
        }
        if (tail) {
            Error("the text after event " + std::to_string(sizes.size()) + " has no closing '@'");
            return false;
        }
        for (size_t i = 0; i < sizes.size(); ++i)
            if (sizes[i] > kSlotBytes - 1)
                Error("event " + std::to_string(i + 1) + " is " + std::to_string(sizes[i]) +
                      " bytes; a script holds at most 1999");
        eventsInText_ = int(sizes.size());
        // The game's loader takes as many events as the highest number on the map; check
        // that here so its own messages never come up.
        for (int r = 0; r < b_.h; ++r)
            for (int c = 0; c < b_.w; ++c) {
                const int n = b_.event[b_.Index(c, r)];
                if (n > 10)
                    Error("event number " + std::to_string(n) + " at " + At(c, r) +
                          "; a stage has at most 10 events");
                highest_ = std::max(highest_, n);
            }
        if (highest_ > 10)
            return false;
        if (eventsInText_ < highest_) {
            Error("the map uses event " + std::to_string(highest_) + " but only " + std::to_string(eventsInText_) +
                  " events end with '@'");
            return false;
        }
        plat::RecordMessageBoxes(true);
        plat::ClearLastMessageBoxText();
        const int loaded = LoadEventScriptsMemory(pack.data(), pack.size());
        if (!loaded || !plat::LastMessageBoxText().empty()) {
            Error("the game refuses the script text");
            return false;
        }
        return true;
    }

    void CheckBits()
    {
        static const char* const kLayerNames[3] = {"route", "back-move", "enemy-move"};
        const std::vector<int>* layers[3] = {&b_.route, &b_.back, &b_.enemy};
        for (int l = 0; l < 3; ++l)
            for (int r = 0; r < b_.h; ++r)
                for (int c = 0; c < b_.w; ++c) {
                    const int v = (*layers[l])[b_.Index(c, r)];
                    for (int bit = 1; bit <= 8; bit <<= 1) {
                        const Cell n = Ahead({c, r}, HeadingOfBit(bit));
                        if ((v & bit) && !b_.Walkable(n.c, n.r))
                            Error(std::string("the ") + kLayerNames[l] + " bit " + std::to_string(bit) + " at " +
                                  At(c, r) + " points " + (b_.On(n.c, n.r) ? "onto blocked ground" : "off the board"));
                    }
                }
    }

    void CheckStartAndTrack()
    {
        int starts = 0;
        for (int r = 0; r < b_.h; ++r)
            for (int c = 0; c < b_.w; ++c)
                if (b_.route[b_.Index(c, r)] & 16) {
                    if (++starts == 1)
                        start_ = {c, r};
                }
        if (starts != 1) {
            Error(starts == 0 ? "no start square (route mark 16)"
                              : std::to_string(starts) + " start squares; there must be exactly one");
            return;
        }
        report_.startColumn = start_.c;
        report_.startRow = start_.r;
        if (!b_.Square(start_.c, start_.r))
            Error("the start at " + At(start_.c, start_.r) + " is not a square");
        const int walked = WalkTrack(b_, start_);
        if (walked < 0)
            Error("the track walk from the start does not reach a goal square (route value exactly 32)");
        else if (walked != report_.trackLength)
            Error("the track walk counts " + std::to_string(walked) + " squares but the game measures " +
                  std::to_string(report_.trackLength));
    }

    void CheckEventsAndPieces()
    {
        const int highest = highest_;
        std::vector<int> cells(11, 0);
        for (int r = 0; r < b_.h; ++r)
            for (int c = 0; c < b_.w; ++c) {
                const int n = b_.event[b_.Index(c, r)];
                if (n > 0)
                    ++cells[size_t(n)];
            }
        if (eventsInText_ > highest)
            Error("the text holds " + std::to_string(eventsInText_) + " events but the map uses only " +
                  std::to_string(highest));
        scripts_.resize(size_t(highest));
        for (int n = 1; n <= highest; ++n) {
            Script& s = scripts_[size_t(n - 1)];
            const char* slot = g_eventScripts + size_t(n - 1) * kSlotBytes;
            s.bytes.assign(slot, strnlen(slot, kSlotBytes));
            EventReport e;
            e.number = n;
            e.cells = cells[size_t(n)];
            e.scriptBytes = int(s.bytes.size());
            if (e.cells == 0)
                Error("event " + std::to_string(n) + " stands on no cell");
            std::string error;
            ScriptReader reader(slot, s, error);
            if (!reader.Parse()) {
                Error("event " + std::to_string(n) + ", " + error);
                report_.events.push_back(e);
                continue;
            }
            for (const std::string& face : FindTeamFaces(slot))
                Error("event " + std::to_string(n) + ": " + face);
            bool goal = false;
            for (int r = 0; r < b_.h; ++r)
                for (int c = 0; c < b_.w; ++c)
                    if (b_.event[b_.Index(c, r)] == n && b_.route[b_.Index(c, r)] & 32)
                        goal = true;
            if (!WalkPaths(s, goal, e.sendsBack, error))
                Error("event " + std::to_string(n) + ": " + error);
            e.commands = int(s.commands.size());
            e.pieceKind = s.hasRecord ? s.kind : 0;
            e.pieceId = s.hasRecord ? s.id : -1;
            e.members = s.members;
            e.nameCp932 = s.name;
            report_.events.push_back(e);
        }
        // Pieces, in the order the game places them.
        int teams[3] = {};
        int roaming = 0;
        for (int r = 0; r < b_.h; ++r)
            for (int c = 0; c < b_.w; ++c) {
                const int n = b_.event[b_.Index(c, r)];
                if (n < 1 || !scripts_[size_t(n - 1)].hasRecord)
                    continue;
                const Script& s = scripts_[size_t(n - 1)];
                ++report_.pieces;
                if (!b_.Walkable(c, r))
                    Error("the piece of event " + std::to_string(n) + " starts on blocked ground at " + At(c, r));
                else if (!b_.Square(c, r))
                    Error("the piece of event " + std::to_string(n) + " starts on a corridor at " + At(c, r) +
                          "; it could not choose a way");
                if (s.kind == 1) {
                    ++teams[s.id];
                    teamStarts_.push_back({c, r});
                } else if (s.id == 3) {
                    ++roaming;
                    roamStart_ = {c, r};
                }
            }
        if (report_.pieces > kMaxPieces)
            Error(std::to_string(report_.pieces) + " pieces; the board has room for 10");
        for (int t = 0; t < 3; ++t)
            if (teams[t] != 1)
                Error("team " + std::to_string(t) + " has " + std::to_string(teams[t]) + " start cells; it needs one");
        if (roaming > 1)
            Error(std::to_string(roaming) + " roaming groups (id 3); only one can take turns");
        hasRoaming_ = roaming == 1;
    }

    // Explores what pieces can do: teams from their starts along the route bits, the
    // roaming group along the enemy-move bits, and every go-back a script can order.
    void CheckMoves()
    {
        std::set<Cell> reached;
        std::vector<Cell> todo = teamStarts_;
        if (start_.c >= 0)
            todo.push_back(start_);
        std::set<std::pair<Cell, Cell>> edges;
        while (!todo.empty()) {
            const Cell cell = todo.back();
            todo.pop_back();
            if (!reached.insert(cell).second)
                continue;
            const int v = b_.route[b_.Index(cell.c, cell.r)];
            if (v & 32)
                continue;
            int ways = 0;
            for (int bit = 1; bit <= 8; bit <<= 1) {
                if (!(v & bit))
                    continue;
                ++ways;
                Cell next{};
                std::string error;
                if (!WalkCorridor(b_, cell, HeadingOfBit(bit), next, error)) {
                    Error(error);
                    continue;
                }
                edges.insert({cell, next});
                todo.push_back(next);
            }
            if (ways == 0)
                Error("a team on the square at " + At(cell.c, cell.r) + " has no way on");
            if (ways > 1)
                ++report_.forks;
        }
        // Every square a team can reach must still lead to a goal.
        std::set<Cell> leadsToGoal;
        for (const Cell& c : reached)
            if (b_.route[b_.Index(c.c, c.r)] & 32)
                leadsToGoal.insert(c);
        for (bool grew = true; grew;) {
            grew = false;
            for (const auto& e : edges)
                if (leadsToGoal.count(e.second) && leadsToGoal.insert(e.first).second)
                    grew = true;
        }
        for (const Cell& c : reached)
            if (!leadsToGoal.count(c))
                Error("from the square at " + At(c.c, c.r) + " no way leads to the goal");
        CheckRouteLengths(edges);

        for (int r = 0; r < b_.h; ++r)
            for (int c = 0; c < b_.w; ++c) {
                const int k = b_.Kind(c, r);
                if (k >= 10 && k <= 14)
                    ++report_.squaresByKind[k - 10];
                else if (k < 10)
                    ++report_.corridorCells;
            }

        if (hasRoaming_)
            CheckRoaming();
        CheckGoBacks();
    }

    // A team's progress counts the squares it has walked and the progress display and
    // the race's end measure it against the track walk, which follows the first way at
    // every fork. So no way from the start, or from a team's own start, may take more
    // squares to the goal than that walk, and the ways must not run in a loop.
    void CheckRouteLengths(const std::set<std::pair<Cell, Cell>>& edges)
    {
        std::map<Cell, std::vector<Cell>> next;
        for (const auto& e : edges)
            next[e.first].push_back(e.second);
        std::map<Cell, int> longest; // squares to the goal on the longest way; -1 while open
        bool loop = false;
        std::function<int(Cell)> walk = [&](Cell cell) -> int {
            const auto known = longest.find(cell);
            if (known != longest.end()) {
                if (known->second < 0 && !loop) {
                    loop = true;
                    Error("the teams' ways run in a loop through the square at " + At(cell.c, cell.r));
                }
                return std::max(known->second, 0);
            }
            longest[cell] = -1;
            int most = 0;
            const auto ways = next.find(cell);
            if (ways != next.end())
                for (const Cell& n : ways->second)
                    most = std::max(most, 1 + walk(n));
            longest[cell] = most;
            return most;
        };
        std::vector<std::pair<Cell, const char*>> from;
        if (start_.c >= 0)
            from.emplace_back(start_, "the start");
        for (const Cell& t : teamStarts_)
            if (!(t == start_))
                from.emplace_back(t, "a team's start");
        for (const auto& [cell, what] : from) {
            const int squares = walk(cell);
            if (!loop && squares > report_.trackLength)
                Error("a way from " + std::string(what) + " at " + At(cell.c, cell.r) + " reaches the goal in " +
                      std::to_string(squares) + " squares, more than the " + std::to_string(report_.trackLength) +
                      " the track walk measures; make the branches of each fork equally long");
        }
    }

    void CheckRoaming()
    {
        std::set<Cell> reached;
        std::vector<Cell> todo{roamStart_};
        while (!todo.empty()) {
            const Cell cell = todo.back();
            todo.pop_back();
            if (!reached.insert(cell).second)
                continue;
            const int v = b_.enemy[b_.Index(cell.c, cell.r)];
            if ((v & 15) == 0) {
                Error("the roaming group on the square at " + At(cell.c, cell.r) + " has no enemy-move way on");
                continue;
            }
            for (int bit = 1; bit <= 8; bit <<= 1) {
                Cell next{};
                std::string error;
                if ((v & bit) && WalkCorridor(b_, cell, HeadingOfBit(bit), next, error))
                    todo.push_back(next);
                else if (v & bit)
                    Error("roaming group: " + error);
            }
        }
    }

    void CheckGoBacks()
    {
        for (int r = 0; r < b_.h; ++r)
            for (int c = 0; c < b_.w; ++c) {
                const int n = b_.event[b_.Index(c, r)];
                if (n < 1 || n > int(report_.events.size()) || !report_.events[size_t(n - 1)].sendsBack)
                    continue;
                std::set<std::pair<Cell, int>> seen;
                std::vector<std::pair<Cell, int>> todo{{{c, r}, kGoBackMost}};
                while (!todo.empty()) {
                    const auto [cell, left] = todo.back();
                    todo.pop_back();
                    if (left <= 0 || !seen.insert({cell, left}).second)
                        continue;
                    const int v = b_.back[b_.Index(cell.c, cell.r)];
                    if (left < kGoBackMost && (b_.route[b_.Index(cell.c, cell.r)] & 16))
                        continue;
                    if ((v & 15) == 0) {
                        Error("a piece sent back from " + At(c, r) + " (event " + std::to_string(n) +
                              ") is stuck at " + At(cell.c, cell.r) + " with no back-move way");
                        continue;
                    }
                    for (int bit = 1; bit <= 8; bit <<= 1) {
                        Cell next{};
                        std::string error;
                        if ((v & bit) && WalkCorridor(b_, cell, HeadingOfBit(bit), next, error))
                            todo.push_back({next, left - 1});
                        else if (v & bit)
                            Error("going back from " + At(c, r) + ": " + error);
                    }
                }
            }
    }

    int stage_;
    StageReport& report_;
    std::vector<std::string>& errors_;
    Board b_;
    Cell start_{-1, -1};
    Cell roamStart_{-1, -1};
    bool hasRoaming_ = false;
    int eventsInText_ = 0;
    int highest_ = 0;
    std::vector<Script> scripts_;
    std::vector<Cell> teamStarts_;
};

} // namespace

bool CheckPacks(const std::vector<uint8_t>& mapPack, const std::vector<uint8_t>& eventPack,
                std::vector<StageReport>& reports, std::vector<std::string>& errors)
{
    reports.clear();
    errors.clear();
    if (!AllocStageBuffers()) {
        errors.push_back("out of memory for the stage buffers");
        return false;
    }
    const int keptStage = g_stageNumber;
    for (int stage = 1; stage <= kStages; ++stage) {
        reports.emplace_back();
        StageChecker(stage, reports.back(), errors).Check(mapPack, eventPack);
    }
    g_stageNumber = keptStage;
    FreeStageBuffers();
    return errors.empty();
}

} // namespace stagecheck
