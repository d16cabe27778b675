// The message-box dialog over SDL2.
#include "engine/MessageBoxSdl.h"

#include "engine/MessageBox.h"

#include <SDL.h>

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

int showSdlMessageBox(const char* text, const char* caption, unsigned style,
                      int answerWithoutUser) {
    if ((style & 0xF) == MB_YESNO) return askWithDialog(text, caption, style, answerWithoutUser);
    SDL_ShowSimpleMessageBox(sdlIconFlags(style), caption, text, nullptr);
    return IDOK;
}
