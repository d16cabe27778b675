// The per-frame cost of present: event pump, conversion into the locked texture, copy and
// present, in a 640 x 480 window (or full-screen with the argument --fullscreen; --fit for the
// nearest-neighbour enlargement of scale=fit instead of whole-number or sharp scaling).
#include "graphics/Handles.h"
#include "graphics/PlatformDisplay.h"
#include "graphics/SdlDisplay.h"

#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>

namespace {

bool fullScreen = false;

void present(benchmark::State& state) {
    storeDisplaySettings();
    setDisplayWindowed(!fullScreen);
    Display display("");
    Surface surface;
    display.attachSurface(&surface);
    if (display.open() != 1) {
        state.SkipWithError("the display did not open");
        display.close();
        return;
    }
    // Make the window the active one, as the window system does when it gets the focus.
    SDL_Event focus{};
    focus.type = SDL_WINDOWEVENT;
    focus.window.windowID = SDL_GetWindowID(static_cast<SDL_Window*>(getDisplayWindow()));
    focus.window.event = SDL_WINDOWEVENT_FOCUS_GAINED;
    SDL_PushEvent(&focus);
    std::mt19937 random(1);
    uint32_t* pixels = reinterpret_cast<uint32_t*>(surface.getPixels());
    for (int i = 0; i < 640 * 480; ++i)
        pixels[i] = static_cast<uint32_t>(random());
    for (auto _ : state)
        benchmark::DoNotOptimize(display.present());
    display.close();
}

} // namespace

BENCHMARK(present)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

int main(int argc, char** argv) {
    setDisplayPlatform(sdlDisplayPlatform());
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--fullscreen") == 0)
            fullScreen = true;
        else if (std::strcmp(argv[i], "--fit") == 0)
            setDisplayScaleMode(ScaleMode::Fit);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
