// Scene 5: the keyed rozerid1 silhouette condenses out of the haze.
#pragma once

#include <cstdint>

void silhouettePull(uint8_t* buffer, int width, int height);
