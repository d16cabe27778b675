// Scene 1: the dovari pictures soak into the picture one after another.
#pragma once

#include "effects/Effect.h"

#include <cstdint>

struct ImageCascadeState {
    float cascadeCount = 100.0f; // pixel steps per call, rounded up
};

void imageCascade(ImageCascadeState& s, EffectContext& e, uint8_t* buffer, int width, int height);
