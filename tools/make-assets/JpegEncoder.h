// Encodes pixels into a baseline JPEG in memory with libjpeg-turbo.
#pragma once

#include <cstdint>
#include <vector>

// pixels: width x height pixels, rows top to bottom, no padding; channels 1 (grey), 3 (red,
// green, blue) or 4 (CMYK, stored as an Adobe CMYK JPEG). quality 1-100; fullChroma keeps the
// colour planes at full resolution (4:4:4) instead of halving them (4:2:0). Throws
// std::runtime_error when the library fails.
std::vector<uint8_t> encodeJpeg(const uint8_t* pixels, int width, int height, int channels,
                                int quality, bool fullChroma);
