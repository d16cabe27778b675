// Message boxes on the page: the text goes to standard error (the browser's console, or
// node's stderr) and to the page's Module.showMessage, which shows it in the page. Questions
// are never put to the viewer: they take their safe default answer.
#include "engine/MessageBox.h"

#include <emscripten.h>

#include <cstdio>

namespace {

// clang-format off
EM_JS(void, showOnPage, (const char* text, const char* caption, unsigned style), {
    if (Module.showMessage) Module.showMessage(UTF8ToString(text), UTF8ToString(caption), style);
});
// clang-format on

} // namespace

int messageBox(const char* text, const char* caption, unsigned style, int answerWithoutUser) {
    if (caption != nullptr && caption[0] != '\0')
        std::fprintf(stderr, "%s: %s\n", caption, text);
    else
        std::fprintf(stderr, "%s\n", text);
    showOnPage(text, caption != nullptr ? caption : "", style);
    return (style & MB_YESNO) != 0 ? answerWithoutUser : IDOK;
}

bool displayAvailable() {
    return false;
}
