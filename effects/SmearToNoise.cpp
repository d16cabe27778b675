// Smear into noise: 5,000 random pixels a frame are pulled towards dovari8 sampled further and
// further below them, and later towards grey noise; blue feeds green and red.
#include "effects/SmearToNoise.h"

#include "effects/Pictures.h"

void smearToNoise(SmearToNoiseState& s, EffectContext& e, uint8_t* buffer, int width, int height) {
    RandomSequence& random = e.random;
    const int t = e.time.ticks;
    const int dt = e.time.tickDelta;

    s.smearNoiseLevel = static_cast<float>(s.smearNoiseLevel - dt * 0.049);
    if (s.smearNoiseLevel < 70) s.smearNoiseLevel = 70;
    if (t > 22500) s.noiseShare += static_cast<float>(dt);
    s.smearSpread = static_cast<float>(s.smearSpread + dt * 0.008);

    const uint8_t* image = e.pictures.imageBuffers[dovari8];
    const int rowBytes = width * 4;
    for (int i = 0; i < 5000; ++i) {
        const int x = random.nextRandom() % width;
        const int ty = random.nextRandom() % height + 1;
        int sy = ty;
        if (s.smearSpread >= 1)
            sy = (random.nextRandom() % static_cast<int>(s.smearSpread) + ty) % height;

        int src[3];
        if (random.nextRandom() % 1000 < s.noiseShare) {
            const int g = random.nextRandom() % static_cast<int>(s.smearNoiseLevel);
            src[0] = src[1] = src[2] = g;
        } else {
            const uint8_t* p = image + pixelOffset(x, sy + 1, width);
            for (int c = 0; c < 3; ++c)
                src[c] = p[c];
        }

        uint8_t* target = buffer + pixelOffset(x, ty, width);
        int sum[3];
        for (int c = 0; c < 3; ++c)
            sum[c] = src[c] + target[c - 4] + target[c + 4] + target[c - rowBytes] +
                     target[c + rowBytes];
        const int t0 = target[0];
        const int out0 = (sum[0] + 4 * t0) / 9;
        const int out1 = (sum[1] + 2 * target[1] + 2 * t0) / 9;
        const int out2 = (sum[2] + 2 * target[2] + 2 * t0) / 9;
        target[0] = static_cast<uint8_t>(out0 > 255 ? 255 : out0);
        target[1] = static_cast<uint8_t>(out1 > 255 ? 255 : out1);
        target[2] = static_cast<uint8_t>(out2 > 255 ? 255 : out2);
    }
}
