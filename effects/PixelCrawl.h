// Scenes 6 to 8: colours crawl around a canvas instead of being averaged.
#pragma once

#include "effects/Effect.h"

#include <cstdint>

struct PixelCrawlState {
    bool crawlBlendOn = false; // once true: small moves, every moved pixel tinted
};

// Moves count random canvas colours to nearby pixels, tinting them 5 % towards reference.
void pixelCrawl(PixelCrawlState& s, RandomSequence& random, int count, uint8_t* canvas,
                const uint8_t* reference, int width, int height);
// Copies 10,000 random canvas pixels from a neighbour up to step away.
void pixelShuffle(RandomSequence& random, int step, uint8_t* canvas, int width, int height);
