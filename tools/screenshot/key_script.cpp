#include "key_script.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>

#include "engine/input.h"

namespace {

struct KeyName {
    const char* name;
    int slot;
};

const KeyName kKeyNames[] = {
    {"down", kKeyDown},
    {"up", kKeyUp},
    {"right", kKeyRight},
    {"left", kKeyLeft},
    {"escape", kKeyEscape},
    {"esc", kKeyEscape},
    {"control", kKeyControl},
    {"ctrl", kKeyControl},
    {"return", kKeyReturn},
    {"enter", kKeyReturn},
    {"z", kKeyZ},
    {"space", kKeySpace},
    {"shift", kKeyShift},
    {"a", kKeyA},
    {"s", kKeyS},
    {"d", kKeyD},
};

// A whole decimal count of frames, 1 to a million.
bool ParseCount(const std::string& text, int* count)
{
    if (text.empty() || text.size() > 7)
        return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    *count = std::atoi(text.c_str());
    return *count >= 1 && *count <= 1000000;
}

bool ParseKeys(const std::string& text, uint32_t* keys)
{
    *keys = 0;
    size_t start = 0;
    for (;;) {
        size_t plus = text.find('+', start);
        std::string name = text.substr(start, plus == std::string::npos ? std::string::npos : plus - start);
        for (char& c : name)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        bool known = false;
        for (const KeyName& k : kKeyNames) {
            if (name == k.name) {
                *keys |= 1u << k.slot;
                known = true;
            }
        }
        if (!known)
            return false;
        if (plus == std::string::npos)
            return true;
        start = plus + 1;
    }
}

} // namespace

bool ParseKeyScript(const std::string& text, std::vector<KeyScriptStep>& steps, std::string* error)
{
    steps.clear();
    size_t pos = 0;
    while (pos < text.size()) {
        if (std::isspace(static_cast<unsigned char>(text[pos])) || text[pos] == ',') {
            ++pos;
            continue;
        }
        size_t end = pos;
        while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end])) && text[end] != ',')
            ++end;
        const std::string word = text.substr(pos, end - pos);
        pos = end;

        int frames = 0;
        if (ParseCount(word, &frames)) {
            steps.push_back({frames, 0});
            continue;
        }
        const size_t star = word.find('*');
        int held = 1;
        if (star != std::string::npos && !ParseCount(word.substr(star + 1), &held)) {
            if (error)
                *error = "bad frame count in \"" + word + "\"";
            return false;
        }
        uint32_t keys = 0;
        if (!ParseKeys(word.substr(0, star), &keys)) {
            if (error)
                *error = "unknown key in \"" + word + "\"";
            return false;
        }
        steps.push_back({held, keys});
        steps.push_back({1, 0}); // released, so that the next press is a new press
    }
    return true;
}
