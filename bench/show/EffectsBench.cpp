// Each effect at its heaviest work per frame, on pictures full of structure.
#include "app/MainLoop.h"
#include "effects/BrightenBlur.h"
#include "effects/FadeToBlack.h"
#include "effects/Pictures.h"
#include "effects/PixelCrawl.h"
#include "effects/SineWarps.h"
#include "engine/Timer.h"
#include "graphics/Handles.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

void preparePictures() {
    if (effectBuffer != nullptr) return;
    effectBuffer = allocatePictureBuffer();
    for (auto& buffer : imageBuffers)
        buffer = allocatePictureBuffer();
    workBuffer = allocatePictureBuffer();
    uint32_t state = 7;
    auto fill = [&](uint8_t* buffer) {
        for (int i = 0; i < bufferBytes; ++i) {
            state = state * 1664525u + 1013904223u;
            buffer[i] = static_cast<uint8_t>(state >> 24);
        }
    };
    fill(effectBuffer);
    fill(workBuffer);
    for (auto* buffer : imageBuffers)
        fill(buffer);
    Timer::instance()->start();
    Timer::instance()->setTicks(40000);
    Timer::instance()->setTicks(40002);
}

void BM_SineSweep(benchmark::State& state) {
    preparePictures();
    for (auto _ : state)
        sineSweep(effectBuffer, 640, 240);
    state.SetItemsProcessed(state.iterations() * 14000);
}
BENCHMARK(BM_SineSweep);

void BM_BreathingWarp(benchmark::State& state) {
    preparePictures();
    breathingWarpState.breathCount = 11000;
    for (auto _ : state) {
        breathingWarpState.breathCount = 11000;
        breathingWarp(workBuffer, imageBuffers[rozerid8], 640, 240);
    }
    state.SetItemsProcessed(state.iterations() * 11000);
}
BENCHMARK(BM_BreathingWarp);

void BM_SineWarp(benchmark::State& state) {
    preparePictures();
    for (auto _ : state) {
        sineWarpState.warpCount = 8000;
        sineWarp(effectBuffer, 640, 240);
    }
    state.SetItemsProcessed(state.iterations() * 8000);
}
BENCHMARK(BM_SineWarp);

void BM_PixelCrawl(benchmark::State& state) {
    preparePictures();
    for (auto _ : state)
        pixelCrawl(20000, imageBuffers[rozerid1], imageBuffers[rozerid3], 640, 240);
    state.SetItemsProcessed(state.iterations() * 20000);
}
BENCHMARK(BM_PixelCrawl);

void BM_BrightenBlur(benchmark::State& state) {
    preparePictures();
    for (auto _ : state)
        brightenBlur(effectBuffer, 640, 240);
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
        fadeToBlackState.fadeLevel = 0.9f;
        fadeToBlack();
    }
}
BENCHMARK(BM_FadeToBlack);

void BM_BlitDoubled(benchmark::State& state) {
    preparePictures();
    storeDisplaySettings();
    static Surface surface;
    attachBlitSurface(&surface);
    for (auto _ : state)
        blitDoubled(effectBuffer);
}
BENCHMARK(BM_BlitDoubled);

void BM_FrameCopyTo24(benchmark::State& state) {
    std::vector<uint8_t> surfacePixels(640 * 480 * 4, 0x5A);
    std::vector<uint8_t> frame(640 * 480 * 3);
    for (auto _ : state) {
        copyTo24(surfacePixels.data(), frame.data());
        benchmark::DoNotOptimize(frame.data());
    }
}
BENCHMARK(BM_FrameCopyTo24);

} // namespace

BENCHMARK_MAIN();
