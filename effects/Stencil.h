// The stencil step shared by the random stencil effects: a random target (x, y + 1) and its
// four neighbours, all read before the target is written.
#pragma once

#include "effects/Pictures.h"

#include <cstdint>

struct StencilPixel {
    uint8_t* target; // T = (x, y + 1)
    int x, y;        // the drawn position
};

// Draws x = r mod width and y = r mod height, in that order.
inline StencilPixel drawStencilTarget(RandomSequence& random, uint8_t* buffer, int width,
                                      int height) {
    const int x = random.nextRandom() % width;
    const int y = random.nextRandom() % height;
    return {buffer + pixelOffset(x, y + 1, width), x, y};
}

// L + R + U + D of channel c around the target.
inline int neighbourSum(const uint8_t* target, int c, int rowBytes) {
    return target[c - 4] + target[c + 4] + target[c - rowBytes] + target[c + rowBytes];
}
