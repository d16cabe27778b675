// Noise bloom: random pixels become the average of their four neighbours plus a random
// brightness that is largest at the centre line; later the dovari2 picture's brightness takes
// the place of the random term more and more often, and blue and green slowly fade.
#include "effects/NoiseBloom.h"

#include "effects/Pictures.h"

void noiseBloom(NoiseBloomState& s, EffectContext& e, uint8_t* buffer, int width, int height) {
    RandomSequence& random = e.random;
    const int t = e.time.ticks;
    const int dt = e.time.tickDelta;

    if (s.bloomGain > 120) s.bloomGain = 120;
    s.bloomGain = static_cast<float>(s.bloomGain + dt * (t < 9550 ? 0.0095 : 1.0));
    s.bloomCeiling = static_cast<float>(s.bloomCeiling + dt * (t < 9550 ? 0.05 : 0.5));
    if (s.bloomCeiling > 130) s.bloomCeiling = 130;
    if (t > 9000) s.imageOdds += dt;
    if (t > 10000) s.bloomCount = static_cast<int>(s.bloomCount - dt * 0.5);

    const uint8_t* image = e.pictures.imageBuffers[dovari2];
    const int rowBytes = width * 4;
    for (int i = 0; i < s.bloomCount; ++i) {
        const int x = random.nextRandom() % width;
        const int y = random.nextRandom() % height;
        int d = x > 320 ? x - 320 : 320 - x;
        if (d == 0) d = 1;
        const int lim = static_cast<int>(320.0 / d * static_cast<double>(s.bloomGain));
        const float v = s.bloomCeiling < lim ? s.bloomCeiling : static_cast<float>(lim);
        int m = static_cast<int>(v);
        if (m < 1) m = 1;

        int n;
        if (t > 9000 && random.nextRandom() % s.imageOdds >= 700)
            n = 4 * image[pixelOffset(x, y + 2, width)];
        else
            n = random.nextRandom() % m;

        uint8_t* target = buffer + pixelOffset(x, y + 1, width);
        int sum[3];
        for (int c = 0; c < 3; ++c)
            sum[c] =
                (n + target[c - 4] + target[c + 4] + target[c - rowBytes] + target[c + rowBytes]) /
                5;
        if (t > 9000) {
            s.bloomFade = static_cast<float>(s.bloomFade - dt * static_cast<double>(3e-8f));
            if (s.bloomFade < 0) s.bloomFade = 0;
            sum[0] = static_cast<int>(static_cast<double>(s.bloomFade) * sum[0]);
            sum[1] = static_cast<int>(static_cast<double>(s.bloomFade) * sum[1]);
        }
        for (int c = 0; c < 3; ++c)
            target[c] = static_cast<uint8_t>(sum[c]);
    }
}
