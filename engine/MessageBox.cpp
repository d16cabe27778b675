// Message boxes: the text on standard error, questions on the terminal, and the dialog of the
// platform that the program's main installed.
#include "engine/MessageBox.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {
MessageBoxDialog installedDialog = nullptr;
} // namespace

void setMessageBoxDialog(MessageBoxDialog dialog) {
    installedDialog = dialog;
}

bool displayAvailable() {
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    if (driver != nullptr &&
        (std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "offscreen") == 0))
        return false;
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
}

int askOnTerminal(int answerWithoutUser) {
    if (!isatty(STDIN_FILENO)) return answerWithoutUser;
    std::fputs("[y/N] ", stderr);
    std::fflush(stderr);
    char line[64];
    if (std::fgets(line, sizeof line, stdin) == nullptr) return answerWithoutUser;
    return (line[0] == 'y' || line[0] == 'Y') ? IDYES : IDNO;
}

int messageBox(const char* text, const char* caption, unsigned style, int answerWithoutUser) {
    if (text == nullptr) text = "";
    if (caption == nullptr) caption = "";
    if (*caption != '\0')
        std::fprintf(stderr, "%s: %s\n", caption, text);
    else
        std::fprintf(stderr, "%s\n", text);
    std::fflush(stderr);

    const bool question = (style & 0xF) == MB_YESNO;
    if (installedDialog == nullptr || !displayAvailable())
        return question ? askOnTerminal(answerWithoutUser) : IDOK;
    return installedDialog(text, caption, style, answerWithoutUser);
}
