// What the three sine warps share: drawing a target that stays clear of row 0, and writing the
// mixed colour followed by the five-point blur.
#pragma once

#include "effects/Pictures.h"

#include <cstdint>

// The double-precision constants of the waves.
constexpr double twoPi = 6.283184;
constexpr double onePi = 3.141592;
constexpr double sixPi = 18.849552;

struct WarpTarget {
    int x, y;
};

// x = r mod width, y = r mod height raised to 2 (two draws).
inline WarpTarget drawWarpTarget(int width, int height) {
    const int x = nextRandom() % width;
    int y = nextRandom() % height;
    if (y < 2) y = 2;
    return {x, y};
}

// Writes C_0 + 256 C_1 + 65536 C_2 into (x, y) as one word, then blurs it.
inline void writeWarped(uint8_t* buffer, int x, int y, int width, int height, const int c[3]) {
    uint8_t* d = buffer + pixelOffset(x, y, width);
    d[0] = static_cast<uint8_t>(c[0]);
    d[1] = static_cast<uint8_t>(c[1]);
    d[2] = static_cast<uint8_t>(c[2]);
    d[3] = 0;
    blur5(buffer, x, y, width, height);
}

// Half source, half destination, per channel.
inline void mixHalf(const uint8_t* s, const uint8_t* d, int c[3]) {
    for (int i = 0; i < 3; ++i)
        c[i] = (s[i] + d[i]) / 2;
}
