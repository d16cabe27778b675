// Measures decode-only mode: how long the whole soundtrack takes to reach a capture DSP that
// copies and silences every block, as the video export does.
// Usage: decode_ahead [seconds of sound (default 900)] [mp3 file (default: a generated tone)]
#include "media/SoundLibrary.h"
#include "tools/mp3encode/Mp3Encode.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::vector<uint8_t> capture; // bytes captured so far; owned by the decoding thread

void captureBlock(SoundHandle, SoundHandle, void* buffer, uint32_t length, void*) {
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    capture.insert(capture.end(), bytes, bytes + length);
    std::memset(buffer, 0, length);
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 900.0;
    std::string path = argc > 2 ? argv[2] : "";
    if (path.empty()) {
        path = "/tmp/decode-ahead-" + std::to_string(getpid()) + ".mp3";
        std::printf("encoding %.0f s of tone...\n", seconds);
        writeBytes(path, encodeMp3(makeTone(44100, 2, seconds, 440.0), 44100, 2, 128, false));
    }
    capture.reserve(static_cast<size_t>(seconds * 176400.0) + 1000000);
    if (soundInit(-1, 44100, 16 | soundInitDecodeOnly) == 0) return 1;
    SoundHandle stream = soundStreamCreateFile(path.c_str(), 0);
    if (stream == 0 || soundChannelSetDsp(stream, captureBlock, nullptr) == 0) return 1;
    const auto start = std::chrono::steady_clock::now();
    soundStart();
    soundStreamPlay(stream, 0, 0);
    while (soundChannelIsActive(stream))
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double sound = static_cast<double>(capture.size()) / 176400.0;
    std::printf("captured %.1f s of sound (%zu bytes) in %.2f s: %.0f x real time\n", sound,
                capture.size(), took, sound / took);
    soundFree();
    if (argc <= 2) std::remove(path.c_str());
    return 0;
}
