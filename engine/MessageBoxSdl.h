// The message-box dialog over SDL2, for programs with a screen.
#pragma once

// A MessageBoxDialog (see engine/MessageBox.h): an SDL message box with OK, or Yes and No for
// a question; a question whose box cannot be shown is asked on the terminal.
int showSdlMessageBox(const char* text, const char* caption, unsigned style, int answerWithoutUser);
