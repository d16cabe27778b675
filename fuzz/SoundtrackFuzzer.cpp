// Fuzz target: the soundtrack in decode-only mode. The bytes are the MP3 file: create the
// stream, decode it to its end into a DSP (as the video export captures it), free it.
#include "MemoryFile.h"
#include "media/SoundLibrary.h"

#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

// Counts the bytes and checks each block holds whole 16-bit stereo sample frames.
void countBlock(SoundHandle, SoundHandle, void*, uint32_t length, void* user) {
    if (length % 4 != 0) std::abort();
    *static_cast<uint64_t*>(user) += length;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = soundInit(-1, 44100, soundInitDecodeOnly) != 0;
    if (!ready) std::abort();
    MemoryFile mp3(data, size);
    if (!mp3.ok()) return 0;
    const SoundHandle stream = soundStreamCreateFile(mp3.name().c_str(), 0);
    if (stream == 0) return 0;
    uint64_t bytes = 0;
    soundChannelSetDsp(stream, countBlock, &bytes);
    soundStart();
    soundStreamPlay(stream, 0, 0);
    while (soundChannelIsActive(stream) != 0)
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    soundStop();
    soundStreamFree(stream);
    return 0;
}
