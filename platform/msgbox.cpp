#include "platform/msgbox.h"

#include <SDL.h>
#include <cstdio>

#include "platform/text_encoding.h"

namespace plat {

static bool s_open = false;
static bool s_record = false;
static std::string s_last;
static void (*s_observer)(const char*) = nullptr;

void ShowMessageBox(void* ownerWindow, const char* textCp932)
{
    const char* text = textCp932 ? textCp932 : "";
    s_last = text;
    std::string utf8 = Cp932ToUtf8(text);
    std::fprintf(stderr, "%s\n", utf8.c_str());
    std::fflush(stderr);
    if (s_record) {
        if (s_observer)
            s_observer(text);
        return;
    }
    s_open = true;
    // Blocks until OK; it does not pump the main window's events, so no frame and no
    // shutdown can run inside it.
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_INFORMATION, "", utf8.c_str(), static_cast<SDL_Window*>(ownerWindow));
    s_open = false;
}

bool IsMessageBoxOpen()
{
    return s_open;
}

void RecordMessageBoxes(bool enabled)
{
    s_record = enabled;
}

const std::string& LastMessageBoxText()
{
    return s_last;
}

void SetMessageBoxObserver(void (*observer)(const char* textCp932))
{
    s_observer = observer;
}

void ClearLastMessageBoxText()
{
    s_last.clear();
}

} // namespace plat
