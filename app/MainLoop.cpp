// The native main loop and the border.
#include "app/MainLoop.h"

#include "app/Run.h"
#include "engine/TickCount.h"
#include "engine/Timer.h"

#include <cstring>

void runMainLoop(Run& run) {
    for (;;) {
        const Run::Step step = run.step();
        if (step.kind == Run::Step::Ended) return;
        if (step.kind == Run::Step::Wait) waitForTickCount(step.since, step.length);
    }
}

FrameTime frameTime(Timer& timer) {
    return {timer.getTicks(), timer.getTickDelta(), timer.getTimeDelta()};
}

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
