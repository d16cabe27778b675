// Shared set-up for the show's tests: a fresh show (black pictures, random sequence at its
// start), a chosen clock reading, and pixel access.
#pragma once

#include "app/MainLoop.h"
#include "app/Show.h"
#include "engine/Timer.h"

#include <cstdint>
#include <cstring>
#include <memory>

// A show at its first frame with black pictures. Shows are large: tests keep them on the heap.
inline std::unique_ptr<Show> freshShow() {
    return std::make_unique<Show>();
}

// The readings of a clock that stepped from tick t - dt to tick t (frame-driven, as in video
// mode).
inline FrameTime clockAt(int t, int dt) {
    Timer timer;
    timer.start();
    timer.setTicks(t - dt);
    timer.setTicks(t);
    return frameTime(timer);
}

// A fresh show and the context its effects get at a clock reading.
struct ShowBench {
    std::unique_ptr<Show> show = freshShow();
    Pictures& pictures = show->pictures;
    uint8_t* effectBuffer = pictures.effectBuffer;
    uint8_t* const* imageBuffers = pictures.imageBuffers;
    EffectContext at(int t, int dt) { return {show->random, clockAt(t, dt), pictures}; }
    int nextRandom() { return show->random.nextRandom(); }
};

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
