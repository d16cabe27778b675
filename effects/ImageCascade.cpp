// Image cascade: random pixels become a seven-part average of themselves (twice), their four
// neighbours and the colour of one of dovari2 ... dovari8, chosen by time windows.
#include "effects/ImageCascade.h"

#include "effects/Pictures.h"

namespace {

// The picture whose colour the step pulls towards, after the time windows and their draws.
ImageIndex chooseImage(RandomSequence& random, int t) {
    if (t < 14400 && random.nextRandom() % 6 < 2) return dovari2;
    if (t < 15000 && random.nextRandom() % 6 < 3) return dovari3;
    if (t < 16000 && random.nextRandom() % 6 < 3) return dovari4;
    if (t < 17000 && random.nextRandom() % 6 < 3) return dovari5;
    if (t < 18000 && random.nextRandom() % 6 < 3) return dovari6;
    if (t < 19000 && random.nextRandom() % 6 < 3) return dovari7;
    return dovari8;
}

void cascadeStep(EffectContext& e, uint8_t* buffer, int width, int height) {
    RandomSequence& random = e.random;
    const int t = e.time.ticks;
    const int x = random.nextRandom() % width;
    const int y = random.nextRandom() % height;
    if (random.nextRandom() % 3 == 0) return;

    // Early in the scene a mix with dovari1 is weighed up and not used; its draws keep their
    // place in the random sequence.
    if (t < 13600 && random.nextRandom() % 6 < 5) {
    } else if (t < 13900 && random.nextRandom() % 6 < 4) {
    } else if (t < 14000 && random.nextRandom() % 6 < 3) {
    }

    const int rowBytes = width * 4;
    uint8_t* target = buffer + pixelOffset(x, y + 1, width);
    const uint8_t* sample = target + rowBytes; // (x, y + 2)
    const int so = pixelOffset(x, y + 2, width);
    int s[3];
    if (14000 < t && t < 14400 && random.nextRandom() % 6 < 3) {
        for (int c = 0; c < 3; ++c)
            s[c] = clamp8((e.pictures.imageBuffers[dovari2][so + c] + sample[c]) / 2);
    } else {
        const uint8_t* image = e.pictures.imageBuffers[chooseImage(random, t)];
        for (int c = 0; c < 3; ++c)
            s[c] = image[so + c];
    }
    int out[3];
    for (int c = 0; c < 3; ++c)
        out[c] = (s[c] + target[c - 4] + target[c + 4] + target[c - rowBytes] +
                  target[c + rowBytes] + 2 * target[c]) /
                 7;
    for (int c = 0; c < 3; ++c)
        target[c] = static_cast<uint8_t>(out[c]);
}

} // namespace

void imageCascade(ImageCascadeState& s, EffectContext& e, uint8_t* buffer, int width, int height) {
    const int dt = e.time.tickDelta;

    s.cascadeCount = static_cast<float>(s.cascadeCount + dt * 0.5);
    if (s.cascadeCount > 10000) s.cascadeCount = 10000;
    if (!(s.cascadeCount > 0)) return;
    for (int i = 0; i < s.cascadeCount; ++i)
        cascadeStep(e, buffer, width, height);
}
