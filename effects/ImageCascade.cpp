// Image cascade: random pixels become a seven-part average of themselves (twice), their four
// neighbours and the colour of one of dovari2 ... dovari8, chosen by time windows.
#include "effects/ImageCascade.h"

#include "effects/Pictures.h"
#include "engine/Timer.h"

ImageCascadeState imageCascadeState;

namespace {

// The picture whose colour the step pulls towards, after the time windows and their draws.
ImageIndex chooseImage(int t) {
    if (t < 14400 && nextRandom() % 6 < 2) return dovari2;
    if (t < 15000 && nextRandom() % 6 < 3) return dovari3;
    if (t < 16000 && nextRandom() % 6 < 3) return dovari4;
    if (t < 17000 && nextRandom() % 6 < 3) return dovari5;
    if (t < 18000 && nextRandom() % 6 < 3) return dovari6;
    if (t < 19000 && nextRandom() % 6 < 3) return dovari7;
    return dovari8;
}

void cascadeStep(uint8_t* buffer, int width, int height, int t) {
    const int x = nextRandom() % width;
    const int y = nextRandom() % height;
    if (nextRandom() % 3 == 0) return;

    // Early in the scene a mix with dovari1 is weighed up and not used; its draws keep their
    // place in the random sequence.
    if (t < 13600 && nextRandom() % 6 < 5) {
    } else if (t < 13900 && nextRandom() % 6 < 4) {
    } else if (t < 14000 && nextRandom() % 6 < 3) {
    }

    const int rowBytes = width * 4;
    uint8_t* target = buffer + pixelOffset(x, y + 1, width);
    const uint8_t* sample = target + rowBytes; // (x, y + 2)
    const int so = pixelOffset(x, y + 2, width);
    int s[3];
    if (14000 < t && t < 14400 && nextRandom() % 6 < 3) {
        for (int c = 0; c < 3; ++c)
            s[c] = clamp8((imageBuffers[dovari2][so + c] + sample[c]) / 2);
    } else {
        const uint8_t* image = imageBuffers[chooseImage(t)];
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

void imageCascade(uint8_t* buffer, int width, int height) {
    ImageCascadeState& s = imageCascadeState;
    Timer* timer = Timer::instance();
    const int t = timer->getTicks();
    const int dt = timer->getTickDelta();

    s.cascadeCount = static_cast<float>(s.cascadeCount + dt * 0.5);
    if (s.cascadeCount > 10000) s.cascadeCount = 10000;
    if (!(s.cascadeCount > 0)) return;
    for (int i = 0; i < s.cascadeCount; ++i)
        cascadeStep(buffer, width, height, t);
}
