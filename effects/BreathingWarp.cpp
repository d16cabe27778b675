// Breathing warp: rozerid8 ... rozerid12 painted half and half into the target through a wave
// that grows as its divisor falls, scaled about four fifths towards the top-left corner.
#include "effects/SineWarps.h"

#include "effects/SineWarpCommon.h"
#include "engine/Timer.h"

#include <cmath>

BreathingWarpState breathingWarpState;

namespace {
constexpr int breathLast = 4;
WaveMemos memos;
} // namespace

float breathingScale(int dt) {
    return static_cast<float>((std::cos(dt * 0.001) + 1) * 0.5 * static_cast<double>(0.55f) + 0.25);
}

void breathingWarp(uint8_t* target, uint8_t* firstImage, int width, int height) {
    BreathingWarpState& s = breathingWarpState;
    Timer* timer = Timer::instance();
    const int dt = timer->getTickDelta();
    const int dms = timer->getTimeDelta();

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

    if (s.breathCount > 0) {
        const uint8_t* list[] = {firstImage, imageBuffers[rozerid9], imageBuffers[rozerid10],
                                 imageBuffers[rozerid11], imageBuffers[rozerid12]};
        const uint8_t* image = list[s.breathIndex];
        const double w = static_cast<float>(width);
        const double h = static_cast<float>(height);
        const double amp = s.breathAmp;
        const double phi = s.breathPhase;
        memos.newCall();
        auto sourceRow = [&](int y) {
            return static_cast<int>(k * (y + h / amp * (std::cos(y / h * twoPi + phi) + 1))) %
                   (height - 1);
        };
        auto sourceColumn = [&](int x) {
            return static_cast<int>(k * (x + w / amp * (std::sin(x / w * twoPi + phi) + 1))) %
                   (width - 1);
        };
        for (int i = 0; i < s.breathCount; ++i) {
            const WarpTarget p = drawWarpTarget(width, height);
            const int sy = memos.rows.get(p.y, sourceRow);
            const int sx = memos.columns.get(p.x, sourceColumn);
            const uint8_t* src = image + static_cast<int>(sy * w + sx) * 4;
            int c[3];
            mixHalf(src, target + pixelOffset(p.x, p.y, width), c);
            writeWarped(target, p.x, p.y, width, height, c);
        }
    }
    s.breathPhase = static_cast<float>(s.breathPhase + dt * 0.005);
}
