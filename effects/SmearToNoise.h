// Scene 2: dovari8 is drawn out into vertical streaks that dissolve into grey noise.
#pragma once

#include "effects/Effect.h"

#include <cstdint>

struct SmearToNoiseState {
    float smearNoiseLevel = 255.0f; // grey noise drawn from 0 ... trunc(level) - 1
    float noiseShare = 0.0f;        // out of 1,000, how many pixels take grey noise
    float smearSpread = 0.0f;       // how far below the target the image is sampled (rows)
};

void smearToNoise(SmearToNoiseState& s, EffectContext& e, uint8_t* buffer, int width, int height);
