// The modal message box: an OK box with an empty caption, owned by the main window.
#pragma once
#include <string>

namespace plat {

// Shows text (CP932) and waits for OK. The text also goes to stderr, so a player
// without a desktop still learns why the game stopped. Nothing of the game runs while
// the box is open; window events that arrive meanwhile wait in the queue.
void ShowMessageBox(void* ownerWindow, const char* textCp932);

// True while a box is open (a close request then only gets recorded).
bool IsMessageBoxOpen();

// Headless runs record the text instead of showing a box (stderr still gets it).
void RecordMessageBoxes(bool enabled);
const std::string& LastMessageBoxText(); // CP932, empty when none since the last clear
// Called with the text while a recorded box would be open (tests look at what exists
// at that moment); nullptr for none.
void SetMessageBoxObserver(void (*observer)(const char* textCp932));
void ClearLastMessageBoxText();

} // namespace plat
