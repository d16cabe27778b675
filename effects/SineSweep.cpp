// Sine sweep: 14,000 targets a call painted half and half from dovari1 through a sharper wave
// whose speed falls after tick 36,500.
#include "effects/SineWarps.h"

#include "effects/SineWarpCommon.h"
#include "engine/Timer.h"

#include <cmath>

SineSweepState sineSweepState;

namespace {
WaveMemos memos;
} // namespace

void sineSweep(uint8_t* buffer, int width, int height) {
    SineSweepState& s = sineSweepState;
    Timer* timer = Timer::instance();
    const int t = timer->getTicks();
    const int dt = timer->getTickDelta();

    // The list holds dovari1 alone: a step resets the clock and the odds, the index stays 0.
    if (s.sweepClock > 1000) {
        s.sweepClock = 0;
        s.sweepPrevOdds = 100;
    }
    s.sweepClock += dt;
    s.sweepPrevOdds = static_cast<float>(s.sweepPrevOdds - dt * 10.0);
    if (s.sweepPrevOdds < 2) s.sweepPrevOdds = 2;

    const uint8_t* image = imageBuffers[dovari1];
    const double w = static_cast<float>(width);
    const double h = static_cast<float>(height);
    const double phi = s.sweepPhase;
    memos.newCall();
    auto sourceRow = [&](int y) {
        const double a = y / h * onePi + phi;
        return static_cast<int>(y + h * (std::cos(a) + 1 + std::sin(a) + 1)) % (height - 1);
    };
    auto sourceColumn = [&](int x) {
        const double xw = x / w;
        return static_cast<int>(
                   x + w * (std::cos(xw * sixPi + phi) + 1 + std::sin(xw * onePi + phi) + 1)) %
               (width - 1);
    };
    for (int i = 0; i < 14000; ++i) {
        nextRandom(); // the previous-image draw; with one image it always gives dovari1
        const WarpTarget p = drawWarpTarget(width, height);
        const int sy = memos.rows.get(p.y, sourceRow);
        const int sx = memos.columns.get(p.x, sourceColumn);
        const uint8_t* src = image + static_cast<int>(sy * w + sx) * 4;
        int c[3];
        mixHalf(src, buffer + pixelOffset(p.x, p.y, width), c);
        writeWarped(buffer, p.x, p.y, width, height, c);
    }

    if (t > 36500)
        s.sweepSpeed = static_cast<float>(s.sweepSpeed - dt * static_cast<double>(1.0526315e-6f));
    s.sweepPhase = static_cast<float>(s.sweepPhase + dt * static_cast<double>(s.sweepSpeed));
}
