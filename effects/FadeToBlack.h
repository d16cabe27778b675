// The last 400 ticks: the picture is scaled down a little more every frame.
#pragma once

#include "effects/Effect.h"

#include <cstdint>

struct FadeToBlackState {
    float fadeLevel = 1.0f; // the factor applied this frame
};

// Works on the picture rows of buffer (a picture buffer).
void fadeToBlack(FadeToBlackState& s, const FrameTime& time, uint8_t* buffer);
