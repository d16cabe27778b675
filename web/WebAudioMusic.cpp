// The soundtrack in the page: the page decodes and plays the MP3 itself through Web Audio
// (Module.startMusic, Module.stopMusic); the show only says when. There is no AVI export in
// the browser: the page's check mode puts its own frame sink in the writer's place.
#include "media/AviWriter.h"
#include "media/Music.h"

#include <emscripten.h>

#include <cstdio>

SoundHandle musicStream = 0;

namespace {

// clang-format off
EM_JS(int, pageStartsMusic, (), {
    return Module.startMusic ? (Module.startMusic() ? 1 : 0) : 0;
});
EM_JS(void, pageStopsMusic, (), {
    if (Module.stopMusic) Module.stopMusic();
});
// clang-format on

} // namespace

void setUpMusic(bool) {
    musicStream = 1; // the page's one soundtrack
}

void startMusic(const char*) {
    if (pageStartsMusic() == 0) throw 2; // as a stream that cannot be played
}

void stopMusic() {
    if (musicStream == 0) return;
    pageStopsMusic();
    musicStream = 0;
}

FrameSink* makeAviWriter(const std::string&, uint8_t*, SoundHandle*) {
    std::fprintf(stderr, "video export is not available in the browser\n");
    return nullptr;
}
