// The dovari pictures: landscapes, plasma, patterns and lettering.
#include "tools/make-assets/Pictures.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float turn = 6.2831853f;

// Height of a mountain ridge at column x (pixels from the top), from layered noise.
float ridge(float x, float base, float amplitude, float frequency, uint32_t seed) {
    return base - amplitude * fbm(x * frequency, 0.5f, 6, seed);
}

Colour skyGradient(float y, const Colour& top, const Colour& horizon, float horizonY) {
    return mix(top, horizon, std::pow(std::clamp(y / horizonY, 0.0f, 1.0f), 1.6f));
}

} // namespace

Canvas drawMountainDawn() {
    Canvas c(pictureWidth, pictureHeight);
    const float horizon = 170;
    const Colour top = rgb(20, 30, 90), low = rgb(250, 150, 80);
    const float sunX = 430, sunY = 118;
    // Sky with a glowing sun and streaks of cloud.
    c.fill([&](int x, int y) {
        Colour sky = skyGradient(static_cast<float>(y), top, low, horizon);
        const float d = std::hypot(x - sunX, (y - sunY) * 1.2f);
        sky = add(sky, scale(rgb(255, 200, 120), 0.6f * std::exp(-d / 60.0f)));
        const float cloud = smoothstep(0.55f, 0.8f, fbm(x / 90.0f, y / 14.0f, 5, 11));
        return mix(sky, rgb(255, 190, 170), cloud * 0.6f * (1 - y / horizon));
    });
    c.disc(sunX, sunY, 22, rgb(255, 245, 210));
    // Three ranges, the far ones paler.
    const Colour ranges[3] = {rgb(150, 110, 150), rgb(90, 60, 110), rgb(35, 25, 55)};
    for (int layer = 0; layer < 3; ++layer) {
        for (int x = 0; x < pictureWidth; ++x) {
            const float top = ridge(static_cast<float>(x), 150 + layer * 12, 90 - layer * 20,
                                    1.0f / (160 - layer * 40), 30 + layer);
            for (int y = static_cast<int>(top); y < horizon; ++y) {
                const float snow = layer < 2 ? smoothstep(top + 14, top, static_cast<float>(y)) : 0;
                const float shade = 0.8f + 0.4f * fbm(x / 12.0f, y / 12.0f, 3, 40 + layer);
                c.set(x, y, mix(scale(ranges[layer], shade), rgb(255, 235, 240), snow * 0.8f));
            }
        }
    }
    // A lake mirroring the scene, rippled.
    for (int y = static_cast<int>(horizon); y < pictureHeight; ++y)
        for (int x = 0; x < pictureWidth; ++x) {
            const float depth = y - horizon;
            const int sx = x + static_cast<int>(3 * std::sin(y * 0.7f + x * 0.02f));
            const int sy = static_cast<int>(horizon - 1 - depth);
            const Colour mirrored = c.get(std::clamp(sx, 0, pictureWidth - 1), std::max(sy, 0));
            c.set(x, y, mix(scale(mirrored, 0.75f), rgb(20, 30, 70), depth / 110.0f));
        }
    return c;
}

Canvas drawPlasma() {
    Canvas c(pictureWidth, pictureHeight);
    c.fill([](int x, int y) {
        const float fx = x / 640.0f, fy = y / 240.0f;
        float v = std::sin(fx * 14.0f) + std::sin(fy * 11.0f + fx * 5.0f);
        v += std::sin(std::hypot(fx * 9.0f - 4.0f, fy * 5.0f - 2.0f) * 4.0f);
        v += std::sin(std::hypot(fx * 6.0f - 1.0f, fy * 7.0f - 5.0f) * 5.0f);
        v += 0.8f * fbm(fx * 8, fy * 4, 4, 7);
        return palette(v * 0.18f, {0.5f, 0.5f, 0.5f}, {0.5f, 0.5f, 0.5f}, {1.0f, 1.0f, 1.0f},
                       {0.0f, 0.33f, 0.67f});
    });
    return c;
}

Canvas drawNeonGrid() {
    Canvas c(pictureWidth, pictureHeight);
    const float horizon = 130;
    c.fill([&](int x, int y) {
        if (y < horizon) {
            Colour sky = mix(rgb(10, 0, 40), rgb(200, 40, 120), y / horizon);
            const float star = valueNoise(x * 0.9f, y * 0.9f, 3) > 0.985f ? 1.0f : 0.0f;
            return add(sky, scale(rgb(255, 255, 255), star * (1 - y / horizon)));
        }
        // A floor of glowing lines seen in perspective.
        const float depth = 40.0f / (y - horizon + 1.0f);
        const float u = (x - 320.0f) * depth / 40.0f;
        const float v = depth * 4.0f;
        const float lineU = std::abs(u - std::round(u)), lineV = std::abs(v - std::round(v));
        const float glow = std::max(std::exp(-lineU * 40 / (depth + 0.3f)),
                                    std::exp(-lineV * 30 / (depth + 0.3f)));
        return mix(rgb(20, 0, 40), rgb(0, 255, 240), glow);
    });
    // A striped sun sinking behind the horizon.
    for (int y = 20; y < static_cast<int>(horizon); ++y)
        for (int x = 200; x < 440; ++x) {
            const float d = std::hypot(x - 320.0f, y - 100.0f);
            const bool cut = y > 80 && std::fmod(y - 80.0f, 10.0f) < (y - 80.0f) / 8.0f;
            if (d < 80 && !cut)
                c.set(x, y, mix(rgb(255, 230, 60), rgb(255, 60, 140), (y - 20) / 110.0f));
        }
    return c;
}

Canvas drawLettering() {
    Canvas c(pictureWidth, pictureHeight);
    // Wood-like rings behind the letters.
    c.fill([](int x, int y) {
        const float rings = std::sin((x * 0.05f + 6 * fbm(x / 120.0f, y / 40.0f, 5, 21)) * turn);
        return mix(rgb(60, 30, 15), rgb(150, 90, 45), 0.5f + 0.5f * rings);
    });
    const std::string title = "VELMORIN";
    const int cell = 11;
    const int x = (pictureWidth - Canvas::textWidth(title, cell)) / 2;
    c.text(x + 6, 36 + 6, title, cell, rgb(10, 5, 0));  // shadow
    c.text(x - 2, 34, title, cell, rgb(255, 250, 220)); // rim
    c.text(x, 36, title, cell, rgb(240, 180, 40));      // face
    const std::string line = "NINE SCENES  NINE HUNDRED SECONDS";
    const int small = 3;
    c.text((pictureWidth - Canvas::textWidth(line, small)) / 2, 150, line, small,
           rgb(255, 240, 200));
    // Rows of small diamonds along the bottom.
    for (int i = 0; i < 32; ++i)
        c.disc(10.0f + i * 20.0f, 205, 4 + 3 * (i % 2),
               i % 2 ? rgb(230, 60, 40) : rgb(250, 220, 90));
    return c;
}

Canvas drawTunnel() {
    Canvas c(pictureWidth, pictureHeight);
    c.fill([](int x, int y) {
        const float dx = x - 320.0f, dy = (y - 120.0f) * 1.6f;
        const float r = std::max(std::hypot(dx, dy), 1.0f);
        const float a = std::atan2(dy, dx) / turn + 0.5f;
        const float depth = 120.0f / r;
        const bool checker = (static_cast<int>(depth * 6) + static_cast<int>(a * 24)) % 2 == 0;
        const Colour tile = checker ? rgb(240, 120, 30) : rgb(30, 90, 200);
        const float fog = std::clamp(r / 300.0f, 0.05f, 1.0f);
        return mix(rgb(0, 0, 0), tile, fog);
    });
    return c;
}

Canvas drawNightCity() {
    Canvas c(pictureWidth, pictureHeight);
    const int waterline = 190;
    c.fill([&](int x, int y) {
        Colour sky = mix(rgb(5, 5, 30), rgb(60, 30, 90), y / static_cast<float>(waterline));
        if (valueNoise(x * 1.3f, y * 1.3f, 77) > 0.97f) sky = rgb(230, 230, 255);
        return sky;
    });
    c.disc(90, 45, 18, rgb(245, 240, 210));
    c.disc(98, 40, 16, rgb(15, 12, 45)); // the moon's shadow side
    Random random(2024);
    for (int x = 0; x < pictureWidth;) {
        const int w = 18 + random.below(40);
        const int top = 60 + random.below(100);
        const Colour wall =
            rgb(15 + random.below(20), 15 + random.below(15), 30 + random.below(30));
        for (int bx = x; bx < std::min(x + w, pictureWidth); ++bx)
            for (int y = top; y < waterline; ++y) {
                const bool window = (bx - x) % 6 >= 2 && (bx - x) % 6 < 5 && (y - top) % 8 >= 3 &&
                                    (y - top) % 8 < 6 && bx - x > 1 && bx - x < w - 2;
                const bool lit =
                    window && valueNoise((bx - x) / 6 + x * 0.37f, (y - top) / 8.0f, 5) > 0.45f;
                c.set(bx, y, lit ? rgb(255, 210, 110) : wall);
            }
        x += w + random.below(6);
    }
    for (int y = waterline; y < pictureHeight; ++y)
        for (int x = 0; x < pictureWidth; ++x) {
            const int sx = x + static_cast<int>(4 * std::sin(y * 0.9f));
            const Colour mirrored =
                c.get(std::clamp(sx, 0, pictureWidth - 1), 2 * waterline - y - 1);
            c.set(x, y, scale(mirrored, 0.55f));
        }
    return c;
}

Canvas drawStainedGlass() {
    Canvas c(pictureWidth, pictureHeight);
    Random random(99);
    struct Seed {
        float x, y;
        Colour colour;
    };
    std::vector<Seed> seeds;
    const Colour glass[6] = {rgb(200, 30, 40), rgb(30, 80, 200),  rgb(240, 190, 30),
                             rgb(40, 160, 70), rgb(150, 40, 170), rgb(240, 240, 220)};
    // Seeds closer than 28 pixels to another would leave slivers of lead; they are skipped.
    for (int i = 0; i < 70; ++i) {
        const Seed seed{random.range(0, 640), random.range(0, 240), glass[random.below(6)]};
        const bool crowded = std::any_of(seeds.begin(), seeds.end(), [&](const Seed& s) {
            return std::hypot(s.x - seed.x, s.y - seed.y) < 28.0f;
        });
        if (!crowded) seeds.push_back(seed);
    }
    c.fill([&](int x, int y) {
        float best = 1e9f, second = 1e9f;
        const Seed* nearest = &seeds[0];
        for (const Seed& s : seeds) {
            const float d = std::hypot(x - s.x, y - s.y);
            if (d < best) {
                second = best;
                best = d;
                nearest = &s;
            } else if (d < second) {
                second = d;
            }
        }
        const float lead = smoothstep(2.0f, 4.0f, second - best);
        const float light = 0.65f + 0.45f * fbm(x / 50.0f, y / 50.0f, 4, 13) +
                            0.25f * std::exp(-std::hypot(x - 320.0f, y - 60.0f) / 150.0f);
        return scale(nearest->colour, lead * light);
    });
    return c;
}

Canvas drawDunes() {
    Canvas c(pictureWidth, pictureHeight);
    const float horizon = 110;
    c.fill([&](int x, int y) {
        Colour sky =
            skyGradient(static_cast<float>(y), rgb(40, 90, 190), rgb(255, 200, 140), horizon);
        const float d = std::hypot(x - 160.0f, y - 80.0f);
        return d < 34 ? rgb(255, 250, 230)
                      : add(sky, scale(rgb(255, 160, 60), std::exp(-d / 50.0f)));
    });
    // Dunes from back to front: each a crest line with a lit and a shadowed face.
    for (int layer = 0; layer < 4; ++layer) {
        const float base = horizon + layer * 30.0f;
        for (int x = 0; x < pictureWidth; ++x) {
            const float phase = x / (90.0f + layer * 25.0f) + layer * 1.7f;
            const float crest =
                base - 25 * std::sin(phase) - 15 * fbm(x / 70.0f, layer, 4, 60 + layer);
            const float next = base - 25 * std::sin(phase + 1.0f / (90.0f + layer * 25.0f)) -
                               15 * fbm((x + 1) / 70.0f, layer, 4, 60 + layer);
            // Faces turned towards the sun (on the left) are lit, the others in shadow.
            const float lit = std::clamp(0.72f + 0.35f * (next - crest), 0.4f, 1.1f);
            for (int y = std::max(0, static_cast<int>(crest)); y < pictureHeight; ++y) {
                const float ripple = 0.9f + 0.1f * std::sin(y * 1.2f + x * 0.15f);
                Colour sand = scale(rgb(230, 150, 80), lit * ripple * (0.75f + layer * 0.08f));
                c.set(x, y, mix(sand, rgb(255, 200, 150), 0.3f * (3 - layer) / 3.0f));
            }
        }
    }
    return c;
}
