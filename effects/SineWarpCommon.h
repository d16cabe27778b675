// What the three sine warps share: the loop that paints random targets from an image seen
// through a wave, the target draw that stays clear of row 0, the half-and-half mix, and the
// memo of the wave's source coordinates.
#pragma once

#include "effects/Pictures.h"

#include <algorithm>
#include <cstdint>

// The double-precision constants of the waves.
constexpr double twoPi = 6.283184;
constexpr double onePi = 3.141592;
constexpr double sixPi = 18.849552;

struct WarpTarget {
    int x, y;
};

// x = r mod width, y = r mod height raised to 2 (two draws).
inline WarpTarget drawWarpTarget(RandomSequence& random, int width, int height) {
    const int x = random.nextRandom() % width;
    int y = random.nextRandom() % height;
    if (y < 2) y = 2;
    return {x, y};
}

// Writes C_0 + 256 C_1 + 65536 C_2 into (x, y) as one word, then blurs it.
inline void writeWarped(uint8_t* buffer, int x, int y, int width, int height, const int c[3]) {
    uint8_t* d = buffer + pixelOffset(x, y, width);
    d[0] = static_cast<uint8_t>(c[0]);
    d[1] = static_cast<uint8_t>(c[1]);
    d[2] = static_cast<uint8_t>(c[2]);
    d[3] = 0;
    blur5(buffer, x, y, width, height);
}

// Half source, half destination, per channel.
inline void mixHalf(const uint8_t* s, const uint8_t* d, int c[3]) {
    for (int i = 0; i < 3; ++i)
        c[i] = (s[i] + d[i]) / 2;
}

// Source coordinates already worked out in the current call, by target coordinate. Within one
// call a source row depends only on the target row and a source column only on the target
// column, so each is computed once per call with exactly the same arithmetic.
template <int Size> class WaveMemo {
  public:
    // Forgets the previous call's coordinates.
    void newCall() {
        if (++generation == 0) {
            std::fill(stamps, stamps + Size, 0u);
            generation = 1;
        }
    }

    template <class Compute> int get(int i, Compute compute) {
        if (i < 0 || i >= Size) return compute(i);
        if (stamps[i] != generation) {
            values[i] = compute(i);
            stamps[i] = generation;
        }
        return values[i];
    }

  private:
    int values[Size] = {};
    uint32_t stamps[Size] = {};
    uint32_t generation = 0;
};

// One memo for source columns, one for source rows.
struct WaveMemos {
    WaveMemo<640> columns;
    WaveMemo<480> rows;
    void newCall() {
        columns.newCall();
        rows.newCall();
    }
};

// The loop of every sine warp: for i = 0, 1, ... while i < count, chooseImage() picks the image
// (making its own draws first), a target (x, y) is drawn, the image is read at the wave's
// (sourceColumn(x), sourceRow(y)), mix(source, destination, colour) gives the colour (making
// its own draws after the target's), and writeWarped stores and blurs it.
template <class ChooseImage, class SourceRow, class SourceColumn, class Mix>
void paintWarped(RandomSequence& random, WaveMemos& memos, float count, uint8_t* buffer, int width,
                 int height, ChooseImage chooseImage, SourceRow sourceRow,
                 SourceColumn sourceColumn, Mix mix) {
    const double w = static_cast<float>(width);
    memos.newCall();
    for (int i = 0; i < count; ++i) {
        const uint8_t* image = chooseImage();
        const WarpTarget p = drawWarpTarget(random, width, height);
        const int sy = memos.rows.get(p.y, sourceRow);
        const int sx = memos.columns.get(p.x, sourceColumn);
        const uint8_t* src = image + static_cast<int>(sy * w + sx) * 4;
        int c[3];
        mix(src, buffer + pixelOffset(p.x, p.y, width), c);
        writeWarped(buffer, p.x, p.y, width, height, c);
    }
}
