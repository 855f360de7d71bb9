#include "engine/startup_note.h"

#include <cstdarg>
#include <cstdio>

static char s_note[512];

void NoteStartupFailure(const char* format, ...)
{
    if (s_note[0] != '\0')
        return;
    va_list args;
    va_start(args, format);
    std::vsnprintf(s_note, sizeof(s_note), format, args);
    va_end(args);
}

const char* StartupFailureNote()
{
    return s_note;
}

void ClearStartupFailureNote()
{
    s_note[0] = '\0';
}
