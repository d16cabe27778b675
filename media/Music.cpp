// The soundtrack's set-up, start and stop over the sound library.
#include "media/Music.h"

#include "engine/Error.h"

#include <string>

SoundHandle musicStream = 0;

namespace {
// Set once set-up has been entered: stopping calls into the sound library only after that,
// so a run with the sound off never reaches the library.
bool musicSetUp = false;

// The sound library's reason, and the way to see the show anyway.
std::string withoutSoundHint() {
    return std::string(soundErrorText()) + " - run with noaudio to play the show without sound";
}
} // namespace

void setUpMusic(bool captureOnly) {
    musicSetUp = true;
    const uint32_t flags = 16u | (captureOnly ? soundInitDecodeOnly : 0u);
    if (soundInit(-1, 44100, flags) == 0)
        throw Error("Couldn't open the sound device", withoutSoundHint());
    musicStream = soundStreamCreateFile("velmorin.mp3", 0x20000);
    if (musicStream == 0) throw Error("Couldn't load the soundtrack", withoutSoundHint());
}

void startMusic(const char*) {
    soundStart();
    if (soundStreamPlay(musicStream, 0, 0) == 0)
        throw Error("Couldn't play the soundtrack", soundErrorText());
}

void seekMusic(int64_t ms) {
    if (!musicSetUp || musicStream == 0) return;
    soundChannelSetPosition(musicStream, ms * 44100 / 1000);
}

int64_t musicPositionMs() {
    if (!musicSetUp || musicStream == 0) return -1;
    const int64_t frame = soundChannelGetPosition(musicStream);
    return frame < 0 ? -1 : frame * 1000 / 44100;
}

void stopMusic() {
    if (!musicSetUp) return;
    soundStop();
    soundStreamFree(musicStream);
    soundFree();
    musicStream = 0;
}
