// The main loop and frame pacing.
#include "app/MainLoop.h"

#include "app/Application.h"
#include "app/Show.h"
#include "engine/TickCount.h"
#include "engine/Timer.h"
#include "graphics/Handles.h"
#include "media/FrameSink.h"

#include <cstring>

float videoFrameCount = 0.0f;

namespace {
uint32_t lastFrameCount = 0;
bool pacingStarted = false;
} // namespace

void drawBorder(uint8_t* pixels) {
    constexpr int rowBytes = 640 * 4;
    std::memset(pixels, 0, 8 * rowBytes);
    std::memset(pixels + 472 * rowBytes, 0, 8 * rowBytes);
    for (int y = 0; y < 480; ++y) {
        uint8_t* row = pixels + y * rowBytes;
        std::memset(row, 0, 7 * 4);
        std::memset(row + 633 * 4, 0, 7 * 4);
    }
}

void paceFrame() {
    if (!pacingStarted) {
        lastFrameCount = getTickCount();
        pacingStarted = true;
    }
    const int t = Timer::instance()->getTicks();
    const uint32_t slot = (27000 < t && t < 41000) ? 25 : 32;
    while (getTickCount() - lastFrameCount < slot) {
    }
    lastFrameCount = getTickCount();
}

void copyTo24(const uint8_t* surfacePixels, uint8_t* frame24) {
    // Four pixels at a time: two 8-byte loads give four words 0x00RRGGBB, whose low three
    // bytes are closed up into twelve bytes (little-endian throughout).
    constexpr int pixels = 640 * 480;
    for (int i = 0; i < pixels; i += 4, surfacePixels += 16, frame24 += 12) {
        uint64_t a, b;
        std::memcpy(&a, surfacePixels, 8);
        std::memcpy(&b, surfacePixels + 8, 8);
        const uint64_t low = (a & 0xFFFFFFu) | ((a >> 8) & 0xFFFFFF000000u) | (b << 48);
        const uint32_t high = static_cast<uint32_t>((b >> 16) & 0xFFu) |
                              static_cast<uint32_t>((b >> 24) & 0xFFFFFF00u);
        std::memcpy(frame24, &low, 8);
        std::memcpy(frame24 + 8, &high, 4);
    }
}

int videoTicks(float frameCount, float frameRate) {
    return static_cast<int>(71.0 / static_cast<double>(frameRate) *
                            static_cast<double>(frameCount));
}

int videoProgress(int ticks) {
    return static_cast<int>(ticks * static_cast<double>(1.5649452e-5f) * 100.0);
}

FrameTime frameTime(Timer& timer) {
    return {timer.getTicks(), timer.getTickDelta(), timer.getTimeDelta()};
}

void runMainLoop(Show& show) {
    Timer* timer = Timer::instance();
    for (;;) {
        if (display->quitRequested()) break;
        if (show.finished()) break;
        if (endTicks >= 0 && timer->getTicks() >= endTicks) break;
        show.step(frameTime(*timer), {surface->getPixels(), 640 * 4});
        drawBorder(surface->getPixels());
        display->present();
        if (!videoMode) {
            paceFrame();
            timer->update();
            continue;
        }
        copyTo24(surface->getPixels(), frameBuffer24);
        const int ticks = videoTicks(videoFrameCount, videoFrameRate);
        const int progress = videoProgress(ticks);
        if (aviWriter != nullptr) aviWriter->nextFrame(progress);
        timer->setTicks(ticks);
        videoFrameCount = static_cast<float>(videoFrameCount + 1.0);
    }
}
