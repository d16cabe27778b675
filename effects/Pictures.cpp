// Picture buffers, image preparation, the line-doubled copy and the shared pixel helpers.
#include "effects/Pictures.h"

#include "storage/OImage.h"

#include <algorithm>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

// 256 x 256 entries, entry (j, k) at j * 256 + k; built once per process, read only after.
struct MultiplyTable {
    MultiplyTable();
    uint8_t entries[256 * 256];
};

MultiplyTable::MultiplyTable() {
    const double c = 0.003921569f; // the float nearest 1/255
    for (int j = 0; j < 256; ++j)
        for (int k = 0; k < 256; ++k)
            entries[j * 256 + k] = static_cast<uint8_t>(static_cast<int>(k * (j * c)));
}

// Keys one row of the rozerid1 buffer: a green background (green above 150) becomes black,
// the last ten columns become black and are then smeared from column 629.
void keyRow(uint8_t* buffer, int y) {
    uint8_t* row = buffer + pixelOffset(0, y, pictureWidth);
    for (int x = 0; x < pictureWidth; ++x)
        if (row[x * 4 + 1] > 150) std::memset(row + x * 4, 0, 4);
    std::memset(row + 630 * 4, 0, 10 * 4);
    for (int x = 630; x < pictureWidth; ++x)
        blur5(buffer, x, y, pictureWidth, pictureHeight);
}

} // namespace

Pictures::Pictures() {
    for (auto& buffer : storage) {
        buffer.reset(new uint8_t[bufferBytes]);
        zeroFill(buffer.get(), bufferBytes);
    }
    effectBuffer = storage[0].get();
    for (int i = 0; i < imageCount; ++i)
        imageBuffers[i] = storage[1 + i].get();
    workBuffer = storage[1 + imageCount].get();
}

Pictures::~Pictures() = default;

void Pictures::preloadImages() {
    for (int i = 0; i < imageCount; ++i)
        images[i].reset(new OImage(imagePaths[i], -1, -1));
}

void Pictures::prepareImages() {
    for (int i = 0; i < imageCount; ++i)
        convert24To32(images[i]->getPixels(), imageBuffers[i], pictureWidth, pictureHeight);
    keyPicture(imageBuffers[rozerid1]);
}

void Pictures::loadImagesOneByOne() {
    for (int i = 0; i < imageCount; ++i) {
        images[i].reset(new OImage(imagePaths[i], -1, -1));
        convert24To32(images[i]->getPixels(), imageBuffers[i], pictureWidth, pictureHeight);
        images[i].reset();
    }
    keyPicture(imageBuffers[rozerid1]);
}

void zeroFill(uint8_t* bytes, size_t size) {
    constexpr size_t block = 4096;
    static const uint8_t zeros[block] = {};
    for (size_t at = 0; at < size; at += block) {
        const size_t length = std::min(block, size - at);
        if (std::memcmp(bytes + at, zeros, length) != 0) std::memset(bytes + at, 0, length);
    }
}

void keyPicture(uint8_t* buffer) {
    for (int y = 0; y < pictureHeight; ++y)
        keyRow(buffer, y);
}

void convert24To32(const uint8_t* source, uint8_t* destination, int width, int height) {
    const int count = width * height;
    for (int i = 0; i < count; ++i, source += 3, destination += 4) {
        destination[0] = source[2];
        destination[1] = source[1];
        destination[2] = source[0];
    }
}

void blitDoubled(const uint8_t* source, uint8_t* surface, int pitch) {
    constexpr int rowBytes = pictureWidth * 4;
    for (int r = 0; r < pictureHeight; ++r) {
        std::memcpy(surface + 2 * r * static_cast<size_t>(pitch), source + r * rowBytes, rowBytes);
        std::memset(surface + (2 * r + 1) * static_cast<size_t>(pitch), 0, rowBytes);
    }
}

void blur5(uint8_t* buffer, int x, int y, int width, int height) {
    (void)height;
    const int row = y > 1 ? y : 1;
    uint8_t* p = buffer + pixelOffset(x, row, width);
    const int up = -width * 4;
    const int down = width * 4;
    const int b = (p[-4] + p[4] + p[up] + p[0] + p[down]) / 5;
    const int g = (p[-3] + p[5] + p[up + 1] + p[1] + p[down + 1]) / 5;
    const int r = (p[-2] + p[6] + p[up + 2] + p[2] + p[down + 2]) / 5;
    p[0] = static_cast<uint8_t>(b);
    p[1] = static_cast<uint8_t>(g);
    p[2] = static_cast<uint8_t>(r);
}

uint8_t clamp8(int v) {
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

void copyPixels(uint8_t* destination, const uint8_t* source, int width, int height) {
    std::memcpy(destination, source, static_cast<size_t>(width) * height * 4);
}

void copyRows(const uint8_t* source, uint8_t* destination, int width, int height) {
    const size_t rowBytes = static_cast<size_t>(width) * 4;
    for (int r = 0; r < height; ++r)
        std::memcpy(destination + r * rowBytes, source + r * rowBytes, rowBytes);
}

const uint8_t* multiplyRow(int j) {
    static const MultiplyTable table; // thread-safe first use: shows may run on any thread
    return table.entries + j * 256;
}

void blendPixel(int x, int y, const uint8_t* sourceA, float weightB, const uint8_t* sourceB,
                float weightA, uint8_t* destination) {
    const uint8_t* rowB = multiplyRow(static_cast<int>(static_cast<double>(weightB) * 255));
    const uint8_t* rowA = multiplyRow(static_cast<int>(static_cast<double>(weightA) * 255));
    const int o = pixelOffset(x, y, 640);
    for (int c = 0; c < 3; ++c)
        destination[o + c] = static_cast<uint8_t>(rowB[sourceB[o + c]] + rowA[sourceA[o + c]]);
}

namespace {

// Pixels [from, to) of one row: destination = rowB[sourceB] + rowA[sourceA] per channel.
void blendPixels(const uint8_t* sourceA, const uint8_t* rowB, const uint8_t* sourceB,
                 const uint8_t* rowA, uint8_t* destination, int from, int to) {
    for (int x = from; x < to; ++x)
        for (int c = 0; c < 3; ++c)
            destination[x * 4 + c] =
                static_cast<uint8_t>(rowB[sourceB[x * 4 + c]] + rowA[sourceA[x * 4 + c]]);
}

#ifdef __SSE2__
// The same for four pixels at once. Every table entry is floor(j * k / 255), which for
// products below 65,536 is (p + 1 + (p >> 8)) >> 8: computed in 16-bit lanes it gives the
// table's bytes exactly. Byte 3 of each destination pixel is kept.
int blendPixelsSse2(const uint8_t* sourceA, int jB, const uint8_t* sourceB, int jA,
                    uint8_t* destination, int count) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i weightA = _mm_set1_epi16(static_cast<short>(jA));
    const __m128i weightB = _mm_set1_epi16(static_cast<short>(jB));
    const __m128i one = _mm_set1_epi16(1);
    const __m128i lowByte = _mm_set1_epi16(0xFF);
    const __m128i keep = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    auto scale = [&](__m128i v, __m128i weight) {
        const __m128i p = _mm_mullo_epi16(v, weight);
        return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(p, one), _mm_srli_epi16(p, 8)), 8);
    };
    int x = 0;
    for (; x + 4 <= count; x += 4) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sourceA + x * 4));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sourceB + x * 4));
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(destination + x * 4));
        const __m128i low = _mm_and_si128(_mm_add_epi16(scale(_mm_unpacklo_epi8(a, zero), weightA),
                                                        scale(_mm_unpacklo_epi8(b, zero), weightB)),
                                          lowByte);
        const __m128i high =
            _mm_and_si128(_mm_add_epi16(scale(_mm_unpackhi_epi8(a, zero), weightA),
                                        scale(_mm_unpackhi_epi8(b, zero), weightB)),
                          lowByte);
        const __m128i sum = _mm_packus_epi16(low, high);
        const __m128i out = _mm_or_si128(_mm_andnot_si128(keep, sum), _mm_and_si128(keep, d));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + x * 4), out);
    }
    return x;
}
#endif

} // namespace

void blendFramesPlain(const uint8_t* sourceA, float weightB, const uint8_t* sourceB, float weightA,
                      uint8_t* destination) {
    const uint8_t* rowB = multiplyRow(static_cast<int>(static_cast<double>(weightB) * 255));
    const uint8_t* rowA = multiplyRow(static_cast<int>(static_cast<double>(weightA) * 255));
    for (int y = 0; y < pictureHeight; ++y) {
        const int o = pixelOffset(0, y, 640);
        blendPixels(sourceA + o, rowB, sourceB + o, rowA, destination + o, 0, 638);
    }
}

void blendFrames(const uint8_t* sourceA, float weightB, const uint8_t* sourceB, float weightA,
                 uint8_t* destination) {
    const int jB = static_cast<int>(static_cast<double>(weightB) * 255);
    const int jA = static_cast<int>(static_cast<double>(weightA) * 255);
    const uint8_t* rowB = multiplyRow(jB);
    const uint8_t* rowA = multiplyRow(jA);
    for (int y = 0; y < pictureHeight; ++y) {
        const int o = pixelOffset(0, y, 640);
        int done = 0;
#ifdef __SSE2__
        done = blendPixelsSse2(sourceA + o, jB, sourceB + o, jA, destination + o, 638);
#endif
        blendPixels(sourceA + o, rowB, sourceB + o, rowA, destination + o, done, 638);
    }
}
