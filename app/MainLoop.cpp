// The main loop and frame pacing.
#include "app/MainLoop.h"

#include "app/Application.h"
#include "app/Show.h"
#include "engine/TickCount.h"
#include "engine/Timer.h"
#include "graphics/Handles.h"
#include "graphics/RowConverters.h"
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
        // The surface's 640 x 480 rows have no padding, nor have the frame's: one long row.
        convertRowTo24(reinterpret_cast<const uint32_t*>(surface->getPixels()), frameBuffer24,
                       640 * 480);
        const int ticks = videoTicks(videoFrameCount, videoFrameRate);
        const int progress = videoProgress(ticks);
        if (aviWriter != nullptr) aviWriter->nextFrame(progress);
        timer->setTicks(ticks);
        videoFrameCount = static_cast<float>(videoFrameCount + 1.0);
    }
}
