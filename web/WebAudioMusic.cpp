// The soundtrack in the page: where it starts and whether it plays live in the page
// (Module.seekMusic, Module.startMusic, Module.stopMusic), so the module keeps no state of it.
// There is no video export in the browser: the page's check mode has its own frame sink.
#include "engine/Error.h"
#include "web/WebMusic.h"

#include <emscripten.h>

namespace {

// clang-format off
EM_JS(int, pageStartsMusic, (), {
    return Module.startMusic ? (Module.startMusic() ? 1 : 0) : 0;
});
EM_JS(void, pageSeeksMusic, (double seconds), {
    if (Module.seekMusic) Module.seekMusic(seconds);
});
EM_JS(void, pageStopsMusic, (), {
    if (Module.stopMusic) Module.stopMusic();
});
// clang-format on

void setUp(bool) {}

void start(const char*) {
    if (pageStartsMusic() == 0)
        throw Error("Couldn't play the soundtrack", "the page has no decoded velmorin.mp3");
}

void seek(int64_t ms) {
    pageSeeksMusic(static_cast<double>(ms < 0 ? 0 : ms) / 1000.0);
}

void stop() {
    pageStopsMusic();
}

} // namespace

MusicPlayer pageMusic() {
    return {setUp, start, seek, stop, nullptr};
}
