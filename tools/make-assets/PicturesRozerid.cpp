// The rozerid pictures: the dark figure on a green key background, and the pictures the figure
// crawls and warps into. Also the table of all sixteen.
#include "tools/make-assets/Pictures.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float turn = 6.2831853f;

// A soft-edged fill of the pixels under a predicate-free shape is done through capsules and
// discs; this paints one limb segment and its highlight.
void limb(Canvas& c, float x0, float y0, float x1, float y1, float radius) {
    c.capsule(x0, y0, x1, y1, radius, rgb(45, 18, 70));
    c.capsule(x0 - radius * 0.35f, y0, x1 - radius * 0.35f, y1, radius * 0.3f, rgb(120, 40, 150));
}

} // namespace

Canvas drawFigure() {
    Canvas c(pictureWidth, pictureHeight);
    // The key background: green stays well above 150 everywhere, with a gentle gradient.
    c.fill([](int x, int y) {
        const float n = fbm(x / 80.0f, y / 80.0f, 3, 5);
        return rgb(30 + static_cast<int>(30 * n), 205 + static_cast<int>(35 * n + y / 12.0f),
                   60 + static_cast<int>(40 * n));
    });
    // A dancer with raised arms, dark violet with a magenta rim light (green far below 150).
    limb(c, 292, 150, 268, 234, 13);                   // left leg
    limb(c, 312, 150, 340, 234, 13);                   // right leg
    limb(c, 284, 80, 244, 58, 9);                      // left upper arm
    limb(c, 244, 58, 228, 16, 8);                      // left forearm
    limb(c, 318, 80, 362, 96, 9);                      // right upper arm
    limb(c, 362, 96, 398, 70, 8);                      // right forearm
    c.capsule(302, 78, 302, 142, 27, rgb(40, 15, 62)); // torso
    c.capsule(290, 80, 290, 140, 8, rgb(110, 35, 140));
    c.capsule(302, 60, 302, 70, 8, rgb(40, 15, 62)); // neck
    c.disc(302, 40, 20, rgb(45, 18, 70));            // head
    c.disc(295, 34, 6, rgb(120, 45, 150));
    c.disc(228, 14, 9, rgb(45, 18, 70)); // hands
    c.disc(400, 68, 9, rgb(45, 18, 70));
    return c;
}

Canvas drawFire() {
    Canvas c(pictureWidth, pictureHeight);
    c.fill([](int x, int y) {
        const float rise = y / 240.0f;
        const float flame = fbm(x / 35.0f, y / 22.0f + fbm(x / 60.0f, y / 60.0f, 3, 2) * 2, 6, 1);
        const float heat = std::clamp(flame * 1.4f * rise + rise * rise * 0.5f - 0.2f, 0.0f, 1.0f);
        if (heat < 0.33f) return mix(rgb(10, 0, 0), rgb(200, 20, 0), heat / 0.33f);
        if (heat < 0.66f) return mix(rgb(200, 20, 0), rgb(255, 150, 0), (heat - 0.33f) / 0.33f);
        return mix(rgb(255, 150, 0), rgb(255, 255, 200), (heat - 0.66f) / 0.34f);
    });
    return c;
}

Canvas drawOcean() {
    Canvas c(pictureWidth, pictureHeight);
    const float horizon = 80;
    c.fill([&](int x, int y) {
        if (y < horizon) {
            const float cloud = smoothstep(0.5f, 0.75f, fbm(x / 100.0f, y / 25.0f, 5, 8));
            return mix(mix(rgb(90, 150, 230), rgb(200, 225, 250), y / horizon), rgb(255, 255, 255),
                       cloud);
        }
        const float depth = (y - horizon) / (240 - horizon);
        const float k = 0.05f + 0.25f * (1 - depth);
        float h = std::sin(x * k * 0.4f + y * 0.9f) + 0.6f * std::sin(x * k * 0.9f - y * 0.5f + 1);
        h += 1.2f * fbm(x / 40.0f, y / 8.0f, 4, 31);
        const Colour water = mix(rgb(10, 60, 110), rgb(20, 130, 160), 0.5f + 0.25f * h);
        return mix(water, rgb(240, 250, 255), smoothstep(1.6f, 2.3f, h));
    });
    return c;
}

Canvas drawMarble() {
    Canvas c(pictureWidth, pictureHeight);
    c.fill([](int x, int y) {
        const float t = fbm(x / 90.0f, y / 90.0f, 6, 44);
        const float vein = std::abs(std::sin((x * 0.012f + y * 0.02f + 7 * t) * turn * 0.5f));
        const Colour stone = mix(rgb(20, 30, 60), rgb(235, 235, 245), std::pow(vein, 0.7f));
        return mix(stone, rgb(200, 160, 60), smoothstep(0.06f, 0.0f, vein) * 0.9f);
    });
    return c;
}

Canvas drawMandala() {
    Canvas c(pictureWidth, pictureHeight);
    c.fill([](int x, int y) {
        const float dx = x - 320.0f, dy = y - 120.0f;
        const float r = std::hypot(dx, dy);
        const float a = std::atan2(dy, dx);
        const float petals = std::cos(a * 12) * 0.5f + 0.5f;
        const float rings = std::sin(r * 0.18f) * 0.5f + 0.5f;
        const float lace = std::cos(a * 24 + r * 0.1f) * 0.5f + 0.5f;
        const float v = petals * rings + 0.4f * lace * (1 - rings) + r * 0.002f;
        const Colour col = palette(v + r / 300.0f, {0.55f, 0.4f, 0.45f}, {0.45f, 0.4f, 0.45f},
                                   {1.0f, 1.0f, 1.0f}, {0.0f, 0.15f, 0.5f});
        return scale(col, smoothstep(340.0f, 120.0f, r) * 0.8f + 0.2f);
    });
    return c;
}

Canvas drawNebula() {
    Canvas c(pictureWidth, pictureHeight);
    c.fill([](int x, int y) {
        const float a = fbm(x / 110.0f, y / 70.0f, 6, 70);
        const float b = fbm(x / 60.0f + 3, y / 60.0f, 5, 71);
        Colour gas = add(scale(rgb(200, 40, 160), smoothstep(0.45f, 0.75f, a)),
                         scale(rgb(30, 180, 200), smoothstep(0.5f, 0.8f, b)));
        gas = add(gas, rgb(5, 5, 20));
        const float star = valueNoise(x * 1.7f, y * 1.7f, 72);
        if (star > 0.975f) gas = add(gas, scale(rgb(255, 255, 255), (star - 0.975f) * 40));
        return gas;
    });
    Random random(71);
    for (int i = 0; i < 12; ++i) {
        const float x = random.range(0, 640), y = random.range(0, 240);
        c.disc(x, y, 2.5f, rgb(255, 255, 240));
        c.capsule(x - 9, y, x + 9, y, 0.6f, rgb(255, 255, 240));
        c.capsule(x, y - 9, x, y + 9, 0.6f, rgb(255, 255, 240));
    }
    return c;
}

Canvas drawCircuit() {
    Canvas c(pictureWidth, pictureHeight);
    c.fill([](int x, int y) {
        return mix(rgb(5, 40, 25), rgb(10, 70, 40), fbm(x / 30.0f, y / 30.0f, 3, 90));
    });
    Random random(90);
    const int cell = 16;
    for (int trace = 0; trace < 70; ++trace) {
        int x = random.below(pictureWidth / cell), y = random.below(pictureHeight / cell);
        const Colour copper = random.below(3) == 0 ? rgb(120, 255, 200) : rgb(220, 170, 60);
        c.disc(x * cell + 8.0f, y * cell + 8.0f, 4, copper);
        int direction = random.below(4);
        for (int step = 0; step < 12; ++step) {
            if (random.below(4) == 0) direction = (direction + (random.below(2) ? 1 : 3)) % 4;
            const int nx = x + (direction == 0) - (direction == 2);
            const int ny = y + (direction == 1) - (direction == 3);
            if (nx < 0 || ny < 0 || nx >= pictureWidth / cell || ny >= pictureHeight / cell) break;
            c.capsule(x * cell + 8.0f, y * cell + 8.0f, nx * cell + 8.0f, ny * cell + 8.0f, 1.6f,
                      copper);
            x = nx;
            y = ny;
        }
        c.disc(x * cell + 8.0f, y * cell + 8.0f, 3, rgb(240, 240, 240));
    }
    // A few chips.
    for (int i = 0; i < 5; ++i) {
        const int x0 = 40 + i * 120, y0 = 60 + (i % 2) * 80;
        for (int y = y0; y < y0 + 40; ++y)
            for (int x = x0; x < x0 + 60; ++x)
                c.set(x, y, rgb(25, 25, 30));
        for (int k = 0; k < 7; ++k) {
            c.capsule(x0 + 5.0f + k * 8, y0 - 6.0f, x0 + 5.0f + k * 8, y0, 1.5f,
                      rgb(200, 200, 200));
            c.capsule(x0 + 5.0f + k * 8, y0 + 40.0f, x0 + 5.0f + k * 8, y0 + 46.0f, 1.5f,
                      rgb(200, 200, 200));
        }
    }
    return c;
}

Canvas drawAurora() {
    Canvas c(pictureWidth, pictureHeight);
    c.fill([](int x, int y) {
        Colour sky = mix(rgb(0, 5, 20), rgb(10, 30, 60), y / 240.0f);
        if (valueNoise(x * 1.1f, y * 1.1f, 61) > 0.98f) sky = rgb(220, 230, 255);
        // Curtains hanging from a wavy line, fading downwards.
        const float fold = 60 + 30 * std::sin(x * 0.015f) + 20 * fbm(x / 50.0f, 0.3f, 4, 62);
        const float below = y - fold;
        {
            const float rays = 0.5f + 0.5f * std::sin(x * 0.25f + 3 * fbm(x / 30.0f, 0, 3, 63));
            const float fall = below > 0 ? std::exp(-below / 45.0f) : std::exp(below / 5.0f);
            const float strength = fall * (0.4f + 0.6f * rays);
            sky = add(sky, scale(mix(rgb(40, 255, 120), rgb(160, 60, 220),
                                     std::clamp(below / 90.0f, 0.0f, 1.0f)),
                                 strength));
        }
        return sky;
    });
    // Pines along the bottom.
    Random random(64);
    for (int i = 0; i < 40; ++i) {
        const float x = random.range(0, 640), h = random.range(40, 90), w = h * 0.35f;
        const float base = 240;
        for (int y = static_cast<int>(base - h); y < 240; ++y) {
            const float half = w * (y - (base - h)) / h;
            for (int px = static_cast<int>(x - half); px <= static_cast<int>(x + half); ++px)
                c.set(px, y, rgb(2, 8, 10));
        }
    }
    return c;
}

const std::vector<NamedPicture>& showPictures() {
    static const std::vector<NamedPicture> pictures = [] {
        Canvas (*const draw[imageCount])() = {
            &drawMountainDawn, &drawPlasma,    &drawNeonGrid,     &drawLettering,
            &drawTunnel,       &drawNightCity, &drawStainedGlass, &drawDunes,
            &drawFigure,       &drawFire,      &drawOcean,        &drawMarble,
            &drawMandala,      &drawNebula,    &drawCircuit,      &drawAurora,
        };
        std::vector<NamedPicture> list;
        for (int i = 0; i < imageCount; ++i)
            list.push_back({imagePaths[i], draw[i]});
        return list;
    }();
    return pictures;
}
