// Scene 5: the keyed rozerid1 silhouette condenses out of the haze.
#pragma once

#include "effects/Effect.h"

#include <cstdint>

// Pulls towards the keyed rozerid1 image buffer.
void silhouettePull(EffectContext& e, uint8_t* buffer, int width, int height);
