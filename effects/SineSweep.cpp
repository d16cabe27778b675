// Sine sweep: 14,000 targets a call painted half and half from dovari1 through a sharper wave
// whose speed falls after tick 36,500.
#include "effects/SineWarps.h"

#include "engine/Trigonometry.h"

void sineSweep(SineSweepState& s, EffectContext& e, uint8_t* buffer, int width, int height) {
    const int t = e.time.ticks;
    const int dt = e.time.tickDelta;

    // The list holds dovari1 alone: a step resets the clock and the odds, the index stays 0.
    if (s.sweepClock > 1000) {
        s.sweepClock = 0;
        s.sweepPrevOdds = 100;
    }
    s.sweepClock += dt;
    s.sweepPrevOdds = static_cast<float>(s.sweepPrevOdds - dt * 10.0);
    if (s.sweepPrevOdds < 2) s.sweepPrevOdds = 2;

    const uint8_t* image = e.pictures.imageBuffers[dovari1];
    const double w = static_cast<float>(width);
    const double h = static_cast<float>(height);
    const double phi = s.sweepPhase;
    RandomSequence& random = e.random;
    paintWarped(
        random, s.memos, 14000.0f, buffer, width, height,
        [&] {
            random.nextRandom(); // the previous-image draw; with one image it gives dovari1
            return image;
        },
        [&](int y) {
            const double a = y / h * onePi + phi;
            return static_cast<int>(y + h * (trig::cos(a) + 1 + trig::sin(a) + 1)) % (height - 1);
        },
        [&](int x) {
            const double xw = x / w;
            return static_cast<int>(x + w * (trig::cos(xw * sixPi + phi) + 1 +
                                             trig::sin(xw * onePi + phi) + 1)) %
                   (width - 1);
        },
        [](const uint8_t* src, const uint8_t* dst, int c[3]) { mixHalf(src, dst, c); });

    if (t > 36500)
        s.sweepSpeed = static_cast<float>(s.sweepSpeed - dt * static_cast<double>(1.0526315e-6f));
    s.sweepPhase = static_cast<float>(s.sweepPhase + dt * static_cast<double>(s.sweepSpeed));
}
