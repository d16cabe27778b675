// A stand-in for the two sound-library calls the writer makes, so the tests feed the capture.
#include "ExportTestSupport.h"

#include <atomic>

namespace fakesound {
SoundDspCallback installedDsp = nullptr;
SoundHandle installedOn = 0;
std::atomic<bool> active{false};
void setActive(bool value) {
    active.store(value);
}
void reset() {
    installedDsp = nullptr;
    installedOn = 0;
    active.store(false);
}
} // namespace fakesound

SoundHandle soundChannelSetDsp(SoundHandle stream, SoundDspCallback callback, void*) {
    fakesound::installedDsp = callback;
    fakesound::installedOn = stream;
    return 1;
}

int soundChannelIsActive(SoundHandle) {
    return fakesound::active.load() ? 1 : 0;
}
