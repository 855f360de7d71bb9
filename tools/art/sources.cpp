// Reading the art sources: the rectangle list and the character names.
#include <fstream>
#include <sstream>

#include "art.h"

namespace art {

namespace {
// Splits one CSV line; quoted fields may hold commas.
std::vector<std::string> SplitCsv(const std::string& line)
{
    std::vector<std::string> f(1);
    bool quoted = false;
    for (char ch : line) {
        if (ch == '"')
            quoted = !quoted;
        else if (ch == ',' && !quoted)
            f.emplace_back();
        else if (ch != '\r')
            f.back() += ch;
    }
    return f;
}
} // namespace

bool LoadRectList(const std::string& path, std::vector<RectRow>& out, std::string& error)
{
    std::ifstream f(path);
    if (!f) {
        error = "cannot open " + path;
        return false;
    }
    std::string line;
    std::getline(f, line); // header
    int n = 1;
    while (std::getline(f, line)) {
        ++n;
        if (line.empty())
            continue;
        auto v = SplitCsv(line);
        if (v.size() < 6) {
            error = path + ":" + std::to_string(n) + ": expected at least 6 fields";
            return false;
        }
        RectRow r;
        r.texture = v[0];
        try {
            r.r = {std::stoi(v[1]), std::stoi(v[2]), std::stoi(v[3]), std::stoi(v[4])};
        } catch (...) {
            error = path + ":" + std::to_string(n) + ": bad number";
            return false;
        }
        r.element = v[5];
        if (v.size() > 6)
            r.what = v[6];
        out.push_back(r);
    }
    return true;
}

bool LoadCharacterNames(const std::string& path, std::vector<std::string>& names, std::string& error)
{
    std::ifstream f(path);
    if (!f) {
        error = "cannot open " + path;
        return false;
    }
    names.assign(18, "");
    std::string line;
    while (std::getline(f, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream s(line);
        int id = -1;
        std::string name;
        s >> id >> name;
        if (id < 0 || id >= 18 || name.empty()) {
            error = path + ": bad line: " + line;
            return false;
        }
        names[id] = name;
    }
    for (int i = 0; i < 18; ++i)
        if (names[i].empty()) {
            error = path + ": no name for character " + std::to_string(i);
            return false;
        }
    return true;
}

} // namespace art
