// The soundtrack's set-up, start and stop over the sound library.
#include "media/Music.h"

#include "engine/Error.h"

#include <atomic>
#include <cstring>
#include <string>

SoundHandle musicStream = 0;

namespace {
// Set once set-up has been entered: stopping calls into the sound library only after that,
// so a run with the sound off never reaches the library.
bool musicSetUp = false;
bool musicStarted = false;  // startMusic has succeeded
bool musicPaused = false;   // pauseMusic held it
bool playsOnResume = false; // it was playing when paused, or a seek since gave it a place
bool muteDspSet = false;    // the silencing DSP is on the stream
std::atomic<bool> muted{false};

// Runs on the sound library's thread over every block before it is heard.
void silenceWhenMuted(SoundHandle, SoundHandle, void* buffer, uint32_t lengthBytes, void*) {
    if (muted) std::memset(buffer, 0, lengthBytes);
}

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
    musicStarted = true;
    musicPaused = false;
}

void seekMusic(int64_t ms) {
    if (!musicSetUp || musicStream == 0) return;
    const bool ended = musicStarted && !musicPaused && soundChannelIsActive(musicStream) == 0;
    if (soundChannelSetPosition(musicStream, ms * 44100 / 1000) == 0) return;
    if (musicPaused)
        playsOnResume = true;
    else if (ended)
        soundStreamPlay(musicStream, 0, 0);
}

void pauseMusic() {
    if (!musicSetUp || musicStream == 0 || !musicStarted || musicPaused) return;
    playsOnResume = soundChannelIsActive(musicStream) != 0;
    soundStop(); // returns once no block is being taken
    musicPaused = true;
}

void resumeMusic() {
    if (!musicPaused) return;
    musicPaused = false;
    soundStart();
    // Not played when it had ended: playing an ended stream would start it from the beginning.
    if (playsOnResume) soundStreamPlay(musicStream, 0, 0);
}

void setMusicMuted(bool silent) {
    if (!musicSetUp || musicStream == 0) return;
    muted = silent;
    if (silent && !muteDspSet)
        muteDspSet = soundChannelSetDsp(musicStream, silenceWhenMuted, nullptr) != 0;
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
    musicStarted = false;
    musicPaused = false;
    muteDspSet = false;
    muted = false;
}
