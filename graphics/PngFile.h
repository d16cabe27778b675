// Frames as PNG files, through libpng.
#pragma once

#include <cstdint>
#include <string>

// Writes a picture of 24-bit pixels (blue, green, red; rows top first, no padding) as an
// 8-bit RGB PNG; false, with libpng's or the system's words in why, when it cannot.
bool writePng(const std::string& path, const uint8_t* pixels24, int width, int height,
              std::string& why);
