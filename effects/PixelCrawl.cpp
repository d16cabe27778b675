// Pixel crawl: copies the colour of random pixels onto nearby pixels; from its first moments
// on, the crawl tints each moved pixel 5 % towards the reference picture.
#include "effects/PixelCrawl.h"

#include "effects/Pictures.h"

void pixelCrawl(PixelCrawlState& s, RandomSequence& random, int count, uint8_t* canvas,
                const uint8_t* reference, int width, int height) {
    bool& blendOn = s.crawlBlendOn;
    for (int i = 0; i < count; ++i) {
        const int x = random.nextRandom() % (width - 10) + 5;
        const int y = random.nextRandom() % (height - 10) + 5;
        const uint8_t* from = canvas + pixelOffset(x, y, width);
        const uint8_t colour[3] = {from[0], from[1], from[2]};
        if (random.nextRandom() % 2 == 1) blendOn = true;

        int tx = x;
        int ty = y;
        if (blendOn) {
            if (random.nextRandom() % 2 == 1) {
                tx = x + random.nextRandom() % 4 - 1;
                ty = y + random.nextRandom() % 4 - 1;
            }
        } else {
            tx = x + random.nextRandom() % 10 - 5;
            ty = y + random.nextRandom() % 10 - 5;
        }
        uint8_t* to = canvas + pixelOffset(tx, ty, width);
        to[0] = colour[0];
        to[1] = colour[1];
        to[2] = colour[2];
        if (blendOn) blendPixel(tx, ty, canvas, 0.05f, reference, 0.95f, canvas);
    }
}
