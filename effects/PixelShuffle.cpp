// Pixel shuffle: 10,000 random pixels a call take the whole word of a neighbour at most step
// away, so the canvas shimmers and melts.
#include "effects/PixelCrawl.h"

#include "effects/Pictures.h"

#include <cstring>

void pixelShuffle(RandomSequence& random, int step, uint8_t* canvas, int width, int height) {
    for (int i = 0; i < 10000; ++i) {
        const int x = random.nextRandom() % (width - 10) + 5;
        const int y = random.nextRandom() % (height - 10) + 5;
        const int sx = x + random.nextRandom() % 3 - step;
        const int sy = y + random.nextRandom() % 3 - step;
        std::memmove(canvas + pixelOffset(x, y, width), canvas + pixelOffset(sx, sy, width), 4);
    }
}
