// Checks a screenshot of the show's 640 x 480 window (binary PPM) for what every frame has,
// whatever the moment: the black border (rows 0-7 and 472-479, columns 0-6 and 633-639) and
// the black odd rows of the line doubling, all exactly black, plus a picture in the even rows.
// Exit code 0: the frame is right; 2: right so far but the picture is still nearly black (the
// show starts black), so too early to tell; 1: wrong. With --expect it compares a screenshot
// with a known picture instead.
#include "PpmToken.h"

#include "graphics/RowConverters.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int width = 640;
constexpr int height = 480;
constexpr long enoughLitPixels = 1000; // a picture, not a few stray pixels

// Reads an 8-bit binary PPM of exactly width x height into rgb (3 bytes per pixel).
bool readPpm(const char* path, std::vector<unsigned char>& rgb) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return false;
    std::string magic, w, h, maxValue;
    const bool header = readToken(file, magic) && readToken(file, w) && readToken(file, h) &&
                        readToken(file, maxValue);
    bool ok = header && magic == "P6" && std::atoi(w.c_str()) == width &&
              std::atoi(h.c_str()) == height && maxValue == "255";
    if (ok) {
        rgb.resize(static_cast<size_t>(width) * height * 3);
        ok = std::fread(rgb.data(), 1, rgb.size(), file) == rgb.size();
    } else if (header) {
        std::fprintf(stderr, "screenshot is %s %s x %s (max %s), wanted P6 %d x %d (255)\n",
                     magic.c_str(), w.c_str(), h.c_str(), maxValue.c_str(), width, height);
    }
    std::fclose(file);
    return ok;
}

bool mustBeBlack(int x, int y) {
    return y < 8 || y >= height - 8 || x < 7 || x >= width - 7 || (y % 2) == 1;
}

// Compares a screenshot with the picture that was shown, as the screen holds it: at depth 24
// exactly, at depth 16 through the 5-6-5 converter (the screenshot's channels cut back to 5,
// 6 and 5 bits). Exit code 0 when every pixel agrees, else 1.
int compareExactly(const char* shotPath, const char* expectedPath, int depth) {
    std::vector<unsigned char> shot, expected;
    if (!readPpm(shotPath, shot) || !readPpm(expectedPath, expected)) {
        std::fprintf(stderr, "unreadable screenshot or expected picture\n");
        return 1;
    }
    long wrong = 0;
    for (size_t i = 0; i < expected.size() / 3; ++i) {
        const unsigned char* p = &shot[i * 3];
        const unsigned char* e = &expected[i * 3];
        bool same;
        if (depth == 16) {
            const uint32_t source = (uint32_t{e[0]} << 16) | (uint32_t{e[1]} << 8) | e[2];
            uint8_t word[2];
            convertRowTo565(&source, word, 1);
            const unsigned value = word[0] | (unsigned{word[1]} << 8);
            same = (p[0] >> 3) == (value >> 11) && (p[1] >> 2) == ((value >> 5) & 63) &&
                   (p[2] >> 3) == (value & 31);
        } else {
            same = p[0] == e[0] && p[1] == e[1] && p[2] == e[2];
        }
        if (!same && wrong++ == 0)
            std::fprintf(stderr,
                         "first differing pixel (%zu, %zu): shown %d %d %d, sent %d %d %d\n",
                         i % width, i / width, p[0], p[1], p[2], e[0], e[1], e[2]);
    }
    if (wrong > 0) {
        std::fprintf(stderr, "%ld of %d pixels differ\n", wrong, width * height);
        return 1;
    }
    std::printf("all %d pixels as sent\n", width * height);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "--expect") == 0)
        return compareExactly(argv[4], argv[2], std::atoi(argv[3]));
    if (argc != 2) {
        std::fprintf(stderr,
                     "usage: %s screenshot.ppm\n"
                     "       %s --expect EXPECTED.ppm DEPTH screenshot.ppm\n",
                     argv[0], argv[0]);
        return 1;
    }
    std::vector<unsigned char> rgb;
    if (!readPpm(argv[1], rgb)) {
        std::fprintf(stderr, "%s: not a readable %d x %d PPM\n", argv[1], width, height);
        return 1;
    }
    long wrong = 0, lit = 0;
    int firstX = -1, firstY = -1;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const unsigned char* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            const bool black = p[0] == 0 && p[1] == 0 && p[2] == 0;
            if (mustBeBlack(x, y) && !black) {
                if (wrong++ == 0) firstX = x, firstY = y;
            } else if (!black) {
                ++lit;
            }
        }
    }
    if (wrong > 0) {
        std::fprintf(stderr,
                     "%ld pixels of the border or of the odd rows are not black, "
                     "the first at (%d, %d)\n",
                     wrong, firstX, firstY);
        return 1;
    }
    std::printf("border and odd rows black; %ld lit pixels in the picture rows\n", lit);
    return lit >= enoughLitPixels ? 0 : 2;
}
