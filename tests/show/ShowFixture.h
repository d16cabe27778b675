// Shared set-up for the show's tests: picture buffers, a clock set to a chosen tick and delta,
// and fresh effect state.
#pragma once

#include "effects/Pictures.h"
#include "engine/Timer.h"

#include <cstdint>
#include <cstring>

// Allocates the picture buffers once per process and zeroes them for each test.
inline void resetPictures() {
    if (effectBuffer == nullptr) {
        effectBuffer = allocatePictureBuffer();
        for (auto& buffer : imageBuffers)
            buffer = allocatePictureBuffer();
        workBuffer = allocatePictureBuffer();
    }
    std::memset(effectBuffer, 0, bufferBytes);
    for (auto* buffer : imageBuffers)
        std::memset(buffer, 0, bufferBytes);
    std::memset(workBuffer, 0, bufferBytes);
    resetRandom();
}

// The clock reads t ticks with a tick delta of dt (frame-driven, as in video mode).
inline void setClock(int t, int dt) {
    Timer* timer = Timer::instance();
    timer->start();
    timer->setTicks(t - dt);
    timer->setTicks(t);
}

inline uint8_t* pixelAt(uint8_t* buffer, int x, int y) {
    return buffer + pixelOffset(x, y, pictureWidth);
}

inline void fillPicture(uint8_t* buffer, uint8_t b, uint8_t g, uint8_t r) {
    for (int i = 0; i < bufferPixels; ++i) {
        buffer[i * 4] = b;
        buffer[i * 4 + 1] = g;
        buffer[i * 4 + 2] = r;
    }
}
