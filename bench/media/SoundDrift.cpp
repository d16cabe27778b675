// Measures how far the sound output's position drifts from the millisecond counter, which is
// the show's clock, while an MP3 plays through the default output (run it with
// SDL_AUDIODRIVER=dummy or disk on a headless machine).
// Usage: sound_drift [seconds (default 300)] [mp3 file (default: a generated tone)]
#include "engine/TickCount.h"
#include "media/SoundLibrary.h"
#include "tools/mp3encode/Mp3Encode.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

std::atomic<uint64_t> bytesPlayed{0}; // bytes handed to the device so far

void countBlock(SoundHandle, SoundHandle, void*, uint32_t length, void*) {
    bytesPlayed += length;
}

double audioMs(uint64_t bytes) {
    return static_cast<double>(bytes) / 4.0 / 44100.0 * 1000.0;
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 300;
    std::string path = argc > 2 ? argv[2] : "";
    if (path.empty()) {
        path = "/tmp/sound-drift-" + std::to_string(getpid()) + ".mp3";
        std::printf("encoding %d s of tone...\n", seconds + 5);
        writeBytes(path, encodeMp3(makeTone(44100, 2, seconds + 5.0, 440.0), 44100, 2, 64, false));
    }
    if (soundInit(-1, 44100, 16) == 0) {
        std::fprintf(stderr, "no audio output\n");
        return 1;
    }
    SoundHandle stream = soundStreamCreateFile(path.c_str(), 0);
    if (stream == 0 || soundChannelSetDsp(stream, countBlock, nullptr) == 0) {
        std::fprintf(stderr, "cannot play %s\n", path.c_str());
        return 1;
    }
    soundStart();
    soundStreamPlay(stream, 0, 0);
    // Start measuring at the first block, so the device's start-up delay is not counted.
    while (bytesPlayed == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const uint64_t bytes0 = bytesPlayed;
    const uint32_t ms0 = getTickCount();
    std::printf("%8s %12s %12s %10s\n", "wall s", "audio ms", "wall ms", "drift ms");
    double drift = 0.0;
    uint32_t wall = 0;
    for (int s = 1; s <= seconds && soundChannelIsActive(stream); ++s) {
        std::this_thread::sleep_until(std::chrono::steady_clock::now() +
                                      std::chrono::milliseconds(1000));
        wall = getTickCount() - ms0;
        const double audio = audioMs(bytesPlayed - bytes0);
        drift = audio - wall;
        if (s % 10 == 0 || s == seconds)
            std::printf("%8d %12.1f %12u %10.1f\n", s, audio, wall, drift);
    }
    std::printf("drift after %.1f s: %+.1f ms (%+.0f ppm; positive = audio ahead of the clock; "
                "block granularity %.1f ms)\n",
                wall / 1000.0, drift, wall > 0 ? drift / wall * 1e6 : 0.0, audioMs(8192));
    soundStop();
    soundStreamFree(stream);
    soundFree();
    if (argc <= 2) std::remove(path.c_str());
    return 0;
}
