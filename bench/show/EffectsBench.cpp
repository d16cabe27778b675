// Each effect at its heaviest work per frame, on pictures full of structure.
#include "app/MainLoop.h"
#include "app/Show.h"
#include "effects/BrightenBlur.h"
#include "engine/Timer.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

// One show whose pictures are noise, at tick 40,002 with a tick delta of 2.
Show* show = nullptr;
uint8_t* effectBuffer = nullptr;
uint8_t* const* imageBuffers = nullptr;
uint8_t* workBuffer = nullptr;
FrameTime time;

EffectContext context() {
    return {show->random, time, show->pictures};
}

void preparePictures() {
    if (show != nullptr) return;
    show = new Show;
    effectBuffer = show->pictures.effectBuffer;
    imageBuffers = show->pictures.imageBuffers;
    workBuffer = show->pictures.workBuffer;
    uint32_t state = 7;
    auto fill = [&](uint8_t* buffer) {
        for (int i = 0; i < bufferBytes; ++i) {
            state = state * 1664525u + 1013904223u;
            buffer[i] = static_cast<uint8_t>(state >> 24);
        }
    };
    fill(effectBuffer);
    fill(workBuffer);
    for (int i = 0; i < imageCount; ++i)
        fill(imageBuffers[i]);
    Timer timer;
    timer.start();
    timer.setTicks(40000);
    timer.setTicks(40002);
    time = frameTime(timer);
}

void BM_SineSweep(benchmark::State& state) {
    preparePictures();
    EffectContext e = context();
    for (auto _ : state)
        sineSweep(show->effects.sineSweep, e, effectBuffer, 640, 240);
    state.SetItemsProcessed(state.iterations() * 14000);
}
BENCHMARK(BM_SineSweep);

void BM_BreathingWarp(benchmark::State& state) {
    preparePictures();
    EffectContext e = context();
    BreathingWarpState& s = show->effects.breathingWarp;
    for (auto _ : state) {
        s.breathCount = 11000;
        breathingWarp(s, e, workBuffer, imageBuffers[rozerid8], 640, 240);
    }
    state.SetItemsProcessed(state.iterations() * 11000);
}
BENCHMARK(BM_BreathingWarp);

void BM_SineWarp(benchmark::State& state) {
    preparePictures();
    EffectContext e = context();
    SineWarpState& s = show->effects.sineWarp;
    for (auto _ : state) {
        s.warpCount = 8000;
        sineWarp(s, e, effectBuffer, 640, 240);
    }
    state.SetItemsProcessed(state.iterations() * 8000);
}
BENCHMARK(BM_SineWarp);

void BM_PixelCrawl(benchmark::State& state) {
    preparePictures();
    for (auto _ : state)
        pixelCrawl(show->effects.pixelCrawl, show->random, 20000, imageBuffers[rozerid1],
                   imageBuffers[rozerid3], 640, 240);
    state.SetItemsProcessed(state.iterations() * 20000);
}
BENCHMARK(BM_PixelCrawl);

void BM_BrightenBlur(benchmark::State& state) {
    preparePictures();
    EffectContext e = context();
    for (auto _ : state)
        brightenBlur(e, effectBuffer, 640, 240);
    state.SetItemsProcessed(state.iterations() * 50000);
}
BENCHMARK(BM_BrightenBlur);

void BM_BlendFrames(benchmark::State& state) {
    preparePictures();
    for (auto _ : state)
        blendFrames(imageBuffers[dovari1], 0.3f, workBuffer, 0.7f, effectBuffer);
}
BENCHMARK(BM_BlendFrames);

void BM_FadeToBlack(benchmark::State& state) {
    preparePictures();
    for (auto _ : state) {
        show->effects.fadeToBlack.fadeLevel = 0.9f;
        fadeToBlack(show->effects.fadeToBlack, time, effectBuffer);
    }
}
BENCHMARK(BM_FadeToBlack);

void BM_BlitDoubled(benchmark::State& state) {
    preparePictures();
    std::vector<uint8_t> surface(640 * 480 * 4);
    for (auto _ : state) {
        blitDoubled(effectBuffer, surface.data(), 640 * 4);
        benchmark::DoNotOptimize(surface.data());
    }
}
BENCHMARK(BM_BlitDoubled);

} // namespace

BENCHMARK_MAIN();
