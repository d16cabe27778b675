// Breathing warp: rozerid8 ... rozerid12 painted half and half into the target through a wave
// that grows as its divisor falls, scaled about four fifths towards the top-left corner.
#include "effects/SineWarps.h"

#include "engine/Trigonometry.h"

namespace {
constexpr int breathLast = 4;
} // namespace

float breathingScale(int dt) {
    return static_cast<float>((trig::cos(dt * 0.001) + 1) * 0.5 * static_cast<double>(0.55f) +
                              0.25);
}

void breathingWarp(BreathingWarpState& s, EffectContext& e, uint8_t* target,
                   const uint8_t* firstImage, int width, int height) {
    const int dt = e.time.tickDelta;
    const int dms = e.time.timeDelta;

    if (s.breathClock > 2000) {
        if (s.breathIndex < breathLast) ++s.breathIndex;
        s.breathClock = 0;
    }
    s.breathClock += static_cast<float>(dt);
    s.breathCount = static_cast<float>(s.breathCount + 10 * dms);
    if (s.breathCount > 11000) s.breathCount = 11000;
    s.breathAmp = static_cast<float>(s.breathAmp - dt * 0.003);
    if (s.breathAmp < 10) s.breathAmp = 10;
    const double k = breathingScale(dt);

    uint8_t* const* images = e.pictures.imageBuffers;
    const uint8_t* list[] = {firstImage, images[rozerid9], images[rozerid10], images[rozerid11],
                             images[rozerid12]};
    const uint8_t* image = list[s.breathIndex];
    const double w = static_cast<float>(width);
    const double h = static_cast<float>(height);
    const double amp = s.breathAmp;
    const double phi = s.breathPhase;
    paintWarped(
        e.random, s.memos, s.breathCount, target, width, height, [&] { return image; },
        [&](int y) {
            return static_cast<int>(k * (y + h / amp * (trig::cos(y / h * twoPi + phi) + 1))) %
                   (height - 1);
        },
        [&](int x) {
            return static_cast<int>(k * (x + w / amp * (trig::sin(x / w * twoPi + phi) + 1))) %
                   (width - 1);
        },
        [](const uint8_t* src, const uint8_t* dst, int c[3]) { mixHalf(src, dst, c); });
    s.breathPhase = static_cast<float>(s.breathPhase + dt * 0.005);
}
