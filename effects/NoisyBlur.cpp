// Noisy blur: count random pixels become twice their neighbours plus a random brightness,
// over nine.
#include "effects/NoisyBlur.h"

#include "effects/Stencil.h"

void noisyBlur(NoisyBlurState& s, EffectContext& e, int count, uint8_t* buffer, int width,
               int height) {
    const int dt = e.time.tickDelta;
    s.noiseRange = static_cast<float>(s.noiseRange + dt * 0.16666667);
    if (s.noiseRange > 100) s.noiseRange = 100;

    const int rowBytes = width * 4;
    for (int i = 0; i < count; ++i) {
        const StencilPixel p = drawStencilTarget(e.random, buffer, width, height);
        const int n = e.random.nextRandom() % static_cast<int>(s.noiseRange);
        int out[3];
        for (int c = 0; c < 3; ++c)
            out[c] = (n + 2 * neighbourSum(p.target, c, rowBytes)) / 9;
        for (int c = 0; c < 3; ++c)
            p.target[c] = static_cast<uint8_t>(out[c]);
    }
}
