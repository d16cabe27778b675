// Message boxes: the one way the program talks to its user outside the picture.
#pragma once

// Styles: one button set and one icon, combined with |.
enum : unsigned {
    MB_OK = 0x0,
    MB_YESNO = 0x4,
    MB_ICONERROR = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONWARNING = 0x30,
    MB_ICONEXCLAMATION = 0x30,
};

// Results.
enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

// Writes the text to standard error (after "caption: " when the caption is not empty) and, when
// a display is available and the program installed a dialog, shows it as a real dialog and
// waits for it. A Yes/No question with no dialog asks on the terminal when standard input is
// one; otherwise it answers answerWithoutUser. Returns IDOK, IDYES or IDNO.
int messageBox(const char* text, const char* caption, unsigned style, int answerWithoutUser = IDNO);

// A platform's dialog for messageBox: shows the text and returns IDOK, IDYES or IDNO. Called
// only while a display is available; the text has already gone to standard error.
using MessageBoxDialog = int (*)(const char* text, const char* caption, unsigned style,
                                 int answerWithoutUser);
// Installed by the program's main before anything is shown; null (the default): text only.
void setMessageBoxDialog(MessageBoxDialog dialog);

// True when a window system is reachable and SDL's video driver is not the dummy one.
bool displayAvailable();
// The terminal's answer to a Yes/No question: y or Y is IDYES, anything else IDNO;
// answerWithoutUser when standard input is not a terminal or ends.
int askOnTerminal(int answerWithoutUser);
