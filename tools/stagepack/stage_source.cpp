#include "stage_source.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iconv.h>
#include <iterator>
#include <sstream>

#include "board/stage.h"
#include "board/world.h"
#include "platform/byte_order.h"

namespace stagepack {

namespace {

enum Layer { kSquare = 0, kRoute = 1, kBack = 2, kEvent = 3, kEnemy = 4 };

bool ReadLines(const std::string& path, std::vector<std::string>& lines, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot be read";
        return false;
    }
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return true;
}

// Ground: what the board view draws and what a piece may walk on.
int GroundValue(char c)
{
    switch (c) {
    case '.': return kBlockedKind; // grass, blocked
    case '^': return 16;           // raised mountain, blocked
    case '~': return 45;           // sea, blocked
    case ':': return 1;            // rock floor corridor
    case '=': return 2;            // road corridor
    case 'A': return kFirstSquareKind;
    case 'B': return kFirstSquareKind + 1;
    case 'C': return kFirstSquareKind + 2;
    case 'D': return kFirstSquareKind + 3;
    case 'E': return kLastSquareKind;
    default: return -1;
    }
}

// Direction bits: an arrow for one way, a hex digit for any combination.
int DirectionValue(char c)
{
    switch (c) {
    case '.': return 0;
    case '>': return kLinkHeading0;
    case '<': return kLinkHeading180;
    case 'v': return kLinkHeading270;
    case '^': return kLinkHeading90;
    default: break;
    }
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Event numbers 1..9, then a = 10, b = 11 ... z = 35 (the checker refuses above 10,
// but the map can still say what it means).
int EventValue(char c)
{
    if (c == '.')
        return 0;
    if (c >= '1' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 10;
    return -1;
}

int LayerOfKeyword(const std::string& word)
{
    if (word == "ground")
        return kSquare;
    if (word == "route")
        return kRoute;
    if (word == "back")
        return kBack;
    if (word == "event")
        return kEvent;
    if (word == "enemy")
        return kEnemy;
    return -1;
}

std::string Where(const std::string& path, size_t lineIndex)
{
    return path + ":" + std::to_string(lineIndex + 1) + ": ";
}

bool IsLeadByte(uint8_t b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

} // namespace

bool ReadStageMap(const std::string& path, StageSource& stage, std::string& error)
{
    std::vector<std::string> lines;
    if (!ReadLines(path, lines, error))
        return false;
    stage.width = stage.height = 0;
    for (auto& layer : stage.layers)
        layer.clear();
    bool seen[kLayers] = {};
    int startColumn = -1, startRow = -1, goalColumn = -1, goalRow = -1;

    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream words(line);
        std::string word;
        words >> word;
        if (word == "size") {
            long w = 0, h = 0;
            if (!(words >> w >> h) || stage.width != 0) {
                error = Where(path, i) + "expected one line \"size W H\"";
                return false;
            }
            if (w < 1 || w > kMaxBoardSide || h < 1 || h > kMaxBoardSide) {
                error = Where(path, i) + "size " + std::to_string(w) + " x " + std::to_string(h) +
                        ": width and height must be 1.." + std::to_string(kMaxBoardSide);
                return false;
            }
            stage.width = int(w);
            stage.height = int(h);
            continue;
        }
        if (word == "start" || word == "goal") {
            int c = -1, r = -1;
            if (!(words >> c >> r)) {
                error = Where(path, i) + "expected \"" + word + " COLUMN ROW\"";
                return false;
            }
            (word == "start" ? startColumn : goalColumn) = c;
            (word == "start" ? startRow : goalRow) = r;
            continue;
        }
        const int layer = LayerOfKeyword(word);
        if (layer < 0) {
            error = Where(path, i) + "unknown line \"" + line + "\"";
            return false;
        }
        if (stage.width == 0) {
            error = Where(path, i) + "the size line must come before the grids";
            return false;
        }
        if (seen[layer]) {
            error = Where(path, i) + "grid \"" + word + "\" given twice";
            return false;
        }
        seen[layer] = true;
        std::vector<uint8_t>& cells = stage.layers[layer];
        cells.assign(size_t(stage.width) * size_t(stage.height), 0);
        for (int row = 0; row < stage.height; ++row) {
            const size_t at = i + 1 + size_t(row);
            if (at >= lines.size() || int(lines[at].size()) != stage.width) {
                error = Where(path, at) + "grid \"" + word + "\" needs " + std::to_string(stage.height) + " rows of " +
                        std::to_string(stage.width) + " characters";
                return false;
            }
            for (int column = 0; column < stage.width; ++column) {
                const char c = lines[at][size_t(column)];
                const int value = layer == kSquare  ? GroundValue(c)
                                  : layer == kEvent ? EventValue(c)
                                                    : DirectionValue(c);
                if (value < 0) {
                    error = Where(path, at) + "column " + std::to_string(column) + ": '" + std::string(1, c) +
                            "' means nothing in the " + word + " grid";
                    return false;
                }
                cells[size_t(row) * size_t(stage.width) + size_t(column)] = uint8_t(value);
            }
        }
        i += size_t(stage.height);
    }
    if (stage.width == 0) {
        error = path + ": no size line";
        return false;
    }
    for (int layer = 0; layer < kLayers; ++layer) {
        if (!seen[layer]) {
            static const char* const kNames[kLayers] = {"ground", "route", "back", "event", "enemy"};
            error = path + ": grid \"" + kNames[layer] + "\" is missing";
            return false;
        }
    }
    // The start mark joins the start square's direction bits; the goal's route value is
    // the goal mark alone.
    auto onBoard = [&](int c, int r) { return c >= 0 && c < stage.width && r >= 0 && r < stage.height; };
    if (startColumn >= 0 || startRow >= 0) {
        if (!onBoard(startColumn, startRow)) {
            error = path + ": the start cell lies off the board";
            return false;
        }
        stage.layers[kRoute][size_t(startRow) * size_t(stage.width) + size_t(startColumn)] |= kRouteStart;
    }
    if (goalColumn >= 0 || goalRow >= 0) {
        if (!onBoard(goalColumn, goalRow)) {
            error = path + ": the goal cell lies off the board";
            return false;
        }
        stage.layers[kRoute][size_t(goalRow) * size_t(stage.width) + size_t(goalColumn)] |= kRouteGoal;
    }
    return true;
}

bool ReadStageScript(const std::string& path, StageSource& stage, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot be read";
        return false;
    }
    std::string utf8((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    iconv_t cd = iconv_open("CP932", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        error = "no UTF-8 to CP932 converter on this system";
        return false;
    }
    std::string out;
    char* inPtr = utf8.data();
    size_t inLeft = utf8.size();
    char buffer[1024];
    bool ok = true;
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof(buffer);
        const size_t result = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        out.append(buffer, size_t(outPtr - buffer));
        if (result == static_cast<size_t>(-1) && errno != E2BIG) {
            const size_t offset = utf8.size() - inLeft;
            const size_t line = size_t(std::count(utf8.begin(), utf8.begin() + long(offset), '\n')) + 1;
            error = path + ":" + std::to_string(line) + ": a character that has no CP932 code";
            ok = false;
            break;
        }
    }
    iconv_close(cd);
    if (!ok)
        return false;
    if (out.size() > size_t(kEventTextBytes)) {
        error = path + ": " + std::to_string(out.size()) + " bytes of script text; a stage holds at most " +
                std::to_string(kEventTextBytes);
        return false;
    }
    // The game ends an event at any '@' byte outside a comment, even the second byte of
    // a double-byte character.
    size_t line = 1;
    bool inComment = false;
    for (size_t i = 0; i < out.size(); ++i) {
        const uint8_t b = uint8_t(out[i]);
        if (b == '\n') {
            ++line;
            inComment = false;
            continue;
        }
        if (inComment)
            continue;
        if (b == '/') {
            inComment = true;
            continue;
        }
        if (IsLeadByte(b) && i + 1 < out.size()) {
            if (out[i + 1] == '@') {
                error = path + ":" + std::to_string(line) +
                        ": a character whose second byte is '@' would end the event in the middle of it";
                return false;
            }
            ++i;
        }
    }
    stage.script = out;
    return true;
}

bool ReadStageSources(const std::string& dir, StageSource (&stages)[kStages], std::string& error)
{
    for (int s = 0; s < kStages; ++s) {
        const std::string base = dir + "/stage" + std::to_string(s + 1);
        if (!ReadStageMap(base + ".map", stages[s], error) || !ReadStageScript(base + ".txt", stages[s], error))
            return false;
    }
    return true;
}

std::vector<uint8_t> BuildMapPack(const StageSource (&stages)[kStages])
{
    std::vector<uint8_t> entries;
    uint32_t offsets[kStages] = {};
    for (int s = 0; s < kStages; ++s) {
        offsets[s] = uint32_t(entries.size());
        plat::AppendLE32(entries, uint32_t(stages[s].width));
        plat::AppendLE32(entries, uint32_t(stages[s].height));
        plat::AppendLE32(entries, 0);
        plat::AppendLE32(entries, 0);
        for (const auto& layer : stages[s].layers)
            entries.insert(entries.end(), layer.begin(), layer.end());
    }
    std::vector<uint8_t> pack;
    for (uint32_t offset : offsets)
        plat::AppendLE32(pack, offset);
    pack.insert(pack.end(), entries.begin(), entries.end());
    return pack;
}

std::vector<uint8_t> BuildEventPack(const StageSource (&stages)[kStages])
{
    std::vector<uint8_t> entries;
    uint32_t offsets[kStages] = {};
    for (int s = 0; s < kStages; ++s) {
        offsets[s] = uint32_t(entries.size());
        plat::AppendLE32(entries, uint32_t(stages[s].script.size()));
        for (char c : stages[s].script)
            entries.push_back(uint8_t(~uint8_t(c)));
    }
    std::vector<uint8_t> pack;
    for (uint32_t offset : offsets)
        plat::AppendLE32(pack, offset);
    pack.insert(pack.end(), entries.begin(), entries.end());
    return pack;
}

} // namespace stagepack
