// Shows one known picture in the show's window until Escape ends the process, for the
// end-to-end display test: writes the picture it shows as a binary PPM (the 0x00RRGGBB
// surface words as R, G, B) so that a screenshot can be compared with it pixel for pixel.
//
// usage: display-probe EXPECTED.ppm [fullscreen] [scale=fit]
#include "graphics/Handles.h"
#include "graphics/PlatformDisplay.h"
#include "graphics/SdlDisplay.h"

#include <SDL.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s EXPECTED.ppm [fullscreen] [scale=fit]\n", argv[0]);
        return 1;
    }
    setDisplayPlatform(sdlDisplayPlatform());
    bool windowed = true;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "fullscreen") == 0) windowed = false;
        if (std::strcmp(argv[i], "scale=fit") == 0) setDisplayScaleMode(ScaleMode::Fit);
    }
    storeDisplaySettings();
    setDisplayWindowed(windowed);

    // Random colours cover every bit of every channel, so a converter that drops, shifts or
    // swaps a bit shows in the screenshot.
    Surface surface;
    uint32_t* pixels = reinterpret_cast<uint32_t*>(surface.getPixels());
    std::mt19937 random(2024);
    for (int i = 0; i < 640 * 480; ++i)
        pixels[i] = static_cast<uint32_t>(random()) & 0x00FFFFFFu;

    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) return 1;
    std::fprintf(out, "P6\n640 480\n255\n");
    for (int i = 0; i < 640 * 480; ++i) {
        const unsigned char rgb[3] = {static_cast<unsigned char>(pixels[i] >> 16),
                                      static_cast<unsigned char>(pixels[i] >> 8),
                                      static_cast<unsigned char>(pixels[i])};
        std::fwrite(rgb, 1, 3, out);
    }
    if (std::fclose(out) != 0) return 1;

    Display display("");
    display.attachSurface(&surface);
    if (display.open() != 1) {
        std::fprintf(stderr, "the display did not open\n");
        return 1;
    }
    // Escape ends the probe with code 0; a minute without it is a failure.
    for (int i = 0; i < 6000; ++i) {
        if (display.present() != 1) return 1;
        if (display.quitRequested()) return 0;
        SDL_Delay(10);
    }
    display.close();
    return 1;
}
