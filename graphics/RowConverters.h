// Conversion of one row of 32-bit 0x00RRGGBB pixels into the screen's pixel format.
#pragma once

#include <cstdint>

// Converts count source pixels (0x00RRGGBB words, read in order) into count destination pixels
// starting at destination (any alignment) and writes nothing else. A count of 0 or less writes
// nothing. No state is kept between calls and nothing is allocated.
using RowConverter = void (*)(const uint32_t* source, uint8_t* destination, int32_t count);

// The converter for a screen whose pixels are bitCount bits wide with the given channel masks,
// or nullptr when none fits. The four values must match one known format exactly; an alpha
// mask is not looked at, and a 5-5-5 screen is recognised only with a bit count of 16.
RowConverter selectRowConverter(uint32_t bitCount, uint32_t redMask, uint32_t greenMask,
                                uint32_t blueMask);

// 4 bytes: the source word unchanged, top byte included (a straight copy).
void convertRowTo32(const uint32_t* source, uint8_t* destination, int32_t count);
// 4 bytes: (B << 16) | (G << 8) | R, top byte 0.
void convertRowTo32Bgr(const uint32_t* source, uint8_t* destination, int32_t count);
// 3 bytes: B, G, R in memory order.
void convertRowTo24(const uint32_t* source, uint8_t* destination, int32_t count);
// 3 bytes: R, G, B in memory order.
void convertRowTo24Bgr(const uint32_t* source, uint8_t* destination, int32_t count);
// 2 bytes, little-endian: ((R >> 3) << 11) | ((G >> 2) << 5) | (B >> 3).
void convertRowTo565(const uint32_t* source, uint8_t* destination, int32_t count);
// 2 bytes, little-endian: ((B >> 3) << 11) | ((G >> 2) << 5) | (R >> 3).
void convertRowTo565Bgr(const uint32_t* source, uint8_t* destination, int32_t count);
// 2 bytes, little-endian: ((R >> 3) << 10) | ((G >> 3) << 5) | (B >> 3), bit 15 clear.
void convertRowTo555(const uint32_t* source, uint8_t* destination, int32_t count);
// 2 bytes, little-endian: ((B >> 3) << 10) | ((G >> 3) << 5) | (R >> 3), bit 15 clear.
void convertRowTo555Bgr(const uint32_t* source, uint8_t* destination, int32_t count);

// The same eight conversions one pixel at a time, without the grouped steps. The converters
// above use them for the pixels left over after the last whole group (and for everything
// where SSE2 is not available); they are the reference the grouped steps must equal.
namespace PixelByPixel {
void convertRowTo32(const uint32_t* source, uint8_t* destination, int32_t count);
void convertRowTo32Bgr(const uint32_t* source, uint8_t* destination, int32_t count);
void convertRowTo24(const uint32_t* source, uint8_t* destination, int32_t count);
void convertRowTo24Bgr(const uint32_t* source, uint8_t* destination, int32_t count);
void convertRowTo565(const uint32_t* source, uint8_t* destination, int32_t count);
void convertRowTo565Bgr(const uint32_t* source, uint8_t* destination, int32_t count);
void convertRowTo555(const uint32_t* source, uint8_t* destination, int32_t count);
void convertRowTo555Bgr(const uint32_t* source, uint8_t* destination, int32_t count);
} // namespace PixelByPixel
