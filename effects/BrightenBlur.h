// Scene 8, before the fade: the picture burns out to white.
#pragma once

#include "effects/Effect.h"

#include <cstdint>

void brightenBlur(EffectContext& e, uint8_t* buffer, int width, int height);
