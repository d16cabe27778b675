// The soundtrack in the page: the page decodes and plays the MP3 itself through Web Audio
// (Module.startMusic, Module.stopMusic); the show only says when. webOpen installs it as the
// show's soundtrack player. There is no video export in the browser: the page's check mode
// puts its own frame sink in its place.
#include "media/Music.h"

#include "engine/Error.h"

#include <emscripten.h>

SoundHandle musicStream = 0;

namespace {

// clang-format off
EM_JS(int, pageStartsMusic, (double seconds), {
    return Module.startMusic ? (Module.startMusic(seconds) ? 1 : 0) : 0;
});
EM_JS(void, pageStopsMusic, (), {
    if (Module.stopMusic) Module.stopMusic();
});
// clang-format on

int64_t musicStartMs = 0; // where startMusic begins, set by seekMusic

} // namespace

void setUpMusic(bool) {
    musicStream = 1; // the page's one soundtrack
}

void startMusic(const char*) {
    if (pageStartsMusic(static_cast<double>(musicStartMs) / 1000.0) == 0)
        throw Error("Couldn't play the soundtrack",
                    "the page could not start it through Web Audio - open the page with "
                    "?noaudio to play the show without sound");
}

void seekMusic(int64_t ms) {
    musicStartMs = ms < 0 ? 0 : ms;
}

void stopMusic() {
    if (musicStream == 0) return;
    pageStopsMusic();
    musicStream = 0;
}
