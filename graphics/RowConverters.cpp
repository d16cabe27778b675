// The eight row converters and their selection by the screen's pixel format. The grouped steps
// use SSE2 where the compiler offers it and give exactly the one-pixel-at-a-time results.
#include "graphics/RowConverters.h"

#include <cstddef>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

inline uint32_t red(uint32_t p) {
    return (p >> 16) & 0xFF;
}
inline uint32_t green(uint32_t p) {
    return (p >> 8) & 0xFF;
}
inline uint32_t blue(uint32_t p) {
    return p & 0xFF;
}

inline void storeWord16(uint8_t* destination, uint32_t word) {
    destination[0] = static_cast<uint8_t>(word & 0xFF);
    destination[1] = static_cast<uint8_t>((word >> 8) & 0xFF);
}

inline void storeWord32(uint8_t* destination, uint32_t word) {
    destination[0] = static_cast<uint8_t>(word & 0xFF);
    destination[1] = static_cast<uint8_t>((word >> 8) & 0xFF);
    destination[2] = static_cast<uint8_t>((word >> 16) & 0xFF);
    destination[3] = static_cast<uint8_t>((word >> 24) & 0xFF);
}

inline uint32_t word565(uint32_t p) {
    return ((red(p) >> 3) << 11) | ((green(p) >> 2) << 5) | (blue(p) >> 3);
}
inline uint32_t word565Bgr(uint32_t p) {
    return ((blue(p) >> 3) << 11) | ((green(p) >> 2) << 5) | (red(p) >> 3);
}
inline uint32_t word555(uint32_t p) {
    return ((red(p) >> 3) << 10) | ((green(p) >> 3) << 5) | (blue(p) >> 3);
}
inline uint32_t word555Bgr(uint32_t p) {
    return ((blue(p) >> 3) << 10) | ((green(p) >> 3) << 5) | (red(p) >> 3);
}

#ifdef __SSE2__

inline __m128i load4(const uint32_t* source) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(source));
}

// Four pixels to four 5-6-5 words: green and the low channel are placed in each 32-bit lane and
// packed to words, then the high channel is merged in shifted left by 8. The high channel is
// red for the plain order and blue when exchanged.
inline __m128i group565(__m128i pixels, bool exchanged) {
    const __m128i greenBits = _mm_srli_epi32(_mm_and_si128(pixels, _mm_set1_epi32(0xFC00)), 5);
    // The channel that goes to the low five bits, and the one that goes to the top five.
    __m128i low;
    __m128i high;
    if (!exchanged) {
        low = _mm_srli_epi32(_mm_and_si128(pixels, _mm_set1_epi32(0xF8)), 3);
        high = _mm_and_si128(_mm_srli_epi32(pixels, 16), _mm_set1_epi32(0xF8));
    } else {
        low = _mm_and_si128(_mm_srli_epi32(pixels, 19), _mm_set1_epi32(0x1F));
        high = _mm_and_si128(pixels, _mm_set1_epi32(0xF8));
    }
    // Every lane is below 0x8000 here, so the signed pack keeps the values exact.
    const __m128i lowWords = _mm_packs_epi32(_mm_or_si128(greenBits, low), _mm_setzero_si128());
    const __m128i highWords = _mm_slli_epi16(_mm_packs_epi32(high, _mm_setzero_si128()), 8);
    return _mm_or_si128(lowWords, highWords);
}

// Four pixels to four 5-5-5 words: red and blue masked to their top five bits and placed by
// one multiply-add (weights 8 for the low channel, 0x2000 for the high one), green taken as
// the word's bits 11-15, all shifted down by 6.
inline __m128i group555(__m128i pixels, __m128i weights) {
    const __m128i redBlue = _mm_and_si128(pixels, _mm_set1_epi32(0x00F800F8));
    const __m128i placed = _mm_madd_epi16(redBlue, weights);
    const __m128i greenBits = _mm_and_si128(pixels, _mm_set1_epi32(0xF800));
    return _mm_srli_epi32(_mm_or_si128(placed, greenBits), 6);
}

void convert555Grouped(const uint32_t* source, uint8_t* destination, int32_t count,
                       uint32_t weightPair, void (*rest)(const uint32_t*, uint8_t*, int32_t)) {
    if (count <= 0) return;
    const int32_t grouped = count & ~7;
    const __m128i weights = _mm_set1_epi32(static_cast<int>(weightPair));
    for (int32_t i = 0; i < grouped; i += 8) {
        const __m128i first = group555(load4(source), weights);
        const __m128i second = group555(load4(source + 4), weights);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination), _mm_packs_epi32(first, second));
        source += 8;
        destination += 16;
    }
    rest(source, destination, count & 7);
}

void convert565Grouped(const uint32_t* source, uint8_t* destination, int32_t count, bool exchanged,
                       void (*rest)(const uint32_t*, uint8_t*, int32_t)) {
    if (count <= 0) return;
    const int32_t grouped = count & ~3;
    for (int32_t i = 0; i < grouped; i += 4) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(destination),
                         group565(load4(source), exchanged));
        source += 4;
        destination += 8;
    }
    rest(source, destination, count & 3);
}

#endif // __SSE2__

} // namespace

namespace PixelByPixel {

void convertRowTo32(const uint32_t* source, uint8_t* destination, int32_t count) {
    for (int32_t i = 0; i < count; ++i, destination += 4)
        storeWord32(destination, source[i]);
}

void convertRowTo32Bgr(const uint32_t* source, uint8_t* destination, int32_t count) {
    for (int32_t i = 0; i < count; ++i, destination += 4) {
        const uint32_t p = source[i];
        storeWord32(destination, (blue(p) << 16) | (green(p) << 8) | red(p));
    }
}

void convertRowTo24(const uint32_t* source, uint8_t* destination, int32_t count) {
    for (int32_t i = 0; i < count; ++i, destination += 3) {
        const uint32_t p = source[i];
        destination[0] = static_cast<uint8_t>(blue(p));
        destination[1] = static_cast<uint8_t>(green(p));
        destination[2] = static_cast<uint8_t>(red(p));
    }
}

void convertRowTo24Bgr(const uint32_t* source, uint8_t* destination, int32_t count) {
    for (int32_t i = 0; i < count; ++i, destination += 3) {
        const uint32_t p = source[i];
        destination[0] = static_cast<uint8_t>(red(p));
        destination[1] = static_cast<uint8_t>(green(p));
        destination[2] = static_cast<uint8_t>(blue(p));
    }
}

void convertRowTo565(const uint32_t* source, uint8_t* destination, int32_t count) {
    for (int32_t i = 0; i < count; ++i, destination += 2)
        storeWord16(destination, word565(source[i]));
}

void convertRowTo565Bgr(const uint32_t* source, uint8_t* destination, int32_t count) {
    for (int32_t i = 0; i < count; ++i, destination += 2)
        storeWord16(destination, word565Bgr(source[i]));
}

void convertRowTo555(const uint32_t* source, uint8_t* destination, int32_t count) {
    for (int32_t i = 0; i < count; ++i, destination += 2)
        storeWord16(destination, word555(source[i]));
}

void convertRowTo555Bgr(const uint32_t* source, uint8_t* destination, int32_t count) {
    for (int32_t i = 0; i < count; ++i, destination += 2)
        storeWord16(destination, word555Bgr(source[i]));
}

} // namespace PixelByPixel

#ifdef __SSE2__

void convertRowTo32(const uint32_t* source, uint8_t* destination, int32_t count) {
    if (count <= 0) return;
    const size_t bytes = static_cast<size_t>(count) * 4;
    const size_t blocks = bytes / 64;
    const uint8_t* from = reinterpret_cast<const uint8_t*>(source);
    for (size_t i = 0; i < blocks; ++i, from += 64, destination += 64) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 16));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 32));
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 48));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination), a);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + 16), b);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + 32), c);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + 48), d);
    }
    std::memcpy(destination, from, bytes % 64);
}

void convertRowTo24(const uint32_t* source, uint8_t* destination, int32_t count) {
    if (count <= 0) return;
    const int32_t grouped = count & ~3;
    // Per 64-bit half: pixel 0's low three bytes stay, pixel 1's move down by one byte.
    const __m128i keepFirst = _mm_set1_epi64x(0x0000000000FFFFFFLL);
    const __m128i keepSecond = _mm_set1_epi64x(0x0000FFFFFF000000LL);
    for (int32_t i = 0; i < grouped; i += 4) {
        const __m128i pixels = load4(source);
        const __m128i halves = _mm_or_si128(_mm_and_si128(pixels, keepFirst),
                                            _mm_and_si128(_mm_srli_epi64(pixels, 8), keepSecond));
        // Six bytes in each half: close the gap between them to get twelve bytes in a row.
        const __m128i packed =
            _mm_or_si128(_mm_move_epi64(halves), _mm_slli_si128(_mm_srli_si128(halves, 8), 6));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(destination), packed);
        const uint32_t tail = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(packed, 8)));
        storeWord32(destination + 8, tail);
        source += 4;
        destination += 12;
    }
    PixelByPixel::convertRowTo24(source, destination, count & 3);
}

void convertRowTo565(const uint32_t* source, uint8_t* destination, int32_t count) {
    convert565Grouped(source, destination, count, false, PixelByPixel::convertRowTo565);
}

void convertRowTo565Bgr(const uint32_t* source, uint8_t* destination, int32_t count) {
    convert565Grouped(source, destination, count, true, PixelByPixel::convertRowTo565Bgr);
}

void convertRowTo555(const uint32_t* source, uint8_t* destination, int32_t count) {
    // 16-bit weights: 8 for blue (low word of each lane), 0x2000 for red (high word).
    convert555Grouped(source, destination, count, 0x20000008u, PixelByPixel::convertRowTo555);
}

void convertRowTo555Bgr(const uint32_t* source, uint8_t* destination, int32_t count) {
    // The weights exchanged: blue goes to the top five bits, red to the bottom five.
    convert555Grouped(source, destination, count, 0x00082000u, PixelByPixel::convertRowTo555Bgr);
}

#else // no SSE2: every converter runs pixel by pixel

void convertRowTo32(const uint32_t* source, uint8_t* destination, int32_t count) {
    if (count > 0) std::memcpy(destination, source, static_cast<size_t>(count) * 4);
}
void convertRowTo24(const uint32_t* source, uint8_t* destination, int32_t count) {
    PixelByPixel::convertRowTo24(source, destination, count);
}
void convertRowTo565(const uint32_t* source, uint8_t* destination, int32_t count) {
    PixelByPixel::convertRowTo565(source, destination, count);
}
void convertRowTo565Bgr(const uint32_t* source, uint8_t* destination, int32_t count) {
    PixelByPixel::convertRowTo565Bgr(source, destination, count);
}
void convertRowTo555(const uint32_t* source, uint8_t* destination, int32_t count) {
    PixelByPixel::convertRowTo555(source, destination, count);
}
void convertRowTo555Bgr(const uint32_t* source, uint8_t* destination, int32_t count) {
    PixelByPixel::convertRowTo555Bgr(source, destination, count);
}

#endif // __SSE2__

void convertRowTo32Bgr(const uint32_t* source, uint8_t* destination, int32_t count) {
    PixelByPixel::convertRowTo32Bgr(source, destination, count);
}

void convertRowTo24Bgr(const uint32_t* source, uint8_t* destination, int32_t count) {
    PixelByPixel::convertRowTo24Bgr(source, destination, count);
}

RowConverter selectRowConverter(uint32_t bitCount, uint32_t redMask, uint32_t greenMask,
                                uint32_t blueMask) {
    struct Format {
        uint32_t bitCount, redMask, greenMask, blueMask;
        RowConverter converter;
    };
    static const Format formats[] = {
        {32, 0xFF0000, 0xFF00, 0xFF, convertRowTo32},
        {32, 0xFF, 0xFF00, 0xFF0000, convertRowTo32Bgr},
        {24, 0xFF0000, 0xFF00, 0xFF, convertRowTo24},
        {24, 0xFF, 0xFF00, 0xFF0000, convertRowTo24Bgr},
        {16, 0xF800, 0x7E0, 0x1F, convertRowTo565},
        {16, 0x1F, 0x7E0, 0xF800, convertRowTo565Bgr},
        {16, 0x7C00, 0x3E0, 0x1F, convertRowTo555},
        {16, 0x1F, 0x3E0, 0x7C00, convertRowTo555Bgr},
    };
    for (const Format& format : formats) {
        if (format.bitCount == bitCount && format.redMask == redMask &&
            format.greenMask == greenMask && format.blueMask == blueMask)
            return format.converter;
    }
    return nullptr;
}
