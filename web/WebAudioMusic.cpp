// The soundtrack in the page: the page streams, decodes and plays the MP3 itself (web/
// stream-music.js) and answers the run's calls through the module's hooks (Module.startMusic,
// seekMusic, stopMusic, pauseMusic, resumeMusic, setMusicMuted, musicPositionMs, musicError),
// so the module keeps no state of it. There is no video export in the browser: the page's
// check mode has its own frame sink.
#include "engine/Error.h"
#include "web/WebMusic.h"

#include <emscripten.h>

#include <cstdlib>
#include <string>

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
EM_JS(void, pagePausesMusic, (), {
    if (Module.pauseMusic) Module.pauseMusic();
});
EM_JS(void, pageResumesMusic, (), {
    if (Module.resumeMusic) Module.resumeMusic();
});
EM_JS(void, pageMutesMusic, (int muted), {
    if (Module.setMusicMuted) Module.setMusicMuted(muted !== 0);
});
EM_JS(double, pageMusicPositionMs, (), {
    return Module.musicPositionMs ? Module.musicPositionMs() : -1;
});
// The page's reason for having no sound (the file's name and why), or null (the caller frees
// the copy).
EM_JS(char*, pageMusicError, (), {
    const text = Module.musicError ? Module.musicError() : "";
    if (!text) return 0;
    const size = lengthBytesUTF8(text) + 1;
    const copy = _malloc(size);
    if (copy) stringToUTF8(text, copy, size);
    return copy;
});
// clang-format on

void setUp(bool) {}

void start(const char*) {
    if (pageStartsMusic() != 0) return;
    char* why = pageMusicError();
    const std::string reason = why != nullptr ? why : "the page has no velmorin.mp3";
    std::free(why);
    throw Error("Couldn't play the soundtrack", reason);
}

void seek(int64_t ms) {
    pageSeeksMusic(static_cast<double>(ms < 0 ? 0 : ms) / 1000.0);
}

void stop() {
    pageStopsMusic();
}

void pause() {
    pagePausesMusic();
}

void resume() {
    pageResumesMusic();
}

void setMuted(bool muted) {
    pageMutesMusic(muted ? 1 : 0);
}

int64_t positionMs() {
    const double ms = pageMusicPositionMs();
    return ms < 0 ? -1 : static_cast<int64_t>(ms);
}

} // namespace

MusicPlayer pageMusic() {
    MusicPlayer music{setUp, start, seek, stop, nullptr};
    music.pause = pause;
    music.resume = resume;
    music.setMuted = setMuted;
    music.positionMs = positionMs;
    return music;
}
