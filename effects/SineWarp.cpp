// Sine warp: dovari7 ... dovari1 seen through a slow sine wave; every thousand ticks the list
// moves on and the previous image keeps showing through for a while.
#include "effects/SineWarps.h"

#include "engine/Trigonometry.h"

namespace {

const ImageIndex warpList[] = {dovari7, dovari6, dovari5, dovari4, dovari3, dovari2, dovari1};
constexpr int warpLast = 6;

// The mixed colour of source S into destination D; the mix level falls per target.
void mixWarp(SineWarpState& s, RandomSequence& random, int dt, const uint8_t* src,
             const uint8_t* dst, int c[3]) {
    s.warpMixLevel =
        static_cast<float>(s.warpMixLevel - dt * (s.warpMixLevel > 4000 ? 0.125 : 0.06666667));
    int m = static_cast<int>(s.warpMixLevel);
    if (m < 1) m = 1;
    if (random.nextRandom() % m < 200 && m < 2500) {
        mixHalf(src, dst, c);
    } else if (random.nextRandom() % m < 1500) {
        for (int i = 0; i < 3; ++i)
            c[i] = (src[i] + 2 * dst[i]) / 3;
    } else {
        for (int i = 0; i < 3; ++i)
            c[i] = (src[i] + 3 * dst[i]) / 4;
    }
}

} // namespace

void sineWarp(SineWarpState& s, EffectContext& e, uint8_t* buffer, int width, int height) {
    const int dt = e.time.tickDelta;
    const int dms = e.time.timeDelta;

    if (s.warpClock > 1000) {
        if (s.warpIndex < warpLast) ++s.warpIndex;
        s.warpClock = 0;
        s.warpPrevOdds = 100;
    }
    s.warpClock += dt;
    s.warpPrevOdds = static_cast<float>(s.warpPrevOdds - dt * 10.0);
    if (s.warpPrevOdds < 2) s.warpPrevOdds = 2;
    s.warpCount = static_cast<float>(s.warpCount + dms * 0.03);
    if (s.warpCount > 8000) s.warpCount = 8000;

    const double w = static_cast<float>(width);
    const double h = static_cast<float>(height);
    const double phi = s.warpPhase;
    RandomSequence& random = e.random;
    uint8_t* const* images = e.pictures.imageBuffers;
    paintWarped(
        random, s.memos, s.warpCount, buffer, width, height,
        [&] {
            const bool previous =
                random.nextRandom() % static_cast<int>(s.warpPrevOdds) == 0 && s.warpIndex != 0;
            return images[warpList[previous ? s.warpIndex - 1 : s.warpIndex]];
        },
        [&](int y) {
            return static_cast<int>(y + h * (trig::cos(y / h * twoPi + phi) + 1)) % (height - 1);
        },
        [&](int x) {
            return static_cast<int>(x + w * (trig::sin(x / w * twoPi + phi) + 1)) % (width - 1);
        },
        [&](const uint8_t* src, const uint8_t* dst, int c[3]) {
            mixWarp(s, random, dt, src, dst, c);
        });
    s.warpPhase = static_cast<float>(s.warpPhase + dt * 0.01);
}
