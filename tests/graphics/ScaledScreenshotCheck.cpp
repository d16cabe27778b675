// Checks a screenshot of the enlarged 640 x 480 picture (a binary PPM of the whole screen or
// window) against the picture that was sent: black everywhere outside the given place; inside
// it every screen pixel whose centre lies at least half a screen pixel away from the edges of
// source pixels shows its source pixel exactly, and every other one (the blend across an edge)
// lies between the source pixels on either side. So every source row and column covers the
// same span: with a whole-number enlargement N every source row is exactly N screen rows tall.
// With --sharp, most pixels across edges must really be blended (nearest neighbour would keep
// rows of uneven height).
//
// usage: scaled-check [--sharp] EXPECTED.ppm SCREENSHOT.ppm X Y WIDTH HEIGHT
// Exit code 0 when it all holds, else 1 (the first faults on standard error).
#include "PpmToken.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Image {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb; // 3 bytes per pixel, rows top first
    const unsigned char* at(int x, int y) const {
        return &rgb[(static_cast<size_t>(y) * width + x) * 3];
    }
};

// An 8-bit binary PPM of any size up to 8192 x 8192.
bool readPpm(const char* path, Image& image) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return false;
    std::string magic, w, h, maxValue;
    bool ok = readToken(file, magic) && readToken(file, w) && readToken(file, h) &&
              readToken(file, maxValue) && magic == "P6" && maxValue == "255";
    image.width = ok ? std::atoi(w.c_str()) : 0;
    image.height = ok ? std::atoi(h.c_str()) : 0;
    ok = ok && image.width > 0 && image.height > 0 && image.width <= 8192 && image.height <= 8192;
    if (ok) {
        image.rgb.resize(static_cast<size_t>(image.width) * image.height * 3);
        ok = std::fread(image.rgb.data(), 1, image.rgb.size(), file) == image.rgb.size();
    }
    std::fclose(file);
    return ok;
}

// Along one axis: screen pixel i of a span of `span` pixels showing `count` source pixels.
// Positions are counted in units of 1 / (2 * span) source pixels, so all of it is exact.
struct AxisSample {
    int source;      // the source pixel under the screen pixel's centre
    bool pure;       // the centre is at least half a screen pixel from the source pixel's edges
    int first, last; // the source pixels within half a screen pixel of the centre
};

AxisSample sampleAxis(int i, int span, int count) {
    const int64_t unit = 2 * int64_t{span};              // one source pixel
    const int64_t centre = (2 * int64_t{i} + 1) * count; // the screen pixel's centre
    const int64_t half = count;                          // half a screen pixel
    const int64_t within = centre % unit;
    AxisSample s;
    s.source = static_cast<int>(centre / unit);
    s.pure = std::min(within, unit - within) >= half;
    s.first = static_cast<int>(std::max<int64_t>(0, (centre - half) / unit));
    s.last = static_cast<int>(std::min<int64_t>(count - 1, (centre + half) / unit));
    return s;
}

} // namespace

int main(int argc, char** argv) {
    int arg = 1;
    const bool sharp = argc > 1 && std::strcmp(argv[1], "--sharp") == 0;
    if (sharp) ++arg;
    if (argc - arg != 6) {
        std::fprintf(stderr, "usage: %s [--sharp] EXPECTED.ppm SCREENSHOT.ppm X Y WIDTH HEIGHT\n",
                     argv[0]);
        return 1;
    }
    Image expected, shot;
    if (!readPpm(argv[arg], expected) || !readPpm(argv[arg + 1], shot)) {
        std::fprintf(stderr, "unreadable expected picture or screenshot\n");
        return 1;
    }
    const int left = std::atoi(argv[arg + 2]), top = std::atoi(argv[arg + 3]);
    const int width = std::atoi(argv[arg + 4]), height = std::atoi(argv[arg + 5]);
    if (width <= 0 || height <= 0 || left < 0 || top < 0 || left + width > shot.width ||
        top + height > shot.height) {
        std::fprintf(stderr, "the place %d,%d %dx%d is not inside the %dx%d screenshot\n", left,
                     top, width, height, shot.width, shot.height);
        return 1;
    }

    long outsideLit = 0, wrongPure = 0, wrongBlend = 0, pure = 0, blends = 0, mixed = 0;
    for (int y = 0; y < shot.height; ++y) {
        for (int x = 0; x < shot.width; ++x) {
            const unsigned char* p = shot.at(x, y);
            if (x < left || x >= left + width || y < top || y >= top + height) {
                if ((p[0] | p[1] | p[2]) != 0 && outsideLit++ == 0)
                    std::fprintf(stderr, "lit outside the picture at (%d, %d)\n", x, y);
                continue;
            }
            const AxisSample sx = sampleAxis(x - left, width, expected.width);
            const AxisSample sy = sampleAxis(y - top, height, expected.height);
            if (sx.pure && sy.pure) {
                ++pure;
                const unsigned char* e = expected.at(sx.source, sy.source);
                if ((p[0] != e[0] || p[1] != e[1] || p[2] != e[2]) && wrongPure++ == 0)
                    std::fprintf(stderr,
                                 "(%d, %d) shows %d %d %d, its source pixel (%d, %d) is %d %d %d\n",
                                 x, y, p[0], p[1], p[2], sx.source, sy.source, e[0], e[1], e[2]);
                continue;
            }
            ++blends;
            bool inside = true, equalsOne = false;
            for (int c = 0; c < 3; ++c) {
                int low = 255, high = 0;
                for (int v = sy.first; v <= sy.last; ++v)
                    for (int u = sx.first; u <= sx.last; ++u) {
                        low = std::min<int>(low, expected.at(u, v)[c]);
                        high = std::max<int>(high, expected.at(u, v)[c]);
                    }
                inside = inside && p[c] + 1 >= low && p[c] <= high + 1;
            }
            for (int v = sy.first; v <= sy.last; ++v)
                for (int u = sx.first; u <= sx.last; ++u)
                    equalsOne = equalsOne || std::memcmp(p, expected.at(u, v), 3) == 0;
            if (!equalsOne) ++mixed;
            if (!inside && wrongBlend++ == 0)
                std::fprintf(stderr, "(%d, %d) at an edge is %d %d %d, outside its neighbours\n", x,
                             y, p[0], p[1], p[2]);
        }
    }
    bool ok = outsideLit == 0 && wrongPure == 0 && wrongBlend == 0;
    if (!ok)
        std::fprintf(stderr,
                     "%ld lit outside, %ld of %ld inner pixels and %ld of %ld edge pixels wrong\n",
                     outsideLit, wrongPure, pure, wrongBlend, blends);
    if (sharp && mixed * 2 < blends) {
        std::fprintf(stderr, "only %ld of %ld edge pixels are blended: not sharp scaling\n", mixed,
                     blends);
        ok = false;
    }
    if (ok)
        std::printf("%dx%d at (%d, %d): %ld pixels exactly their source pixel, %ld edge pixels "
                    "between their neighbours (%ld blended)\n",
                    width, height, left, top, pure, blends, mixed);
    return ok ? 0 : 1;
}
