// Drawing kit for the generated pictures: an RGB canvas of floats, colour helpers, hash-based
// value noise and a small block-letter font. Everything is deterministic.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Colour {
    float r = 0, g = 0, b = 0; // 0..1 (values outside are clamped when written out)
};

Colour rgb(int r, int g, int b); // from 0..255
Colour mix(const Colour& a, const Colour& b, float t);
Colour scale(const Colour& c, float k);
Colour add(const Colour& a, const Colour& b);
// Cosine palette a + b cos(2 pi (c t + d)), per channel.
Colour palette(float t, const Colour& a, const Colour& b, const Colour& c, const Colour& d);

class Canvas {
  public:
    Canvas(int width, int height);

    int width() const { return w; }
    int height() const { return h; }
    Colour get(int x, int y) const;
    void set(int x, int y, const Colour& c); // ignored outside the canvas
    void blend(int x, int y, const Colour& c, float alpha);
    // Fills every pixel from f(x, y).
    template <typename F> void fill(F f) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                set(x, y, f(x, y));
    }
    // A filled disc with a soft edge of one pixel.
    void disc(float cx, float cy, float radius, const Colour& c);
    // A filled capsule (a thick line with round ends) from (x0, y0) to (x1, y1).
    void capsule(float x0, float y0, float x1, float y1, float radius, const Colour& c);
    // Block letters (5 x 7 cells of size cell pixels), top-left at (x, y); returns the width.
    int text(int x, int y, const std::string& line, int cell, const Colour& c);
    static int textWidth(const std::string& line, int cell);

    // width x height x 3 bytes, rows top to bottom: red, green, blue, rounded and clamped.
    std::vector<uint8_t> toBytes() const;

  private:
    int w, h;
    std::vector<float> pixels; // w x h x 3
};

// A small deterministic random source (splitmix64).
class Random {
  public:
    explicit Random(uint64_t seed) : state(seed) {}
    uint64_t next();
    float uniform();                 // 0 <= u < 1
    float range(float lo, float hi); // lo <= u < hi
    int below(int n);                // 0 .. n-1

  private:
    uint64_t state;
};

// Smooth value noise in about [0, 1] on a unit lattice, and its fractal sum (octaves halving in
// amplitude, doubling in frequency; normalised to about [0, 1]).
float valueNoise(float x, float y, uint32_t seed);
float fbm(float x, float y, int octaves, uint32_t seed);
float smoothstep(float edge0, float edge1, float x);
