// Message boxes through SDL2, always echoed on standard error.
#include "engine/MessageBox.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

bool displayAvailable() {
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    if (driver != nullptr &&
        (std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "offscreen") == 0))
        return false;
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
}

namespace {

Uint32 sdlIconFlags(unsigned style) {
    switch (style & 0xF0) {
    case MB_ICONERROR:
        return SDL_MESSAGEBOX_ERROR;
    case MB_ICONWARNING:
        return SDL_MESSAGEBOX_WARNING;
    default:
        return SDL_MESSAGEBOX_INFORMATION;
    }
}

int askOnTerminal(int answerWithoutUser) {
    if (!isatty(STDIN_FILENO)) return answerWithoutUser;
    std::fputs("[y/N] ", stderr);
    std::fflush(stderr);
    char line[64];
    if (std::fgets(line, sizeof line, stdin) == nullptr) return answerWithoutUser;
    return (line[0] == 'y' || line[0] == 'Y') ? IDYES : IDNO;
}

int askWithDialog(const char* text, const char* caption, unsigned style, int answerWithoutUser) {
    const SDL_MessageBoxButtonData buttons[] = {
        {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDNO, "No"},
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, IDYES, "Yes"},
    };
    SDL_MessageBoxData data{};
    data.flags = sdlIconFlags(style);
    data.title = caption;
    data.message = text;
    data.numbuttons = 2;
    data.buttons = buttons;
    int pressed = answerWithoutUser;
    if (SDL_ShowMessageBox(&data, &pressed) != 0) return askOnTerminal(answerWithoutUser);
    return pressed == IDYES ? IDYES : IDNO;
}

} // namespace

int messageBox(const char* text, const char* caption, unsigned style, int answerWithoutUser) {
    if (text == nullptr) text = "";
    if (caption == nullptr) caption = "";
    if (*caption != '\0')
        std::fprintf(stderr, "%s: %s\n", caption, text);
    else
        std::fprintf(stderr, "%s\n", text);
    std::fflush(stderr);

    const bool question = (style & 0xF) == MB_YESNO;
    if (!displayAvailable()) return question ? askOnTerminal(answerWithoutUser) : IDOK;
    if (question) return askWithDialog(text, caption, style, answerWithoutUser);
    SDL_ShowSimpleMessageBox(sdlIconFlags(style), caption, text, nullptr);
    return IDOK;
}
