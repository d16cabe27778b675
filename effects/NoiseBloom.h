// Scene 0: light blooms out of the black picture from the vertical centre line.
#pragma once

#include "effects/Effect.h"

#include <cstdint>

struct NoiseBloomState {
    float bloomGain = 1.0f;     // scale of the random term near the centre line
    float bloomCeiling = 0.05f; // upper bound of the random term's range
    int imageOdds = 1;          // modulus of the image test
    int bloomCount = 2080;      // pixels changed per call
    float bloomFade = 1.0f;     // factor on blue and green after tick 9,000
};

void noiseBloom(NoiseBloomState& s, EffectContext& e, uint8_t* buffer, int width, int height);
