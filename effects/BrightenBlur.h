// Scene 8, before the fade: the picture burns out to white.
#pragma once

#include <cstdint>

void brightenBlur(uint8_t* buffer, int width, int height);
