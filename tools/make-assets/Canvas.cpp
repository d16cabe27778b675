// The drawing kit: canvas, colours, noise and block letters.
#include "tools/make-assets/Canvas.h"

#include <algorithm>
#include <cmath>

Colour rgb(int r, int g, int b) {
    return {r / 255.0f, g / 255.0f, b / 255.0f};
}

Colour mix(const Colour& a, const Colour& b, float t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Colour scale(const Colour& c, float k) {
    return {c.r * k, c.g * k, c.b * k};
}

Colour add(const Colour& a, const Colour& b) {
    return {a.r + b.r, a.g + b.g, a.b + b.b};
}

Colour palette(float t, const Colour& a, const Colour& b, const Colour& c, const Colour& d) {
    const float turn = 6.2831853f;
    return {a.r + b.r * std::cos(turn * (c.r * t + d.r)),
            a.g + b.g * std::cos(turn * (c.g * t + d.g)),
            a.b + b.b * std::cos(turn * (c.b * t + d.b))};
}

Canvas::Canvas(int width, int height)
    : w(width), h(height), pixels(static_cast<size_t>(width) * height * 3, 0.0f) {}

Colour Canvas::get(int x, int y) const {
    if (x < 0 || y < 0 || x >= w || y >= h) return {};
    const float* p = &pixels[(static_cast<size_t>(y) * w + x) * 3];
    return {p[0], p[1], p[2]};
}

void Canvas::set(int x, int y, const Colour& c) {
    if (x < 0 || y < 0 || x >= w || y >= h) return;
    float* p = &pixels[(static_cast<size_t>(y) * w + x) * 3];
    p[0] = c.r;
    p[1] = c.g;
    p[2] = c.b;
}

void Canvas::blend(int x, int y, const Colour& c, float alpha) {
    if (alpha <= 0.0f) return;
    set(x, y, mix(get(x, y), c, std::min(alpha, 1.0f)));
}

void Canvas::disc(float cx, float cy, float radius, const Colour& c) {
    const int x0 = static_cast<int>(std::floor(cx - radius - 1));
    const int x1 = static_cast<int>(std::ceil(cx + radius + 1));
    const int y0 = static_cast<int>(std::floor(cy - radius - 1));
    const int y1 = static_cast<int>(std::ceil(cy + radius + 1));
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            const float d = std::hypot(x + 0.5f - cx, y + 0.5f - cy);
            blend(x, y, c, radius + 0.5f - d);
        }
}

void Canvas::capsule(float x0, float y0, float x1, float y1, float radius, const Colour& c) {
    const int left = static_cast<int>(std::floor(std::min(x0, x1) - radius - 1));
    const int right = static_cast<int>(std::ceil(std::max(x0, x1) + radius + 1));
    const int top = static_cast<int>(std::floor(std::min(y0, y1) - radius - 1));
    const int bottom = static_cast<int>(std::ceil(std::max(y0, y1) + radius + 1));
    const float dx = x1 - x0, dy = y1 - y0;
    const float length2 = std::max(dx * dx + dy * dy, 1e-6f);
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x) {
            const float px = x + 0.5f - x0, py = y + 0.5f - y0;
            const float t = std::clamp((px * dx + py * dy) / length2, 0.0f, 1.0f);
            const float d = std::hypot(px - t * dx, py - t * dy);
            blend(x, y, c, radius + 0.5f - d);
        }
}

namespace {

// Rows of 5 cells, top to bottom, '#' set.
struct Glyph {
    char letter;
    const char* rows[7];
};

const Glyph glyphs[] = {
    {'A', {" ### ", "#   #", "#   #", "#####", "#   #", "#   #", "#   #"}},
    {'C', {" ####", "#    ", "#    ", "#    ", "#    ", "#    ", " ####"}},
    {'D', {"#### ", "#   #", "#   #", "#   #", "#   #", "#   #", "#### "}},
    {'E', {"#####", "#    ", "#    ", "#### ", "#    ", "#    ", "#####"}},
    {'H', {"#   #", "#   #", "#   #", "#####", "#   #", "#   #", "#   #"}},
    {'I', {"#####", "  #  ", "  #  ", "  #  ", "  #  ", "  #  ", "#####"}},
    {'L', {"#    ", "#    ", "#    ", "#    ", "#    ", "#    ", "#####"}},
    {'M', {"#   #", "## ##", "# # #", "# # #", "#   #", "#   #", "#   #"}},
    {'N', {"#   #", "##  #", "# # #", "#  ##", "#   #", "#   #", "#   #"}},
    {'O', {" ### ", "#   #", "#   #", "#   #", "#   #", "#   #", " ### "}},
    {'R', {"#### ", "#   #", "#   #", "#### ", "# #  ", "#  # ", "#   #"}},
    {'S', {" ####", "#    ", "#    ", " ### ", "    #", "    #", "#### "}},
    {'T', {"#####", "  #  ", "  #  ", "  #  ", "  #  ", "  #  ", "  #  "}},
    {'U', {"#   #", "#   #", "#   #", "#   #", "#   #", "#   #", " ### "}},
    {'V', {"#   #", "#   #", "#   #", "#   #", " # # ", " # # ", "  #  "}},
    {'W', {"#   #", "#   #", "#   #", "# # #", "# # #", "## ##", "#   #"}},
    {'0', {" ### ", "#   #", "#  ##", "# # #", "##  #", "#   #", " ### "}},
    {'9', {" ### ", "#   #", "#   #", " ####", "    #", "    #", " ### "}},
};

const Glyph* findGlyph(char letter) {
    for (const Glyph& g : glyphs)
        if (g.letter == letter) return &g;
    return nullptr; // drawn as a blank
}

} // namespace

int Canvas::textWidth(const std::string& line, int cell) {
    return line.empty() ? 0 : static_cast<int>(line.size()) * 6 * cell - cell;
}

int Canvas::text(int x, int y, const std::string& line, int cell, const Colour& c) {
    for (size_t i = 0; i < line.size(); ++i) {
        const Glyph* g = findGlyph(line[i]);
        if (g == nullptr) continue;
        const int left = x + static_cast<int>(i) * 6 * cell;
        for (int row = 0; row < 7; ++row)
            for (int col = 0; col < 5; ++col)
                if (g->rows[row][col] == '#')
                    for (int py = 0; py < cell; ++py)
                        for (int px = 0; px < cell; ++px)
                            set(left + col * cell + px, y + row * cell + py, c);
    }
    return textWidth(line, cell);
}

std::vector<uint8_t> Canvas::toBytes() const {
    std::vector<uint8_t> bytes(pixels.size());
    for (size_t i = 0; i < pixels.size(); ++i) {
        const float v = std::clamp(pixels[i], 0.0f, 1.0f) * 255.0f + 0.5f;
        bytes[i] = static_cast<uint8_t>(v);
    }
    return bytes;
}

uint64_t Random::next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

float Random::uniform() {
    return static_cast<float>(next() >> 40) / 16777216.0f;
}

float Random::range(float lo, float hi) {
    return lo + (hi - lo) * uniform();
}

int Random::below(int n) {
    return n <= 0 ? 0 : static_cast<int>(next() % static_cast<uint64_t>(n));
}

namespace {

float latticeValue(int x, int y, uint32_t seed) {
    uint32_t h = static_cast<uint32_t>(x) * 0x8DA6B343u ^ static_cast<uint32_t>(y) * 0xD8163841u ^
                 seed * 0xCB1AB31Fu;
    h ^= h >> 13;
    h *= 0x5BD1E995u;
    h ^= h >> 15;
    return static_cast<float>(h & 0xFFFFFF) / 16777215.0f;
}

} // namespace

float valueNoise(float x, float y, uint32_t seed) {
    const float fx = std::floor(x), fy = std::floor(y);
    const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
    float tx = x - fx, ty = y - fy;
    tx = tx * tx * (3 - 2 * tx);
    ty = ty * ty * (3 - 2 * ty);
    const float a = latticeValue(ix, iy, seed), b = latticeValue(ix + 1, iy, seed);
    const float c = latticeValue(ix, iy + 1, seed), d = latticeValue(ix + 1, iy + 1, seed);
    return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * ty;
}

float fbm(float x, float y, int octaves, uint32_t seed) {
    float sum = 0, amplitude = 0.5f, total = 0;
    for (int i = 0; i < octaves; ++i) {
        sum += amplitude * valueNoise(x, y, seed + static_cast<uint32_t>(i) * 101u);
        total += amplitude;
        x = x * 2.0f + 17.3f;
        y = y * 2.0f + 5.1f;
        amplitude *= 0.5f;
    }
    return sum / total;
}

float smoothstep(float edge0, float edge1, float x) {
    const float t = std::clamp((x - edge0) / (edge1 - edge0), 0.0f, 1.0f);
    return t * t * (3 - 2 * t);
}
