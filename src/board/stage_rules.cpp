// The rules of what a stage may be, shared by the pack builder and the game's loaders.
// Everything walks the board the way the game does, with the game's own lookups, track
// walk and corridor rule, and every walk is iterative with memory bounded by the board:
// a 100 x 100 board of linked squares is checked in a few milliseconds.
#include "board/stage_rules.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <utility>

#include "board/characters.h"
#include "board/event_commands.h"
#include "board/scripted_move.h"
#include "board/stage.h"
#include "board/world.h"
#include "engine/input.h"
#include "engine/sound.h"
#include "engine/text.h"
#include "platform/text_encoding.h"

namespace {

constexpr int32_t kTeamRecord = 1;
constexpr int32_t kEnemyRecord = 2;
constexpr int32_t kTeams = 3;
constexpr int32_t kHighestPieceId = 127;
constexpr int32_t kLinkBits[4] = {kLinkHeading0, kLinkHeading180, kLinkHeading270, kLinkHeading90};
constexpr int32_t kAnyLink = kLinkHeading0 | kLinkHeading180 | kLinkHeading270 | kLinkHeading90;
constexpr int32_t kLinkHeadings[4] = {0, 180, 270, 90};

std::string At(int32_t cell)
{
    const int32_t width = g_stageLayers.boardWidth;
    return "column " + std::to_string(cell % width) + ", row " + std::to_string(cell / width);
}

// The board's cells; none when its sides do not fit the layers (nothing was loaded).
int32_t CellCount()
{
    const StageLayers& stage = g_stageLayers;
    const bool sound = stage.boardWidth >= 1 && stage.boardWidth <= kMaxBoardSide && stage.boardHeight >= 1 &&
                       stage.boardHeight <= kMaxBoardSide;
    return sound ? stage.boardWidth * stage.boardHeight : 0;
}

bool Walkable(int32_t cell)
{
    return CellKindOf(cell) < kBlockedKind;
}

int32_t Reverse(int32_t heading)
{
    return heading >= 180 ? heading - 180 : heading + 180;
}

int32_t WalkableNeighbours(int32_t cell)
{
    int32_t open = 0;
    for (const int32_t heading : kLinkHeadings)
        open += Walkable(NeighbourCell(cell, heading)) ? 1 : 0;
    return open;
}

// The heading a moving piece takes on a corridor cell, by the game's own corridor rule.
int32_t CorridorHeading(int32_t cell, int32_t heading)
{
    BoardPiece piece{};
    CellCentre(cell % g_stageLayers.boardWidth, cell / g_stageLayers.boardWidth, &piece.x, &piece.z);
    piece.heading = static_cast<float>(heading);
    FollowCorridor(&piece);
    return static_cast<int32_t>(RoundToNearest(piece.heading));
}

// ---- the map ----

// Where each way from a square leads: the square a moving piece reaches along the
// corridor, walked once for every square and heading and kept.
class Ways {
public:
    explicit Ways(StageRuleReport* report) : report_(report), reached_(4 * static_cast<size_t>(CellCount()), kUnknown)
    {}

    // The square reached from square `from` along heading index `which` (0..3 in link
    // order), or -1 when the way is faulty (said once, in the words of `who`).
    int32_t From(int32_t from, int which, const char* who)
    {
        int32_t& known = reached_[4 * static_cast<size_t>(from) + static_cast<size_t>(which)];
        if (known == kUnknown) {
            std::string problem;
            known = Walk(from, kLinkHeadings[which], &problem);
            if (known < 0)
                report_->problems.push_back(who + problem);
        }
        return known;
    }

private:
    static constexpr int32_t kUnknown = -2;

    // Follows the corridor from a square the way a moving piece does, to the next square.
    // Corridors are one cell wide: a way that must turn back, meets a corridor cell open
    // on three or four sides, or never meets a square is a fault.
    static int32_t Walk(int32_t from, int32_t heading, std::string* problem)
    {
        int32_t cell = NeighbourCell(from, heading);
        for (int32_t moves = 0; moves <= CellCount(); ++moves) {
            if (!Walkable(cell)) {
                *problem = "the way from " + At(from) +
                           (cell < 0 ? " runs off the board" : " runs onto blocked ground at " + At(cell));
                return -1;
            }
            if (IsSquareCell(cell))
                return cell;
            const int32_t open = WalkableNeighbours(cell);
            if (open > 2) {
                *problem = "the corridor from " + At(from) + " opens on " + std::to_string(open) + " sides at " +
                           At(cell) + "; corridors are one cell wide and every fork or join is a square";
                return -1;
            }
            const int32_t next = CorridorHeading(cell, heading);
            if (next == Reverse(heading) || !Walkable(NeighbourCell(cell, next))) {
                *problem = "the corridor from " + At(from) + " ends in a dead end at " + At(cell);
                return -1;
            }
            heading = next;
            cell = NeighbourCell(cell, heading);
        }
        *problem = "the corridor from " + At(from) + " runs in a loop without a square";
        return -1;
    }

    StageRuleReport* report_;
    std::vector<int32_t> reached_;
};

void CheckLinkBits(StageRuleReport* report)
{
    struct Layer {
        const char* name;
        int32_t (*bits)(int32_t);
    };
    const Layer layers[] = {{"route", RouteOf}, {"back-move", BackLinksOf}, {"enemy-move", EnemyLinksOf}};
    for (const Layer& layer : layers) {
        for (int32_t cell = 0; cell < CellCount(); ++cell) {
            const int32_t bits = layer.bits(cell);
            for (int which = 0; which < 4; ++which) {
                const int32_t next = NeighbourCell(cell, kLinkHeadings[which]);
                if ((bits & kLinkBits[which]) != 0 && !Walkable(next))
                    report->problems.push_back(std::string("the ") + layer.name + " bit " +
                                               std::to_string(kLinkBits[which]) + " at " + At(cell) + " points " +
                                               (next < 0 ? "off the board" : "onto blocked ground"));
            }
        }
    }
}

// ---- scripts ----

struct Command {
    int32_t number = 0;
    int32_t start = 0; // the '#'
    int32_t end = 0;   // behind the last argument
    std::string labels[2];
    int32_t labelCount = 0;
};

struct Script {
    const char* slot = nullptr;
    std::string bytes; // the stored script
    std::vector<Command> commands;
    std::vector<std::pair<int32_t, int32_t>> texts; // free text between commands: where labels stand
    bool hasRecord = false;
};

// Reads a stored script as the game's readers read it, byte by byte. It refuses what
// the game cannot play (a value that no store or number of the game holds, or a script
// the dispatcher would read otherwise than its paths are walked here), and lists apart
// what our own stages keep to although the game would play it.
class ScriptReader {
public:
    ScriptReader(Script& script, EventScriptInfo& info, std::string& problem)
        : s_(script), info_(info), problem_(problem)
    {}

    bool Parse()
    {
        const int32_t length = static_cast<int32_t>(s_.bytes.size());
        for (int32_t i = 0; i < length; ++i) {
            // The dispatcher and the '$' search pass over a NUL; the rules would not.
            if (s_.bytes[static_cast<size_t>(i)] == '\0')
                return Fail(i, "a NUL byte inside the script");
        }
        int32_t pos = 0;
        while (pos < length) {
            const char c = s_.bytes[static_cast<size_t>(pos)];
            if (c == '#') {
                if (!ParseCommand(pos))
                    return false;
            } else if (c == '$') {
                if (!s_.hasRecord) {
                    if (!ParseRecord(pos))
                        return false;
                    continue;
                }
                // The game looks for the first '$' only; the dispatcher passes over the rest.
                Own(pos, "a second '$' record; only the first one places a piece");
                int32_t end = pos + 1;
                while (end < length && s_.bytes[static_cast<size_t>(end)] != '#' &&
                       s_.bytes[static_cast<size_t>(end)] != '$')
                    ++end;
                s_.texts.emplace_back(pos, end);
                pos = end;
            } else {
                int32_t end = pos;
                while (end < length && s_.bytes[static_cast<size_t>(end)] != '#' &&
                       s_.bytes[static_cast<size_t>(end)] != '$')
                    ++end;
                CheckGlyphs(pos, end, "label text");
                s_.texts.emplace_back(pos, end);
                pos = end;
            }
        }
        if (s_.commands.empty())
            return Fail(length, "no command; every event needs at least #99");
        return true;
    }

private:
    bool Fail(int32_t pos, const std::string& what)
    {
        problem_ = "byte " + std::to_string(pos) + ": " + what;
        return false;
    }

    // What our stages keep to: the game plays the script all the same.
    void Own(int32_t pos, const std::string& what)
    {
        info_.authoring.push_back("byte " + std::to_string(pos) + ": " + what);
    }

    char At(int32_t pos) const
    {
        return pos >= 0 && pos < static_cast<int32_t>(s_.bytes.size()) ? s_.bytes[static_cast<size_t>(pos)] : '\0';
    }

    // The font draws double-byte characters; anything else shows as nothing.
    void CheckGlyphs(int32_t from, int32_t to, const char* what)
    {
        if ((to - from) % 2 != 0) {
            Own(from, std::string(what) + " must be double-byte characters only");
            return;
        }
        for (int32_t i = from; i < to; i += 2) {
            const char character[3] = {At(i), At(i + 1), '\0'};
            int32_t glyph = 0;
            FindGlyph(&glyph, character);
            if (glyph <= 0) {
                Own(i, std::string(what) + " holds a character the font does not have");
                return;
            }
        }
    }

    static std::string Range(int32_t lowest, int32_t highest)
    {
        return std::to_string(lowest) + ".." + std::to_string(highest);
    }

    // A number: 1..6 digits and a ',' (or the end of the script after the last one).
    bool Number(int32_t& pos, const char* what, int32_t& value, bool mayEnd = false)
    {
        const int32_t length = static_cast<int32_t>(s_.bytes.size());
        int32_t digits = 0;
        while (pos + digits < length && At(pos + digits) >= '0' && At(pos + digits) <= '9')
            ++digits;
        const bool atEnd = pos + digits >= length;
        if (digits == 0 || digits > 6)
            return Fail(pos, std::string(what) + ": expected a number of 1 to 6 digits");
        if (!(atEnd && mayEnd) && (atEnd || At(pos + digits) != ','))
            return Fail(pos + digits, std::string(what) + ": the number must be followed by ','");
        int32_t cursor = pos;
        value = ReadScriptNumber(&cursor, s_.slot);
        if (cursor != pos + digits + 1)
            return Fail(pos, std::string(what) + ": the game reads this number differently");
        pos = cursor;
        return true;
    }

    bool Number(int32_t& pos, int32_t lowest, int32_t highest, const char* what, int32_t& value)
    {
        const int32_t at = pos;
        if (!Number(pos, what, value))
            return false;
        if (value < lowest || value > highest)
            return Fail(at, std::string(what) + " " + std::to_string(value) + " is outside " + Range(lowest, highest));
        return true;
    }

    // A number argument of a command, held to the game's range and to our stages' own.
    bool Argument(int32_t& pos, const ScriptArg& arg, int32_t& value)
    {
        const int32_t at = pos;
        if (!Number(pos, arg.name, value))
            return false;
        // A byte the command keeps is the number's low byte, signed as the layers hold it.
        const int32_t kept = arg.lowByte ? static_cast<int8_t>(value & 0xFF) : value;
        if (kept < arg.lowest || kept > arg.highest)
            return Fail(at, std::string(arg.name) + " " + std::to_string(value) +
                                (arg.lowByte ? " is " + std::to_string(kept) + " as a byte," : std::string(" is")) +
                                " outside " + Range(arg.lowest, arg.highest));
        if ((value < arg.ownLowest || value > arg.ownHighest) && value != arg.ownAlso)
            Own(at, std::string(arg.name) + " " + std::to_string(value) + " is outside " +
                        Range(arg.ownLowest, arg.ownHighest) +
                        (arg.ownAlso >= 0 ? " (or " + std::to_string(arg.ownAlso) + ")" : std::string()));
        return true;
    }

    // A text up to its ','; out gets it as the game reads it into a buffer of `buffer`
    // bytes. Our stages write it whole, in the font's characters, within `most` bytes.
    bool Text(int32_t& pos, int32_t most, int32_t buffer, const char* what, std::string& out, bool inRecord = false)
    {
        const size_t comma = s_.bytes.find(',', static_cast<size_t>(pos));
        if (comma == std::string::npos)
            return Fail(pos, std::string(what) + ": no ',' ends it");
        const int32_t length = static_cast<int32_t>(comma) - pos;
        // The pieces are placed from the first '$' of a script, wherever it stands, and
        // the dispatcher runs every '#' it meets outside a command's arguments.
        const std::string body = s_.bytes.substr(static_cast<size_t>(pos), static_cast<size_t>(length));
        if (!inRecord && !s_.hasRecord && body.find('$') != std::string::npos)
            return Fail(pos, std::string(what) + " holds a '$', where the game would read a piece's record");
        if (inRecord && body.find('#') != std::string::npos)
            return Fail(pos, std::string(what) + " holds a '#', which the dispatcher would run as a command");
        if (length == 0)
            Own(pos, std::string(what) + " is empty");
        if (length > most)
            Own(pos, std::string(what) + " is " + std::to_string(length) + " bytes; at most " + std::to_string(most) +
                         " fit");
        CheckGlyphs(pos, static_cast<int32_t>(comma), what);
        std::vector<char> read(static_cast<size_t>(buffer), '\0');
        int32_t cursor = pos;
        ReadScriptField(read.data(), buffer, &cursor, s_.slot);
        out.assign(read.data());
        if (cursor != static_cast<int32_t>(comma) + 1)
            return Fail(pos, std::string(what) + ": the game reads this text differently");
        if (length <= most && out != body)
            Own(pos, std::string(what) + ": the game reads this text differently");
        pos = cursor;
        return true;
    }

    bool Line(int32_t& pos)
    {
        std::string unused;
        return Text(pos, kEventLineBytes, kEventLineBytes + 1, "message line", unused);
    }

    // A label the game reads as nothing would jump to the end of the script.
    bool Label(int32_t& pos, Command& command)
    {
        const int32_t at = pos;
        std::string& label = command.labels[command.labelCount++];
        if (!Text(pos, kEventLabelBytes, kEventLabelBytes + 1, "label", label))
            return false;
        if (label.empty())
            return Fail(at, "label is empty");
        return true;
    }

    // The '$' record goes into the report only when the whole of it reads.
    bool ParseRecord(int32_t& pos)
    {
        const int32_t at = pos;
        ++pos;
        EventScriptInfo r;
        if (!Number(pos, kTeamRecord, kEnemyRecord, "piece kind (1 team, 2 enemy group)", r.pieceKind) ||
            !Number(pos, 0, kHighestPieceId, "piece id", r.pieceId) || !Number(pos, 0, 270, "heading", r.heading) ||
            !Number(pos, 1, kPieceMembers, "member count", r.members))
            return false;
        if (r.heading % 90 != 0)
            return Fail(at, "heading " + std::to_string(r.heading) + " is not 0, 90, 180 or 270");
        if (r.pieceKind == kTeamRecord && r.pieceId >= kTeams)
            return Fail(at, "a team's id must be 0, 1 or 2");
        if (r.pieceKind == kEnemyRecord && r.pieceId < kRoamingGroupId)
            return Fail(at, "an enemy group's id must be 3 (the roaming group) or above");
        for (int32_t i = 0; i < r.members; ++i) {
            int32_t id = 0;
            if (!Number(pos, 0, kCharacterCount - 1, "character id", id))
                return false;
            r.ids[i] = id;
            const bool team = r.pieceKind == kTeamRecord;
            const bool ok = team ? id >= kPieceMembers * r.pieceId && id < kPieceMembers * (r.pieceId + 1)
                                 : id >= kPlayableCharacterCount;
            if (!ok)
                return Fail(at, "character " + std::to_string(id) +
                                    (team ? " is not a member of team " + std::to_string(r.pieceId)
                                          : std::string(" is not a monster (18..24)")));
        }
        if (r.pieceKind == kTeamRecord && r.members != kPieceMembers)
            Own(at, "a team has six members");
        if (!Text(pos, kPieceNameBytes - 1, kPieceNameBytes, "piece name", r.name, true))
            return false;
        info_.pieceKind = r.pieceKind;
        info_.pieceId = r.pieceId;
        info_.heading = r.heading;
        info_.members = r.members;
        std::copy(std::begin(r.ids), std::end(r.ids), std::begin(info_.ids));
        info_.name = r.name;
        s_.hasRecord = true;
        return true;
    }

    // A command reads its arguments as the command table gives them; a number the table
    // does not know is read and passed over, as the dispatcher does.
    bool ParseCommand(int32_t& pos)
    {
        Command command;
        command.start = pos;
        ++pos;
        if (!Number(pos, "command number", command.number, true))
            return false;
        const EventCommandSpec* spec = FindEventCommand(command.number);
        if (spec == nullptr)
            Own(command.start, "#" + std::to_string(command.number) + " is not a command");
        int32_t values[kMostScriptArgs] = {};
        for (int32_t i = 0; spec != nullptr && i < spec->argCount; ++i) {
            const ScriptArg& arg = spec->args[i];
            const int32_t times = arg.repeated && i > 0 ? values[i - 1] : 1;
            // Each of them takes a byte at least: more than the script has left would
            // read past its end.
            if (times > static_cast<int32_t>(s_.bytes.size()) - pos)
                return Fail(pos, std::to_string(times) + " of " + arg.name + " are more than the script holds");
            for (int32_t t = 0; t < times; ++t) {
                bool ok = true;
                switch (arg.kind) {
                case ScriptArgKind::kNumber: ok = Argument(pos, arg, values[i]); break;
                case ScriptArgKind::kLine: ok = Line(pos); break;
                case ScriptArgKind::kLabel: ok = Label(pos, command); break;
                }
                if (!ok)
                    return false;
            }
        }
        if (command.number == kCmdPopup && (values[2] <= values[0] || values[3] <= values[1]))
            Own(command.start, "the popup rectangle is empty");
        command.end = pos;
        s_.commands.push_back(command);
        return true;
    }

    Script& s_;
    EventScriptInfo& info_;
    std::string& problem_;
};

// Where a jump to a label lands, by the game's own search: the first later place of its
// bytes, wherever it stands. Returns the command that runs next, or -1 when the label
// is not there. Our stages write each label once, apart, between commands.
int32_t JumpTarget(const Script& s, const Command& from, const std::string& label, std::string* problem,
                   std::vector<std::string>* authoring)
{
    const int32_t found = FindScriptLabel(s.slot, from.end, label.c_str());
    const std::string shown = plat::Cp932ToUtf8(label.c_str());
    if (found < 0 || found >= static_cast<int32_t>(s.bytes.size())) {
        *problem = "byte " + std::to_string(from.start) + ": label \"" + shown + "\" of #" +
                   std::to_string(from.number) + " is not defined after it";
        return -1;
    }
    bool ownPlace = false;
    for (const auto& t : s.texts)
        ownPlace = ownPlace || (t.first == found && t.second - t.first == static_cast<int32_t>(label.size()));
    const std::string own = "byte " + std::to_string(from.start) + ": the jump to label \"" + shown +
                            "\" lands inside other text at byte " + std::to_string(found);
    if (!ownPlace && std::find(authoring->begin(), authoring->end(), own) == authoring->end())
        authoring->push_back(own);
    const int32_t after = found + static_cast<int32_t>(label.size());
    for (size_t i = 0; i < s.commands.size(); ++i) {
        if (s.commands[i].start >= after)
            return static_cast<int32_t>(i);
    }
    return static_cast<int32_t>(s.commands.size());
}

// Walks every path through the script, iteratively, once per command and state. A path
// must end in #99 and may record the goal (#43) once, and then leaves the race (#42)
// before it ends, so that no script can record a team twice; on the goal's event every
// path records the goal.
bool WalkPaths(int32_t eventNumber, const Script& s, bool goal, EventScriptInfo* info, std::string* problem,
               std::vector<std::string>* notes)
{
    enum : uint8_t { kPlaced = 1, kLeftAfterPlace = 2, kStates = 4 };
    struct Step {
        int32_t index;
        uint8_t state;
    };
    std::vector<uint8_t> seen(s.commands.size() + 1, 0);
    std::vector<bool> noted(s.commands.size(), false);
    std::vector<Step> todo{{0, 0}};
    while (!todo.empty()) {
        const Step step = todo.back();
        todo.pop_back();
        if (step.index >= static_cast<int32_t>(s.commands.size())) {
            *problem = "a path through the script runs to its end without #99";
            return false;
        }
        uint8_t& mask = seen[static_cast<size_t>(step.index)];
        if ((mask & (1u << step.state)) != 0)
            continue;
        mask = static_cast<uint8_t>(mask | (1u << step.state));
        const Command& c = s.commands[static_cast<size_t>(step.index)];
        uint8_t state = step.state;
        if (c.number == kCmdGoBack)
            info->sendsBack = true;
        if (c.number == kCmdGoal) {
            if ((state & kPlaced) != 0) {
                *problem =
                    "byte " + std::to_string(c.start) + ": a path runs #43 a second time; a team takes one place";
                return false;
            }
            state |= kPlaced;
        }
        if (c.number == kCmdLeaveRace) {
            if ((state & kPlaced) != 0) {
                state |= kLeftAfterPlace;
            } else if (notes != nullptr && !noted[static_cast<size_t>(step.index)]) {
                noted[static_cast<size_t>(step.index)] = true;
                notes->push_back("event " + std::to_string(eventNumber) + ", byte " + std::to_string(c.start) +
                                 ": #42 can run without #43 before it; the team leaves the race without a place");
            }
        }
        if (c.number == kCmdEnd) {
            if (goal && state != (kPlaced | kLeftAfterPlace)) {
                *problem = "a path through the goal's event ends without #43 and then #42";
                return false;
            }
            // A team that stays on the board after its place could run the goal again.
            if (state == kPlaced) {
                *problem = "byte " + std::to_string(c.start) +
                           ": a path records the goal (#43) and ends without leaving the race (#42)";
                return false;
            }
            continue;
        }
        if (c.labelCount == 2) { // a choice or a branch
            for (const std::string& label : c.labels) {
                const int32_t target = JumpTarget(s, c, label, problem, &info->authoring);
                if (target < 0)
                    return false;
                todo.push_back({target, state});
            }
            continue;
        }
        todo.push_back({step.index + 1, state});
    }
    static_assert(kStates <= 8, "the states of a command fit one byte");
    return true;
}

// ---- the text ----

// The bytes of each event the text holds ('@' ends one), decoded and counted as the
// game's loader stores them; *tail is set when text follows the last '@'.
std::vector<int32_t> EventSizes(const uint8_t* text, uint32_t length, bool* tail)
{
    std::vector<int32_t> sizes;
    int32_t count = 0;
    *tail = false;
    for (uint32_t i = 0; i < length; ++i) {
        const auto plain = static_cast<uint32_t>(DecodePlainScriptBytes(text, i, length, nullptr));
        if (plain > 0) {
            count += static_cast<int32_t>(plain);
            *tail = true;
            i += plain - 1;
            continue;
        }
        const auto c = static_cast<uint8_t>(~text[i]);
        if (c == '/') {
            while (i + 1 < length && static_cast<uint8_t>(~text[i + 1]) != '\n')
                ++i;
            continue;
        }
        if (c == '\n' || c == '\r' || c == ' ')
            continue;
        if (c == '@') {
            sizes.push_back(count);
            count = 0;
            *tail = false;
            continue;
        }
        ++count;
        *tail = true;
    }
    return sizes;
}

bool CheckText(const uint8_t* text, uint32_t length, int32_t highest, StageRuleReport* report)
{
    bool tail = false;
    const std::vector<int32_t> sizes = EventSizes(text, length, &tail);
    const size_t before = report->problems.size();
    if (tail)
        report->problems.push_back("the text after event " + std::to_string(sizes.size()) + " has no closing '@'");
    for (size_t i = 0; i < sizes.size(); ++i) {
        if (sizes[i] > kEventScriptSlotBytes - 1)
            report->problems.push_back("event " + std::to_string(i + 1) + " is " + std::to_string(sizes[i]) +
                                       " bytes; a script holds at most " + std::to_string(kEventScriptSlotBytes - 1));
    }
    const auto inText = static_cast<int32_t>(sizes.size());
    if (inText < highest)
        report->problems.push_back("the map uses event " + std::to_string(highest) + " but only " +
                                   std::to_string(inText) + " events end with '@'");
    else if (inText > highest) // never read: the game takes as many events as the map uses
        report->authoring.push_back("the text holds " + std::to_string(inText) + " events but the map uses only " +
                                    std::to_string(highest));
    return report->problems.size() == before;
}

// ---- the stage ----

class StageChecker {
public:
    explicit StageChecker(StageRuleReport* report) : r_(report), ways_(report) {}

    void Check()
    {
        CheckScripts();
        CheckPieces();
        CheckGoBacks(); // first: where a go-back stops, a team goes on from
        CheckTeamWays();
        if (roamStart_ >= 0)
            CheckRoaming();
    }

private:
    void Problem(const std::string& what) { r_->problems.push_back(what); }

    bool IsGoalEvent(int32_t n) const
    {
        for (int32_t cell = 0; cell < CellCount(); ++cell) {
            if (EventOf(cell) == n && (RouteOf(cell) & kRouteGoal) != 0)
                return true;
        }
        return false;
    }

    void CheckScripts()
    {
        for (int32_t cell = 0; cell < CellCount(); ++cell) {
            const int32_t n = EventOf(cell);
            if (n >= 1 && n <= r_->events)
                r_->scripts[n - 1].cells += 1;
        }
        for (int32_t n = 1; n <= r_->events; ++n) {
            EventScriptInfo& info = r_->scripts[n - 1];
            if (info.cells == 0) // it never runs
                r_->authoring.push_back("event " + std::to_string(n) + " stands on no cell");
            std::string problem;
            if (!CheckEventScript(n, g_eventScripts + static_cast<size_t>(n - 1) * kEventScriptSlotBytes,
                                  IsGoalEvent(n), &info, &problem, &r_->notes))
                Problem("event " + std::to_string(n) + ", " + problem);
            for (const std::string& own : info.authoring)
                r_->authoring.push_back("event " + std::to_string(n) + ", " + own);
        }
    }

    // The pieces, in the order the game places them.
    void CheckPieces()
    {
        int32_t teams[kTeams] = {};
        int32_t roaming = 0;
        for (int32_t cell = 0; cell < CellCount(); ++cell) {
            const int32_t n = EventOf(cell);
            if (n < 1 || n > r_->events || r_->scripts[n - 1].pieceKind == 0)
                continue;
            const EventScriptInfo& s = r_->scripts[n - 1];
            ++r_->pieces;
            if (!Walkable(cell))
                Problem("the piece of event " + std::to_string(n) + " starts on blocked ground at " + At(cell));
            else if (!IsSquareCell(cell))
                Problem("the piece of event " + std::to_string(n) + " starts on a corridor at " + At(cell) +
                        "; it could not choose a way");
            if (s.pieceKind == kTeamRecord && s.pieceId >= 0 && s.pieceId < kTeams) {
                ++teams[s.pieceId];
                teamStarts_.push_back(cell);
            } else if (s.pieceKind == kEnemyRecord && s.pieceId == kRoamingGroupId) {
                ++roaming;
                roamStart_ = cell;
            }
        }
        if (r_->pieces > kMaxBoardPieces)
            Problem(std::to_string(r_->pieces) + " pieces; the board has room for " + std::to_string(kMaxBoardPieces));
        for (int32_t t = 0; t < kTeams; ++t) {
            if (teams[t] != 1)
                Problem("team " + std::to_string(t) + " has " + std::to_string(teams[t]) +
                        " start cells; it needs one");
        }
        if (roaming > 1) {
            Problem(std::to_string(roaming) + " roaming groups (id 3); only one can take turns");
            roamStart_ = -1;
        }
    }

    // Every go-back a script can order, from every cell of its event: each square it
    // passes, short of the start where it stops, must have a way further back.
    void CheckGoBacks()
    {
        const auto cells = static_cast<size_t>(CellCount());
        std::vector<uint8_t> seen(cells, 0); // bit k: reached with k squares still to go
        for (int32_t origin = 0; origin < CellCount(); ++origin) {
            const int32_t n = EventOf(origin);
            if (n < 1 || n > r_->events || !r_->scripts[n - 1].sendsBack)
                continue;
            const std::string who = "going back from " + At(origin) + " (event " + std::to_string(n) + "): ";
            std::vector<std::pair<int32_t, int32_t>> todo{{origin, kLongestGoBack}};
            while (!todo.empty()) {
                const auto [cell, left] = todo.back();
                todo.pop_back();
                if (left <= 0 || (seen[static_cast<size_t>(cell)] & (1u << left)) != 0)
                    continue;
                seen[static_cast<size_t>(cell)] = static_cast<uint8_t>(seen[static_cast<size_t>(cell)] | (1u << left));
                if (left < kLongestGoBack) {
                    stops_.push_back(cell);
                    if ((RouteOf(cell) & kRouteStart) != 0)
                        continue;
                }
                const int32_t bits = BackLinksOf(cell);
                if ((bits & kAnyLink) == 0) {
                    Problem("a piece sent back from " + At(origin) + " (event " + std::to_string(n) + ") is stuck at " +
                            At(cell) + " with no back-move way");
                    continue;
                }
                for (int which = 0; which < 4; ++which) {
                    if ((bits & kLinkBits[which]) == 0)
                        continue;
                    const int32_t next = ways_.From(cell, which, who.c_str());
                    if (next >= 0)
                        todo.emplace_back(next, left - 1);
                }
            }
        }
        static_assert(kLongestGoBack < 8, "the squares still to go fit one byte of bits");
    }

    // Explores what teams can do: from the start, the teams' own starts and wherever a
    // go-back stops, along the route bits. Every square a team can reach must lead on
    // and, in the end, to a goal.
    void CheckTeamWays()
    {
        const auto cells = static_cast<size_t>(CellCount());
        std::vector<uint8_t> reached(cells, 0);
        std::vector<int32_t> order; // squares in the order they were reached
        std::vector<std::vector<int32_t>> next(cells);
        std::vector<int32_t> todo = teamStarts_;
        const int32_t start = FindTrackStart();
        if (start >= 0)
            todo.push_back(start);
        todo.insert(todo.end(), stops_.begin(), stops_.end());
        while (!todo.empty()) {
            const int32_t cell = todo.back();
            todo.pop_back();
            if (reached[static_cast<size_t>(cell)] != 0)
                continue;
            reached[static_cast<size_t>(cell)] = 1;
            order.push_back(cell);
            const int32_t bits = RouteOf(cell);
            if ((bits & kRouteGoal) != 0)
                continue;
            int32_t ways = 0;
            for (int which = 0; which < 4; ++which) {
                if ((bits & kLinkBits[which]) == 0)
                    continue;
                ++ways;
                const int32_t to = ways_.From(cell, which, "");
                if (to < 0)
                    continue;
                next[static_cast<size_t>(cell)].push_back(to);
                todo.push_back(to);
            }
            if (ways == 0)
                Problem("a team on the square at " + At(cell) + " has no way on");
            else if (ways == 4)
                Problem("the square at " + At(cell) + " opens every way; a team could turn straight back");
            if (ways > 1)
                ++r_->forks;
        }
        // Every square a team can reach must still lead to a goal: back from the goals.
        std::vector<std::vector<int32_t>> previous(cells);
        for (const int32_t cell : order) {
            for (const int32_t to : next[static_cast<size_t>(cell)])
                previous[static_cast<size_t>(to)].push_back(cell);
        }
        std::vector<uint8_t> leads(cells, 0);
        std::vector<int32_t> back;
        for (const int32_t cell : order) {
            if ((RouteOf(cell) & kRouteGoal) != 0) {
                leads[static_cast<size_t>(cell)] = 1;
                back.push_back(cell);
            }
        }
        while (!back.empty()) {
            const int32_t cell = back.back();
            back.pop_back();
            for (const int32_t from : previous[static_cast<size_t>(cell)]) {
                if (leads[static_cast<size_t>(from)] == 0) {
                    leads[static_cast<size_t>(from)] = 1;
                    back.push_back(from);
                }
            }
        }
        for (const int32_t cell : order) {
            if (leads[static_cast<size_t>(cell)] == 0)
                Problem("from the square at " + At(cell) + " no way leads to the goal");
        }
        CheckRouteLengths(next, start);
    }

    // A team's progress counts the squares it has walked, and the progress display and
    // the race's end measure it against the track walk, which follows the first way at
    // every fork. So no way from the start, or from a team's own start, may take more
    // squares to the goal than that walk, and the ways must not run in a loop. A
    // depth-first walk with its own stack: the board's size bounds it, not the
    // program's stack.
    void CheckRouteLengths(const std::vector<std::vector<int32_t>>& next, int32_t start)
    {
        const auto cells = static_cast<size_t>(CellCount());
        enum : uint8_t { kNew, kOpen, kDone };
        std::vector<uint8_t> mark(cells, kNew);
        std::vector<int32_t> longest(cells, 0); // squares to the goal on the longest way
        bool loop = false;
        struct Frame {
            int32_t cell;
            size_t way;
        };
        auto walk = [&](int32_t root) {
            std::vector<Frame> stack{{root, 0}};
            mark[static_cast<size_t>(root)] = kOpen;
            while (!stack.empty()) {
                Frame& top = stack.back();
                const std::vector<int32_t>& ways = next[static_cast<size_t>(top.cell)];
                if (top.way < ways.size()) {
                    const int32_t to = ways[top.way++];
                    if (mark[static_cast<size_t>(to)] == kNew) {
                        mark[static_cast<size_t>(to)] = kOpen;
                        stack.push_back({to, 0});
                    } else if (mark[static_cast<size_t>(to)] == kOpen && !loop) {
                        loop = true;
                        Problem("the teams' ways run in a loop through the square at " + At(to));
                    }
                    continue;
                }
                int32_t most = 0;
                for (const int32_t to : ways)
                    most = std::max(most, 1 + longest[static_cast<size_t>(to)]);
                longest[static_cast<size_t>(top.cell)] = most;
                mark[static_cast<size_t>(top.cell)] = kDone;
                stack.pop_back();
            }
        };
        std::vector<std::pair<int32_t, const char*>> roots;
        if (start >= 0)
            roots.emplace_back(start, "the start");
        for (const int32_t t : teamStarts_) {
            if (t != start)
                roots.emplace_back(t, "a team's start");
        }
        for (const auto& root : roots) {
            if (mark[static_cast<size_t>(root.first)] == kNew)
                walk(root.first);
        }
        if (loop)
            return;
        for (const auto& [cell, what] : roots) {
            const int32_t squares = longest[static_cast<size_t>(cell)];
            if (squares > g_stageLayers.trackLength)
                Problem("a way from " + std::string(what) + " at " + At(cell) + " reaches the goal in " +
                        std::to_string(squares) + " squares, more than the " +
                        std::to_string(g_stageLayers.trackLength) +
                        " the track walk measures; make the branches of each fork equally long");
        }
    }

    void CheckRoaming()
    {
        std::vector<uint8_t> reached(static_cast<size_t>(CellCount()), 0);
        std::vector<int32_t> todo{roamStart_};
        while (!todo.empty()) {
            const int32_t cell = todo.back();
            todo.pop_back();
            if (reached[static_cast<size_t>(cell)] != 0)
                continue;
            reached[static_cast<size_t>(cell)] = 1;
            const int32_t bits = EnemyLinksOf(cell);
            if ((bits & kAnyLink) == 0) {
                Problem("the roaming group on the square at " + At(cell) + " has no enemy-move way on");
                continue;
            }
            for (int which = 0; which < 4; ++which) {
                if ((bits & kLinkBits[which]) == 0)
                    continue;
                const int32_t to = ways_.From(cell, which, "roaming group: ");
                if (to >= 0)
                    todo.push_back(to);
            }
        }
    }

    StageRuleReport* r_;
    Ways ways_;
    std::vector<int32_t> teamStarts_;
    std::vector<int32_t> stops_; // squares where a go-back may stop
    int32_t roamStart_ = -1;
};

} // namespace

void CheckStageMapRules(StageRuleReport* report)
{
    CheckLinkBits(report);
    int32_t starts = 0;
    for (int32_t cell = 0; cell < CellCount(); ++cell)
        starts += (RouteOf(cell) & kRouteStart) != 0 ? 1 : 0;
    const int32_t start = FindTrackStart();
    if (starts != 1) {
        report->problems.push_back(starts == 0 ? "no start square (route mark 16)"
                                               : std::to_string(starts) + " start squares; there must be exactly one");
    } else if (!IsSquareCell(start)) {
        report->problems.push_back("the start at " + At(start) + " is not a square");
    } else {
        int reached = 0;
        MeasureTrack(&reached);
        if (reached == 0)
            report->problems.push_back("the track walk from the start at " + At(start) +
                                       " does not reach a goal square (route value exactly 32)");
    }
    for (int32_t cell = 0; cell < CellCount(); ++cell) {
        const int32_t n = EventOf(cell);
        if (n > kMaxEvents)
            report->problems.push_back("event number " + std::to_string(n) + " at " + At(cell) +
                                       "; a stage has at most " + std::to_string(kMaxEvents) + " events");
    }
}

void CheckStageRules(const uint8_t* text, uint32_t length, StageRuleReport* report)
{
    report->textBytes = static_cast<int32_t>(length);
    report->events = std::min(FindHighestEventNumber(), static_cast<int32_t>(kMaxEvents));
    if (text == nullptr || !CheckText(text, length, report->events, report))
        return;
    StageChecker(report).Check();
}

bool CheckEventScript(int32_t eventNumber, const char* slot, bool goal, EventScriptInfo* info, std::string* problem,
                      std::vector<std::string>* notes)
{
    Script script;
    script.slot = slot;
    int32_t stored = kEventScriptSlotBytes;
    while (stored > 0 && slot[stored - 1] == '\0')
        --stored;
    script.bytes.assign(slot, static_cast<size_t>(stored));
    info->bytes = stored;
    ScriptReader reader(script, *info, *problem);
    if (!reader.Parse())
        return false;
    info->commands = static_cast<int32_t>(script.commands.size());
    return WalkPaths(eventNumber, script, goal, info, problem, notes);
}
