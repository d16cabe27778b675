// The capture buffer of the AVI export and the DSP hook that fills it.
#include "media/AviCapture.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int64_t fallbackCaptureSize = 100000000; // bytes, when nothing was requested

int64_t requestedSize = 0; // bytes; set on the main thread before the writer exists

// Shared with the sound thread. The buffer is never freed while the process runs on: the
// sound library may still deliver a block after the writer is gone (the exit routine deletes
// the writer before it stops the music).
std::atomic<uint8_t*> buffer{nullptr};
std::atomic<int64_t> size{0};     // bytes
std::atomic<int64_t> position{0}; // bytes written so far; the sound thread alone advances it
std::atomic<bool> overflowSaid{false};

} // namespace

void setCaptureBufferSize(int64_t bytes) {
    requestedSize = bytes;
}

int64_t requestedCaptureBufferSize() {
    return requestedSize > 0 ? requestedSize : fallbackCaptureSize;
}

bool allocateCaptureBuffer(int64_t bytes) {
    size.store(0);
    position.store(0);
    overflowSaid.store(false);
    std::free(buffer.exchange(nullptr));
    if (bytes <= 0) return false;
    // calloc: zero pages come lazily from the system, so 200 MB cost nothing until used.
    void* block = std::calloc(static_cast<size_t>(bytes), 1);
    if (block == nullptr) return false;
    buffer.store(static_cast<uint8_t*>(block));
    size.store(bytes);
    return true;
}

uint8_t* captureBuffer() {
    return buffer.load();
}
int64_t captureBufferSize() {
    return size.load();
}

void captureSound(SoundHandle, SoundHandle, void* block, uint32_t lengthBytes, void*) {
    if (block == nullptr || lengthBytes == 0) return;
    uint8_t* const target = buffer.load(std::memory_order_acquire);
    const int64_t capacity = size.load(std::memory_order_acquire);
    const int64_t at = position.load(std::memory_order_relaxed);
    const int64_t fits = target == nullptr ? 0 : std::clamp<int64_t>(capacity - at, 0, lengthBytes);
    if (fits > 0) std::memcpy(target + at, block, static_cast<size_t>(fits));
    if (fits < lengthBytes && !overflowSaid.exchange(true))
        std::fprintf(stderr,
                     "{AviWriter::capture}: sound buffer full at %lld bytes - the rest of the "
                     "soundtrack is dropped and written as silence\n",
                     static_cast<long long>(capacity));
    std::memset(block, 0, lengthBytes); // nothing is heard while the export runs
    position.store(at + fits, std::memory_order_release);
}

int64_t capturePosition() {
    return position.load(std::memory_order_acquire);
}

void readCapture(int64_t offset, uint8_t* out, int64_t bytes) {
    if (bytes <= 0) return;
    std::memset(out, 0, static_cast<size_t>(bytes));
    const uint8_t* const source = buffer.load(std::memory_order_acquire);
    if (offset < 0 || source == nullptr) return;
    const int64_t available = std::min(bytes, capturePosition() - offset);
    if (available > 0) std::memcpy(out, source + offset, static_cast<size_t>(available));
}
