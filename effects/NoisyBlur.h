// Scene 3: the picture softens into a grainy haze.
#pragma once

#include "effects/Effect.h"

#include <cstdint>

struct NoisyBlurState {
    float noiseRange = 85.0f; // the random term is drawn from 0 ... trunc(noiseRange) - 1
};

void noisyBlur(NoisyBlurState& s, EffectContext& e, int count, uint8_t* buffer, int width,
               int height);
