// Why the start-up chain failed, in words for stderr. The loaders know which block of
// the archive failed and why; the chain prints the note beside its message box text.
#pragma once

// Keeps the first note since the last clear (the cause, not what followed from it).
void NoteStartupFailure(const char* format, ...) __attribute__((format(printf, 1, 2)));
const char* StartupFailureNote(); // "" when none
void ClearStartupFailureNote();
